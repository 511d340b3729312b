#pragma once

#include <string>

#include "base/clip_kinds.h"

namespace quillon::delivery {

// The Content-Disposition value that saves the clip as "<song> <kind>.mp3"
// ("My Song alarm.mp3"): a plain ASCII filename for every browser, and the exact
// UTF-8 name beside it (RFC 5987) when the song's title goes beyond ASCII.
[[nodiscard]] std::string downloadDisposition(const std::string& songTitle, const base::ClipKind& kind);

}  // namespace quillon::delivery
