#include "audio/song_part.h"

#include <algorithm>

namespace quillon::audio {

bool isValidSongPart(const SongPart& part, const base::ClipKind& kind)
{
    const auto fadeFits = [&kind](std::int32_t fadeMs) { return fadeMs >= 0 && fadeMs <= kind.longestFadeMs; };
    return part.startMs >= 0 && part.lengthMs >= base::kShortestPartMs && part.lengthMs <= kind.longestMs &&
           fadeFits(part.fadeInMs) && fadeFits(part.fadeOutMs) && part.fadeInMs + part.fadeOutMs <= part.lengthMs;
}

std::string secondsText(std::int32_t ms)
{
    // Built from the integer by hand: printf's %f would follow the process locale
    // and could write "65,000".
    return std::to_string(ms / 1000) + "." + std::to_string(1000 + ms % 1000).substr(1);
}

std::int32_t encodedLengthMs(std::int32_t lengthMs)
{
    constexpr std::int64_t kFrameSamples = 1152;
    const std::int64_t frames = std::int64_t{lengthMs} * kClipSampleRate / 1000 / kFrameSamples - 1;
    return static_cast<std::int32_t>(std::max<std::int64_t>(frames, 0) * kFrameSamples * 1000 / kClipSampleRate);
}

std::vector<std::string> clipRangeArguments(const SongPart& part)
{
    return {"-ss", secondsText(part.startMs), "-t", secondsText(encodedLengthMs(part.lengthMs))};
}

std::vector<std::string> clipFadeArguments(const SongPart& part)
{
    std::string filters;
    if (part.fadeInMs > 0)
        filters = "afade=t=in:st=0:d=" + secondsText(part.fadeInMs);
    if (part.fadeOutMs > 0) {
        // The encoded audio is a little shorter than the part; a fade-out longer
        // than it covers all of it.
        const std::int32_t endMs = encodedLengthMs(part.lengthMs);
        const std::int32_t fadeMs = std::min(part.fadeOutMs, endMs);
        filters += (filters.empty() ? "" : ",") + std::string("afade=t=out:st=") + secondsText(endMs - fadeMs) +
                   ":d=" + secondsText(fadeMs);
    }
    if (filters.empty())
        return {};
    return {"-af", filters};
}

}  // namespace quillon::audio
