#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::bridge {

// Messages on a channel travel as frames: a 4-byte little-endian length, then that
// many bytes. Large enough for a 16 MB script string in any encoding.
inline constexpr std::uint32_t kMaxFrameSize = 128u * 1024 * 1024;

// Prefixes payload with its length.
std::string frameMessage(std::string_view payload);

// Collects bytes as they arrive and hands out whole frames.
class FrameReader {
public:
    void append(std::string_view bytes);
    // The next whole payload, or nullopt until one has arrived.
    std::optional<std::string> next();
    // A frame announced a size above the limit: the channel cannot go on.
    [[nodiscard]] bool failed() const { return failed_; }

private:
    std::string buffer_;
    std::size_t consumed_ = 0;
    bool failed_ = false;
};

}  // namespace quillon::bridge
