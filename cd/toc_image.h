#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon::cd {

// A table-of-contents image names its data files in FILE, AUDIOFILE and DATAFILE
// statements, and libcdio looks relative names up from the process's working folder.
// Returns the text with folder + "/" put before each relative name (string literals
// and // comments elsewhere left as they are), or nothing when no name is relative.
[[nodiscard]] std::optional<std::string> anchorTocDataFiles(std::string_view toc, std::string_view folder);

}  // namespace quillon::cd
