#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace quillon::service {

// The length of the MPEG audio frame that starts with these four header bytes,
// header included; nullopt when they are no valid header (free-format frames are
// not taken, their length is not in the header).
[[nodiscard]] std::optional<std::size_t> mpegFrameLength(std::span<const std::uint8_t, 4> header);

// The whole length of an ID3v2 tag that starts with these ten bytes, 0 when they
// do not start one.
[[nodiscard]] std::size_t id3v2TagLength(std::span<const std::uint8_t, 10> header);

// Whether the file holds MPEG audio: an optional ID3v2 tag, then a whole frame,
// followed by the end of the file, a further frame or an ID3v1 tag.
[[nodiscard]] bool isMpegAudioFile(const std::filesystem::path& file);

}  // namespace quillon::service
