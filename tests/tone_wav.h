#pragma once

#include <string>

namespace quillon::test {

// A 440 Hz tone as a WAV file's bytes: 16-bit stereo PCM at 44100 Hz.
std::string toneWav(double seconds);

}  // namespace quillon::test
