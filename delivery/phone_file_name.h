#pragma once

#include <string>

namespace quillon::delivery {

// The file name a clip goes to a phone under: the download name the page gives,
// without any folder or control characters, never hidden, and ending in ".mp3"
// (phones refuse files without an extension); "ringtone.mp3" when nothing is left.
[[nodiscard]] std::string phoneFileName(const std::string& downloadName);

}  // namespace quillon::delivery
