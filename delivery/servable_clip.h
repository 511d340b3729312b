#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quillon::delivery {

// A clip's bytes, read once when serving starts, so that a later change of the
// file or of its path cannot change what phones get.
// Nothing when the path is not one of this copy's clips (see openOwnClip) or
// when it cannot be read whole.
[[nodiscard]] std::optional<std::string> readServableClip(const std::filesystem::path& clip,
                                                          const std::filesystem::path& tempDir);

}  // namespace quillon::delivery
