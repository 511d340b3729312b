#include "audio/clip_loudness.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillon::audio {

namespace {

// The meter's integrated loudness of a part without a block over its gate: silence.
constexpr double kSilentLufs = -70.0;
// Gains tried above the one that reaches the target without the limiter.
constexpr double kTriedSteps[] = {0, 2, 4, 7, 10, 15};
// How far the peaks between samples may lie above the samples' peak (and the
// meter's rounding to tenths): what raising a clip past its old level leaves free.
constexpr double kBetweenSamplesDb = 1.0;
constexpr int kMaxSteps = 20;

std::string decibels(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2fdB", value);
    return text;
}

std::string limit(double dbtp)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", std::pow(10.0, dbtp / 20));
    return text;
}

}  // namespace

ClipLevel levelFor(const Loudness& part)
{
    if (!std::isfinite(part.integratedLufs) || part.integratedLufs <= kSilentLufs)
        return {};
    const double gain = std::min(kMaxClipGainDb, kEncodeTargetLufs - part.integratedLufs);
    return {gain, !(part.truePeakDbtp + gain <= kLimiterCeilingDbtp)};
}

std::vector<double> gainsToTry(const Loudness& part, const ClipLevel& level)
{
    std::vector<double> gains;
    if (!level.limited || part.truePeakDbtp + level.gainDb - kLimiterCeilingDbtp <= kSmallOverDb)
        return gains;
    for (const double step : kTriedSteps) {
        const double gain = std::min(level.gainDb + step, kMaxClipGainDb);
        if (!gains.empty() && gain <= gains.back())
            break;
        gains.push_back(gain);
    }
    return gains;
}

double gainReaching(std::span<const double> gains, std::span<const double> lufs)
{
    const std::size_t count = std::min(gains.size(), lufs.size());
    if (count == 0)
        return 0;
    std::size_t loudest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (lufs[i] >= kEncodeTargetLufs) {
            if (i == 0)
                return gains[0];
            const double share = (kEncodeTargetLufs - lufs[i - 1]) / (lufs[i] - lufs[i - 1]);
            return gains[i - 1] + share * (gains[i] - gains[i - 1]);
        }
        if (lufs[i] > lufs[loudest])
            loudest = i;
    }
    return gains[loudest];
}

std::string limiterFilter() { return "alimiter=limit=" + limit(kLimiterCeilingDbtp) + ":level=false:latency=true"; }

std::string levelFilters(const ClipLevel& level)
{
    std::string filters = "volume=" + decibels(level.gainDb);
    if (level.limited)
        filters += ",aresample=176400," + limiterFilter() + ",aresample=44100";
    return filters;
}

std::optional<int> appliedGainSteps(std::string_view toolOutput)
{
    constexpr std::string_view kApplying = "Applying mp3 gain change of ";
    if (const std::size_t at = toolOutput.find(kApplying); at != std::string_view::npos) {
        const std::string_view rest = toolOutput.substr(at + kApplying.size());
        int steps = 0;
        const std::size_t sign = rest.starts_with('+') ? 1 : 0;
        const auto [end, error] = std::from_chars(rest.data() + sign, rest.data() + rest.size(), steps);
        if (error == std::errc())
            return steps;
    }
    if (toolOutput.find("No changes to ") != std::string_view::npos)
        return 0;
    return std::nullopt;
}

int levellingSteps(const Loudness& clip, int applied)
{
    if (!std::isfinite(clip.integratedLufs) || clip.integratedLufs <= kSilentLufs || std::isnan(clip.truePeakDbtp))
        return 0;
    const auto wanted = static_cast<int>(std::lround((kClipTargetLufs - clip.integratedLufs) / kGainStepDb));
    const double room = kClipCeilingDbtp - kBetweenSamplesDb - clip.truePeakDbtp;
    const int allowed =
        std::max(-applied, std::isfinite(room) ? static_cast<int>(std::floor(room / kGainStepDb)) : kMaxSteps);
    return std::clamp(std::min(wanted, allowed), -kMaxSteps, kMaxSteps);
}

}  // namespace quillon::audio
