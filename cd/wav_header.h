#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace quillon::cd {

inline constexpr std::size_t kWavHeaderBytes = 44;

// The RIFF header of a 16-bit stereo PCM file at 44100 Hz whose audio is dataBytes long.
[[nodiscard]] std::array<std::uint8_t, kWavHeaderBytes> wavHeader(std::uint32_t dataBytes);

// Writes that header at offset 0 of file. False when it could not be written.
[[nodiscard]] bool writeWavHeader(std::FILE* file, std::uint32_t dataBytes);

}  // namespace quillon::cd
