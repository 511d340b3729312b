#pragma once

#include <optional>
#include <string>

namespace quillon::app {

// The pages, the bridge and the tools read file names as UTF-8 text, so a file
// whose name is not valid UTF-8 cannot be opened through them. Returns the text
// that tells the user so, naming the file in display form and saying what to do;
// nothing when the name is fine.
[[nodiscard]] std::optional<std::string> unusableFileNameMessage(const std::string& path);

}  // namespace quillon::app
