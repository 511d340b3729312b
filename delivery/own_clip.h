#pragma once

#include <filesystem>
#include <string>

namespace quillon::delivery {

// Whether path names a regular file (not a link, a folder or a device) inside
// tempDir: the clips this copy made are the only files it hands to another place,
// so a page can never send out anything else of the user's.
[[nodiscard]] bool isOwnClip(const std::string& path, const std::filesystem::path& tempDir);

}  // namespace quillon::delivery
