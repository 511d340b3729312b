#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quillon::base {

// The length of the MPEG audio frame that starts with these four header bytes,
// header included; nullopt when they are no valid header (free-format frames are
// not taken, their length is not in the header).
[[nodiscard]] inline std::optional<std::size_t> mpegFrameLength(std::span<const std::uint8_t, 4> h)
{
    // kbit/s by [MPEG-1 or not][layer 1..3 as 0..2][index]; index 0 (free) and 15 (bad) are excluded.
    static constexpr int kBitrates[2][3][15] = {{{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
                                                 {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
                                                 {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
                                                {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
                                                 {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                                 {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    // Hz by version bits (0 = MPEG-2.5, 2 = MPEG-2, 3 = MPEG-1) and index.
    static constexpr int kSampleRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (h[1] >> 3) & 0x03;
    const int layerBits = (h[1] >> 1) & 0x03;
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 0x03;
    const int padding = (h[2] >> 1) & 0x01;
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (h[3] & 0x03) == 2)
        return std::nullopt;
    const int layer = 4 - layerBits;  // 1, 2 or 3
    const bool mpeg1 = version == 3;
    const long bitrate = kBitrates[mpeg1 ? 0 : 1][layer - 1][bitrateIndex] * 1000L;
    const long sampleRate = kSampleRates[version][rateIndex];
    if (layer == 1)
        return static_cast<std::size_t>((12 * bitrate / sampleRate + padding) * 4);
    const long factor = (layer == 3 && !mpeg1) ? 72 : 144;
    return static_cast<std::size_t>(factor * bitrate / sampleRate + padding);
}

// The whole length of an ID3v2 tag that starts with these ten bytes, 0 when they
// do not start one.
[[nodiscard]] inline std::size_t id3v2TagLength(std::span<const std::uint8_t, 10> h)
{
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF || h[4] == 0xFF)
        return 0;
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (h[i] & 0x80)
            return 0;  // the size is sync-safe: seven bits a byte
        size = (size << 7) | h[i];
    }
    const bool footer = (h[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

}  // namespace quillon::base
