#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/unique_fd.h"

namespace quillon::jobs {

// A folder of this process's own under the system's temporary folder (mode 0700),
// removed with everything in it when this goes. Tools are handed names in it that
// nobody else can change.
class PrivateFolder {
public:
    [[nodiscard]] static std::unique_ptr<PrivateFolder> make();
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // The path of name in the folder once it holds text, or is a link to target.
    [[nodiscard]] std::optional<std::string> write(const std::string& name, std::string_view text) const;
    [[nodiscard]] std::optional<std::string> link(const std::string& name, const std::string& target) const;

private:
    PrivateFolder(std::string path, base::UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}

    std::string path_;
    base::UniqueFd fd_;
};

// The name of an open descriptor's file for anyone who holds that descriptor:
// opening it opens that very file, whatever has become of its name since.
[[nodiscard]] inline std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace quillon::jobs
