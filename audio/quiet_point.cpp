#include "audio/quiet_point.h"

#include <algorithm>

namespace quillon::audio {

std::int64_t quietPointMs(std::span<const std::uint64_t> energies, std::int64_t stepMs, std::int64_t aroundMs,
                          std::int64_t lowMs, std::int64_t highMs)
{
    const std::int64_t from = std::max(aroundMs - kQuietReachMs, lowMs);
    const std::int64_t to = std::min(aroundMs + kQuietReachMs, highMs);
    std::int64_t best = std::clamp(aroundMs, lowMs, std::max(lowMs, highMs));
    if (stepMs <= 0 || from > to)
        return best;
    const auto count = static_cast<std::int64_t>(energies.size());
    // The first window whose middle is at or after from.
    std::int64_t i = std::max<std::int64_t>(0, (from - stepMs / 2 + stepMs - 1) / stepMs);
    bool found = false;
    std::uint64_t least = 0;
    for (; i < count && i * stepMs + stepMs / 2 <= to; ++i) {
        const std::int64_t middle = i * stepMs + stepMs / 2;
        const std::uint64_t energy = energies[static_cast<std::size_t>(i)];
        const bool nearer = std::abs(middle - aroundMs) < std::abs(best - aroundMs);
        if (middle >= from && (!found || energy < least || (energy == least && nearer))) {
            found = true;
            least = energy;
            best = middle;
        }
    }
    return best;
}

}  // namespace quillon::audio
