#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace quillon::delivery {

// A clip under the name it is sent as, for a service that takes a file's name as
// the name it arrives under: a link to the clip (a copy where no link can be
// made) in a folder of its own inside the temporary folder, gone with this object.
class StagedClip {
public:
    // nullopt when the folder or the file cannot be made.
    [[nodiscard]] static std::optional<StagedClip>
    make(const std::filesystem::path& clip, const std::filesystem::path& tempDir, const std::string& fileName);
    StagedClip(StagedClip&& other) noexcept : folder_(std::exchange(other.folder_, {})), file_(std::move(other.file_))
    {}
    StagedClip& operator=(StagedClip&& other) noexcept;
    StagedClip(const StagedClip&) = delete;
    StagedClip& operator=(const StagedClip&) = delete;
    ~StagedClip();

    [[nodiscard]] const std::filesystem::path& file() const { return file_; }

private:
    StagedClip(std::filesystem::path folder, std::filesystem::path file)
        : folder_(std::move(folder)), file_(std::move(file))
    {}

    std::filesystem::path folder_;
    std::filesystem::path file_;
};

}  // namespace quillon::delivery
