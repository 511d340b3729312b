#include "tests/tone_wav.h"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "cd/wav_header.h"

namespace quillon::test {

std::string toneWav(double seconds)
{
    constexpr double kRate = 44100;
    const auto frames = static_cast<std::uint32_t>(seconds * kRate);
    std::string pcm;
    pcm.reserve(std::size_t{frames} * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * i / kRate));
        const char low = static_cast<char>(sample & 0xff), high = static_cast<char>((sample >> 8) & 0xff);
        pcm += {low, high, low, high};  // the same in both channels
    }
    const auto header = cd::wavHeader(static_cast<std::uint32_t>(pcm.size()));
    return std::string(header.begin(), header.end()) + pcm;
}

}  // namespace quillon::test
