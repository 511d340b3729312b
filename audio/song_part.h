#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/clip_kinds.h"

namespace quillon::audio {

// The part of a song that a clip is made of, in milliseconds.
struct SongPart {
    std::int32_t startMs = 0;
    std::int32_t lengthMs = 0;
    // Fade in from the start, and out to the end of the encoded audio; 0 for none.
    std::int32_t fadeInMs = 0;
    std::int32_t fadeOutMs = 0;
};

// Within what the kind allows: startMs >= 0, kShortestPartMs <= lengthMs <=
// kind.longestMs, each fade 0..kind.longestFadeMs and both together no longer
// than the part.
[[nodiscard]] bool isValidSongPart(const SongPart& part, const base::ClipKind& kind);

// Milliseconds (not negative) as seconds with three decimals ("65.000"), whatever the locale.
[[nodiscard]] std::string secondsText(std::int32_t ms);

// The rate every clip is encoded at.
inline constexpr std::int32_t kClipSampleRate = 44100;

// How much of the part is encoded: the longest span whose MP3 is no longer than
// the part. An MP3 holds whole frames of 1152 samples and the encoder adds one
// frame's worth of delay, so encoding the whole part would give a file a few
// hundredths of a second longer, and a 30 s part one that iPhones refuse.
[[nodiscard]] std::int32_t encodedLengthMs(std::int32_t lengthMs);

// The encoder's arguments that pick the part, before its input: -ss and -t.
[[nodiscard]] std::vector<std::string> clipRangeArguments(const SongPart& part);
// The encoder's arguments that fade the part, after its input (none without fades).
// The fade-out ends exactly where the encoded audio does.
[[nodiscard]] std::vector<std::string> clipFadeArguments(const SongPart& part);

}  // namespace quillon::audio
