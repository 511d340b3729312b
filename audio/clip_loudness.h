#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/loudness_meter.h"

namespace quillon::audio {

// Every clip ends this loud (integrated, EBU R 128), within a loudness unit, and
// with its true peak at or under the ceiling: a quiet song rings as loud as any.
inline constexpr double kClipTargetLufs = -12.0;
inline constexpr double kClipCeilingDbtp = -1.0;
// The limiter's ceiling: the MP3 encoder overshoots its input's peaks by up to
// about half a decibel, so the file still keeps kClipCeilingDbtp.
inline constexpr double kLimiterCeilingDbtp = -2.0;
// What the part is levelled to before it is encoded: the MP3 encoder takes 0.1 to
// 0.5 LU away (most of it above its low-pass, where the loudness weighting is
// high), so the file lands on the target.
inline constexpr double kEncodeTargetLufs = kClipTargetLufs + 0.3;
// No clip is raised further: beyond it only noise would be left to raise.
inline constexpr double kMaxClipGainDb = 30.0;

// How the encode levels a part: a gain, and an oversampled limiter after it
// where the gain would take the peaks over the limiter's ceiling.
struct ClipLevel {
    double gainDb = 0;
    bool limited = false;
};

// The gain that takes the measured part to kEncodeTargetLufs (none for silence),
// and whether its peaks then need the limiter.
[[nodiscard]] ClipLevel levelFor(const Loudness& part);

// The limiter takes loudness away with the peaks, the more the further they go
// over its ceiling; where it has more than kSmallOverDb to take, these gains are
// tried (from level's gain up, to kMaxClipGainDb) for how loud it leaves the part.
// None otherwise: the gain alone then lands within the target's tolerance.
inline constexpr double kSmallOverDb = 3.0;
[[nodiscard]] std::vector<double> gainsToTry(const Loudness& part, const ClipLevel& level);

// Of the gains tried (rising) and the loudness the limiter left at each, the gain
// that reaches kEncodeTargetLufs: interpolated between the last one under it and
// the first one at or over it; the loudest one when none reaches it.
[[nodiscard]] double gainReaching(std::span<const double> gains, std::span<const double> lufs);

// The filters that level the part after its fades: "volume=3.50dB", then the
// limiter at four times the clip's rate, which sees the peaks between samples.
[[nodiscard]] std::string levelFilters(const ClipLevel& level);
// The limiter alone at the clip's rate, as the gains are tried with it.
[[nodiscard]] std::string limiterFilter();

// The gain tool moves a clip in steps of 1.5 dB.
inline constexpr double kGainStepDb = 1.5;

// The steps the gain tool's own levelling applied, as it says on its standard
// output ("Applying mp3 gain change of -3 to ..."); 0 when it found none
// necessary, nullopt when it says neither.
[[nodiscard]] std::optional<int> appliedGainSteps(std::string_view toolOutput);

// How many gain steps (negative: down) take a clip of this loudness (its peak
// measured on the samples) nearest to the target, after the tool's own levelling
// applied `applied` steps. Going back that far is always allowed, since the clip
// was that loud before; further up only while the peak keeps room under
// kClipCeilingDbtp for the peaks between the samples. The tool's levelling moves
// a clip by whole steps towards its own reference, so a clip the encode left on
// target goes back there exactly. 0 when the clip could not be measured.
[[nodiscard]] int levellingSteps(const Loudness& clip, int applied);

}  // namespace quillon::audio
