#pragma once

#include <string>

namespace quillon::delivery {

// The Content-Disposition value that saves the clip as "<song> ringtone.mp3":
// a plain ASCII filename for every browser, and the exact UTF-8 name beside it
// (RFC 5987) when the song's title goes beyond ASCII.
[[nodiscard]] std::string downloadDisposition(const std::string& songTitle);

}  // namespace quillon::delivery
