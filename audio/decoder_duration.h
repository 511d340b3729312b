#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::audio {

// Finds the song's length in what the decoder writes about its input before it
// decodes ("  Duration: 00:04:00.03, start: ..."), fed in blocks as it comes.
class DecoderDuration {
public:
    void feed(std::string_view text);
    [[nodiscard]] std::optional<std::int64_t> ms() const { return ms_; }

private:
    // The log up to the line that tells, or a bounded start of it; its leading line
    // break lets the first line count as a line start too.
    std::string pending_{"\n"};
    bool done_ = false;
    std::optional<std::int64_t> ms_;
};

// The milliseconds of "HH:MM:SS.ff" at the start of text; nullopt for anything else ("N/A").
[[nodiscard]] std::optional<std::int64_t> parseClockMs(std::string_view text);

}  // namespace quillon::audio
