#pragma once

#include <cstdint>
#include <span>

namespace quillon::audio {

// How far an edge may move to reach a quieter moment.
inline constexpr std::int64_t kQuietReachMs = 150;

// Where an edge put at aroundMs snaps to: energies[i] is the short-term energy of
// the window of stepMs that starts at i * stepMs. Of the windows whose middle lies
// within kQuietReachMs of aroundMs and within lowMs..highMs, the one with the least
// energy wins; among equally quiet ones the one whose middle is nearest to
// aroundMs, then the earlier. Returns that window's middle (i * stepMs +
// stepMs / 2), or aroundMs kept within lowMs..highMs when no window qualifies.
// The page snaps a dragged edge by the same rule on its fine series.
[[nodiscard]] std::int64_t quietPointMs(std::span<const std::uint64_t> energies, std::int64_t stepMs,
                                        std::int64_t aroundMs, std::int64_t lowMs, std::int64_t highMs);

}  // namespace quillon::audio
