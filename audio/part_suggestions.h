#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillon::audio {

// The length of a suggested part.
inline constexpr std::int64_t kPartMs = 30000;
// The length of the blocks whose energies the suggestions are drawn from.
inline constexpr std::int64_t kBlockMs = 100;

// Up to three starts of parts of kPartMs that do not overlap, in ms, ranked: the
// liveliest part (the most energy), the part that opens the most repeated section
// (a chorus), the next liveliest. blockEnergies holds the sums of squares of the
// song's consecutive complete blocks of kBlockMs, blockSamples samples each.
// A song no longer than a part gives {0}; one shorter than two parts gives one
// start, shorter than three at most two.
[[nodiscard]] std::vector<std::int64_t> suggestPartStarts(std::span<const std::uint64_t> blockEnergies,
                                                          std::int64_t blockSamples, std::int64_t durationMs);

}  // namespace quillon::audio
