#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_fd.h"
#include "jobs/private_folder.h"

namespace quillon::cd {

// A disc has at most 99 tracks; libcdio's image readers do not check.
inline constexpr int kMaxImageTracks = 99;
// Data files a table may name: a track's audio and its data, at most.
inline constexpr std::size_t kMaxImageDataFiles = std::size_t{2} * kMaxImageTracks;

enum class ImageKind : std::uint8_t { Cue, Toc, Nrg };

// The data file libcdio reads for a cue sheet: the .bin of the same name beside
// it, whatever the sheet's FILE lines name. Nothing for a name that libcdio takes
// for no cue sheet (one that does not end in "cue" or "CUE").
[[nodiscard]] std::optional<std::string> cueDataFile(std::string_view cuePath);

// A table of contents with each data file it names opened (relative names from
// folderFd, the image's folder) and named by that opening ("/proc/self/fd/N"),
// the openings appended to held. Nothing when a name is not quoted, or not a
// regular file that can be read, or there are more than kMaxImageDataFiles.
[[nodiscard]] std::optional<std::string> pinTocDataFiles(std::string_view toc, int folderFd,
                                                         std::vector<base::UniqueFd>& held);

// A disc image made ready for libcdio, whose readers open files by name, some more
// than once: a look at a name could pass one file while libcdio reads another.
// So every file libcdio will read is opened here once, checked through that
// opening (a regular file, readable, a table of at most kMaxImageTracks tracks)
// and held open, and libcdio gets a name (source) in a private folder that leads
// back to exactly those openings. Nothing is opened that could wait or act: a pipe
// or a device is looked at, never opened.
class CheckedImage {
public:
    enum class Outcome : std::uint8_t {
        Missing,   // nothing there, or nothing libcdio would read: no drive
        Unusable,  // there, but no disc libcdio could read safely
        Ready,
    };

    CheckedImage() = default;
    [[nodiscard]] static CheckedImage check(const std::string& path, ImageKind kind);

    [[nodiscard]] Outcome outcome() const { return outcome_; }
    [[nodiscard]] const std::string& source() const { return source_; }

private:
    Outcome outcome_ = Outcome::Missing;
    std::string source_;
    std::vector<base::UniqueFd> files_;
    std::shared_ptr<jobs::PrivateFolder> folder_;
};

}  // namespace quillon::cd
