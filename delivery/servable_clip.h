#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quillon::delivery {

// A clip's bytes, read once when serving starts, so that a later change of the
// file or of its path cannot change what phones get.
// Nothing when the path is not a regular file directly in tempDir or in a
// folder inside it (after resolving ".." and links in the folders), when it is
// a link itself, or when it cannot be read whole.
[[nodiscard]] std::optional<std::string> readServableClip(const std::filesystem::path& clip,
                                                          const std::filesystem::path& tempDir);

}  // namespace quillon::delivery
