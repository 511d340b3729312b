#include "jobs/clip_part.h"

#include <algorithm>

namespace quillon::jobs {

bool isValidClipPart(const ClipPart& part)
{
    return part.startMs >= 0 && part.lengthMs >= 1000 && part.lengthMs <= 60000 && part.fadeMs >= 0 &&
           part.fadeMs <= part.lengthMs / 2;
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

std::vector<std::string> clipRangeArguments(const ClipPart& part)
{
    return {"-ss", secondsText(part.startMs), "-t", secondsText(encodedLengthMs(part.lengthMs))};
}

std::vector<std::string> clipFadeArguments(const ClipPart& part)
{
    if (part.fadeMs == 0)
        return {};
    const std::string fade = secondsText(part.fadeMs);
    return {"-af", "afade=t=in:st=0:d=" + fade +
                       ",afade=t=out:st=" + secondsText(encodedLengthMs(part.lengthMs) - part.fadeMs) + ":d=" + fade};
}

}  // namespace quillon::jobs
