#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::jobs {

// Deletes every non-folder entry of dir whose name ends in extension (".mp3"),
// compared without regard to ASCII case, except the files in spared (compared by
// identity, so another spelling of a spared path is spared too). dir itself is
// never followed if it is a link, and every deletion goes through a descriptor of
// it, so swapping it for a link meanwhile reaches nothing. Errors (no folder, a
// file that cannot be deleted) are ignored: clean-up is best effort.
void removeFilesByExtension(const std::filesystem::path& dir, std::string_view extension,
                            const std::vector<std::filesystem::path>& spared);

// The names in the open folder dirFd ("." and ".." left out).
[[nodiscard]] std::vector<std::string> folderEntries(int dirFd);

// Empties the open folder dirFd, sub-folders included, never following a link.
void removeFolderContents(int dirFd);

// Removes the entry name of the open folder dirFd, a folder with its contents,
// never following a link.
void removeEntry(int dirFd, const std::string& name);

}  // namespace quillon::jobs
