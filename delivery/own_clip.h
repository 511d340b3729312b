#pragma once

#include <filesystem>

#include "base/unique_fd.h"

namespace quillon::delivery {

// The clips this copy made are the only files it hands to another place (a
// phone, a saved copy, the local network), so a page can never send out anything
// else of the user's. A clip is a regular file directly in tempDir or in a
// folder inside it, after resolving ".." and links in the folders; a link, a
// folder, a device or a pipe at the path is not one.
//
// The clip opened for reading, or an invalid descriptor when path is no clip of
// this copy's. Reading from it, not from the path, means a later swap of the
// path cannot change what is sent.
[[nodiscard]] base::UniqueFd openOwnClip(const std::filesystem::path& path, const std::filesystem::path& tempDir);

[[nodiscard]] inline bool isOwnClip(const std::filesystem::path& path, const std::filesystem::path& tempDir)
{
    return openOwnClip(path, tempDir).valid();
}

}  // namespace quillon::delivery
