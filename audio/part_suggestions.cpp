#include "audio/part_suggestions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

namespace quillon::audio {

namespace {

constexpr std::size_t kPartBlocks = kPartMs / kBlockMs;
// The window two stretches of the song are compared over: a chorus is rarely shorter.
constexpr std::size_t kMatchBlocks = 20000 / kBlockMs;
// The envelope compared is coarser than the blocks, and coarser still for long
// songs, so that comparing every pair of its points stays within a few million steps.
constexpr std::size_t kMinEnvelopeBlocks = 2;
constexpr std::size_t kMaxEnvelopePoints = 3000;
// How much a decibel of loudness above the song's average is worth against a
// decibel of mismatch: among sections that repeat equally well the louder one is
// the chorus, and silence, which repeats perfectly, never is.
constexpr double kLevelWeight = 0.25;
// Levels are kept in hundredths of a decibel, so that the sliding sums below are
// exact and equal stretches compare equal wherever they lie.
constexpr double kLevelUnitsPerDb = 100;

using Starts = std::vector<std::size_t>;

bool overlapsNone(std::size_t start, const Starts& taken)
{
    return std::ranges::all_of(
        taken, [start](std::size_t other) { return (start > other ? start - other : other - start) >= kPartBlocks; });
}

// The start of the part with the most energy that overlaps none of taken.
std::optional<std::size_t> liveliest(std::span<const std::uint64_t> energies, const Starts& taken)
{
    std::uint64_t sum = std::accumulate(energies.begin(), energies.begin() + kPartBlocks, std::uint64_t{0});
    std::optional<std::size_t> best;
    std::uint64_t bestSum = 0;
    for (std::size_t start = 0;; ++start) {
        if ((!best || sum > bestSum) && overlapsNone(start, taken)) {
            best = start;
            bestSum = sum;
        }
        if (start + kPartBlocks >= energies.size())
            return best;
        sum += energies[start + kPartBlocks] - energies[start];
    }
}

// The start of the part that opens the section best matched elsewhere in the song
// (at least a part away), by its loudness envelope in decibels.
std::optional<std::size_t> mostRepeated(std::span<const std::uint64_t> energies, std::int64_t blockSamples,
                                        const Starts& taken)
{
    const std::size_t step =
        std::max(kMinEnvelopeBlocks, (energies.size() + kMaxEnvelopePoints - 1) / kMaxEnvelopePoints);
    const std::size_t points = energies.size() / step;
    const std::size_t window = kMatchBlocks / step;
    const std::size_t minLag = (kPartBlocks + step - 1) / step;
    if (window == 0 || points < minLag + window)
        return std::nullopt;
    std::vector<std::int64_t> level(points);
    for (std::size_t t = 0; t < points; ++t) {
        const auto first = energies.begin() + static_cast<std::ptrdiff_t>(t * step);
        const auto sum =
            static_cast<double>(std::accumulate(first, first + static_cast<std::ptrdiff_t>(step), std::uint64_t{0}));
        const double meanSquare = sum / static_cast<double>(step * static_cast<std::size_t>(blockSamples));
        level[t] = std::llround(kLevelUnitsPerDb * 10 * std::log10(meanSquare + 1));
    }

    // best[t]: the least summed mismatch of the window at t with any window a lag of minLag or more away.
    constexpr std::int64_t kNoMatch = std::numeric_limits<std::int64_t>::max();
    std::vector<std::int64_t> best(points, kNoMatch);
    for (std::size_t lag = minLag; lag + window <= points; ++lag) {
        std::int64_t sum = 0;
        for (std::size_t t = 0; t + lag < points; ++t) {
            sum += std::llabs(level[t] - level[t + lag]);
            if (t >= window)
                sum -= std::llabs(level[t - window] - level[t - window + lag]);
            if (t + 1 < window)
                continue;
            const std::size_t at = t + 1 - window;
            best[at] = std::min(best[at], sum);
            best[at + lag] = std::min(best[at + lag], sum);
        }
    }

    const std::int64_t total = std::accumulate(level.begin(), level.end(), std::int64_t{0});
    const double average = static_cast<double>(total) / static_cast<double>(points);
    std::optional<std::size_t> chosen;
    double chosenScore = 0;
    std::int64_t windowLevel =
        std::accumulate(level.begin(), level.begin() + static_cast<std::ptrdiff_t>(window), std::int64_t{0});
    for (std::size_t t = 0; t + window <= points; ++t) {
        if (t > 0)
            windowLevel += level[t + window - 1] - level[t - 1];
        const std::size_t start = t * step;
        if (best[t] == kNoMatch || start + kPartBlocks > energies.size() || !overlapsNone(start, taken))
            continue;
        const auto perPoint = [window](std::int64_t sum) {
            return static_cast<double>(sum) / static_cast<double>(window);
        };
        const double score = perPoint(best[t]) - kLevelWeight * (perPoint(windowLevel) - average);
        if (!chosen || score < chosenScore) {
            chosen = start;
            chosenScore = score;
        }
    }
    return chosen;
}

}  // namespace

std::vector<std::int64_t> suggestPartStarts(std::span<const std::uint64_t> blockEnergies, std::int64_t blockSamples,
                                            std::int64_t durationMs)
{
    if (durationMs <= kPartMs || blockEnergies.size() < kPartBlocks)
        return {0};
    const auto wanted = static_cast<std::size_t>(std::clamp<std::int64_t>(durationMs / kPartMs, 1, 3));
    Starts taken{*liveliest(blockEnergies, {})};
    if (wanted >= 2) {
        if (const auto chorus = mostRepeated(blockEnergies, blockSamples, taken))
            taken.push_back(*chorus);
    }
    while (taken.size() < wanted) {
        const auto next = liveliest(blockEnergies, taken);
        if (!next)
            break;
        taken.push_back(*next);
    }
    std::vector<std::int64_t> starts;
    for (const std::size_t start : taken)
        starts.push_back(static_cast<std::int64_t>(start) * kBlockMs);
    return starts;
}

}  // namespace quillon::audio
