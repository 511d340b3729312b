#include "bridge/frame_reader.h"

namespace quillon::bridge {

std::string frameMessage(std::string_view payload)
{
    const auto size = static_cast<std::uint32_t>(payload.size());
    std::string frame;
    frame.reserve(4 + payload.size());
    for (int shift = 0; shift < 32; shift += 8)
        frame.push_back(static_cast<char>((size >> shift) & 0xFF));
    frame.append(payload);
    return frame;
}

void FrameReader::append(std::string_view bytes)
{
    if (consumed_ > 0 && consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    }
    buffer_.append(bytes);
}

std::optional<std::string> FrameReader::next()
{
    if (failed_ || buffer_.size() - consumed_ < 4)
        return std::nullopt;
    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i)
        size |= std::uint32_t(static_cast<unsigned char>(buffer_[consumed_ + i])) << (8 * i);
    if (size > kMaxFrameSize) {
        failed_ = true;
        return std::nullopt;
    }
    if (buffer_.size() - consumed_ - 4 < size)
        return std::nullopt;
    std::string payload = buffer_.substr(consumed_ + 4, size);
    consumed_ += 4 + size;
    if (consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    }
    return payload;
}

}  // namespace quillon::bridge
