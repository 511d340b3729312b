#include "audio/attack_point.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace quillon::audio {

namespace {

constexpr std::int64_t kAttackMs = 50;
constexpr std::int64_t kBeforeMs = 100;
// Attacks quieter than the loudest span by more than this (20 dB) do not count.
constexpr double kQuietestAttack = 0.01;
// What "before" counts at least, against the loudest span (40 dB under it): a
// note after silence is a strong attack, not an infinitely strong one.
constexpr double kSilenceFloor = 1e-4;

}  // namespace

std::int64_t strongestAttackMs(std::span<const std::uint64_t> energies, std::int64_t stepMs, std::int64_t fromMs,
                               std::int64_t toMs)
{
    if (stepMs <= 0)
        return fromMs;
    const auto windows = [stepMs](std::int64_t ms) {
        return static_cast<std::size_t>(std::max<std::int64_t>(1, ms / stepMs));
    };
    const std::size_t attack = windows(kAttackMs);
    const std::size_t before = windows(kBeforeMs);
    // An attack needs the span before it: the song's first instant is none.
    const auto first = std::max(before, static_cast<std::size_t>(std::max<std::int64_t>(0, fromMs) / stepMs));
    const std::size_t last = std::min(static_cast<std::size_t>(std::max<std::int64_t>(0, toMs) / stepMs),
                                      energies.size() >= attack ? energies.size() - attack + 1 : 0);
    if (first >= last)
        return fromMs;
    // The mean energy of the span of count windows from i.
    const auto mean = [&](std::size_t i, std::size_t count) {
        const std::uint64_t sum =
            std::accumulate(energies.begin() + static_cast<std::ptrdiff_t>(i),
                            energies.begin() + static_cast<std::ptrdiff_t>(i + count), std::uint64_t{0});
        return static_cast<double>(sum) / static_cast<double>(count);
    };
    std::vector<double> after(last - first);
    for (std::size_t i = first; i < last; ++i)
        after[i - first] = mean(i, attack);
    const double loudest = *std::max_element(after.begin(), after.end());
    if (loudest <= 0)
        return fromMs;
    std::size_t best = last;
    double bestRise = 0;
    for (std::size_t i = first; i < last; ++i) {
        if (after[i - first] < kQuietestAttack * loudest)
            continue;
        const double rise = after[i - first] / std::max(mean(i - before, before), kSilenceFloor * loudest);
        if (best == last || rise > bestRise) {
            best = i;
            bestRise = rise;
        }
    }
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(best) * stepMs - kAttackLeadMs);
}

}  // namespace quillon::audio
