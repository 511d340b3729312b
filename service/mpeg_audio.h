#pragma once

#include <filesystem>

namespace quillon::service {

// Whether the file holds MPEG audio: an optional ID3v2 tag, then a whole frame,
// followed by the end of the file, a further frame or an ID3v1 tag.
[[nodiscard]] bool isMpegAudioFile(const std::filesystem::path& file);

}  // namespace quillon::service
