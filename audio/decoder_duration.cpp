#include "audio/decoder_duration.h"

#include <algorithm>
#include <charconv>

namespace quillon::audio {

namespace {

// The line comes within the first lines; a log that has not told by then never does.
constexpr std::size_t kMaxLog = std::size_t{64} * 1024;
constexpr std::string_view kLine = "\n  Duration: ";

std::optional<std::int64_t> number(std::string_view& text, std::size_t digits, char then)
{
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    const auto used = static_cast<std::size_t>(end - text.data());
    if (error != std::errc() || used < digits || (then != 0 && (used == text.size() || text[used] != then)))
        return std::nullopt;
    text.remove_prefix(std::min(text.size(), used + (then != 0 ? 1 : 0)));
    return value;
}

}  // namespace

std::optional<std::int64_t> parseClockMs(std::string_view text)
{
    const auto hours = number(text, 1, ':');
    const auto minutes = hours ? number(text, 2, ':') : std::nullopt;
    const auto seconds = minutes ? number(text, 2, '.') : std::nullopt;
    if (!seconds || *minutes > 59 || *seconds > 59 || *hours > 1'000'000 || text.empty() || text[0] < '0' ||
        text[0] > '9')
        return std::nullopt;
    // The fraction, to the millisecond, whatever its number of digits.
    std::int64_t fraction = 0;
    std::int64_t scale = 100;
    for (std::size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10)
        fraction += (text[i] - '0') * scale;
    return ((*hours * 60 + *minutes) * 60 + *seconds) * 1000 + fraction;
}

void DecoderDuration::feed(std::string_view text)
{
    if (done_)
        return;
    pending_.append(text.substr(0, kMaxLog - std::min(kMaxLog, pending_.size())));
    const std::size_t at = pending_.find(kLine);
    if (at != std::string::npos) {
        const std::size_t end = pending_.find('\n', at + kLine.size());
        if (end == std::string::npos && pending_.size() < kMaxLog)
            return;  // the rest of the line is still to come
        ms_ = parseClockMs(std::string_view(pending_).substr(at + kLine.size()));
        done_ = true;
    } else if (pending_.size() >= kMaxLog) {
        done_ = true;
    }
    if (done_)
        pending_ = std::string();
}

}  // namespace quillon::audio
