#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace quillon::jobs {

// Deletes every non-folder entry of dir whose name ends in extension (".mp3"),
// compared without regard to ASCII case, except the files in spared (compared by
// identity, so another spelling of a spared path is spared too). Errors (no
// folder, a file that cannot be deleted) are ignored: clean-up is best effort.
void removeFilesByExtension(const std::filesystem::path& dir, std::string_view extension,
                            const std::vector<std::filesystem::path>& spared);

}  // namespace quillon::jobs
