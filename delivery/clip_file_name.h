#pragma once

#include <string>

namespace quillon::delivery {

// The file name a clip is saved or sent under, from the name the page gives
// ("AC/DC alarm.mp3"): valid UTF-8, no folder in it ('/' becomes '-'), no control
// characters, never hidden, and ending in ".mp3" (phones refuse files without an
// extension); "ringtone.mp3" when nothing is left.
[[nodiscard]] std::string clipFileName(const std::string& givenName);

}  // namespace quillon::delivery
