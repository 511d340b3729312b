#pragma once

#include <cstdint>
#include <span>

namespace quillon::audio {

// How far before its attack a notification starts, so that the cut does not
// take the edge off the note.
inline constexpr std::int64_t kAttackLeadMs = 20;

// Where a notification sound starts: on the strongest attack between fromMs and
// toMs. energies[i] is the short-term energy of the window of stepMs that starts
// at i * stepMs. An attack is a window whose next 50 ms hold far more energy than
// the 100 ms before it (so none lies in the song's first 100 ms); only attacks
// within 20 dB of the loudest 50 ms of the span count, so a tick in a quiet
// passage never wins over a beat. The strongest (the earliest of equals) is
// returned less kAttackLeadMs (not before 0); fromMs when the span holds no
// attack (silence, or too few windows).
[[nodiscard]] std::int64_t strongestAttackMs(std::span<const std::uint64_t> energies, std::int64_t stepMs,
                                             std::int64_t fromMs, std::int64_t toMs);

}  // namespace quillon::audio
