#include "service/mpeg_audio.h"

#include <array>
#include <fstream>

#include "base/mpeg_frame.h"

namespace quillon::service {

bool isMpegAudioFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const auto readAt = [&in](std::uint64_t offset, std::uint8_t* into, std::size_t count) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(in.gcount()) == count;
    };
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(file, error);
    if (error || !in)
        return false;

    std::array<std::uint8_t, 10> tag{};
    const std::uint64_t start = readAt(0, tag.data(), tag.size()) ? base::id3v2TagLength(tag) : 0;
    std::array<std::uint8_t, 4> header{};
    if (!readAt(start, header.data(), header.size()))
        return false;
    const auto length = base::mpegFrameLength(header);
    if (!length || start + *length > size)
        return false;
    const std::uint64_t next = start + *length;
    if (size - next < 4)
        return true;
    if (!readAt(next, header.data(), header.size()))
        return false;
    return base::mpegFrameLength(header).has_value() || (header[0] == 'T' && header[1] == 'A' && header[2] == 'G');
}

}  // namespace quillon::service
