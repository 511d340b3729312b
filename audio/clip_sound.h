#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/clip_loudness.h"
#include "audio/song_part.h"
#include "audio/song_tags.h"
#include "process/child_process.h"

namespace quillon::audio {

// What a part's encode needs besides the part: how it is levelled, and the tags.
struct ClipSound {
    ClipLevel level;
    SongTags tags;
};

// The encoder's arguments that read the song's tags and measure the part with its
// fades (integrated loudness and true peak): the summary goes to the standard
// error, the tags (as metadata text) to the standard output.
[[nodiscard]] std::vector<std::string> partMeasureArguments(const std::filesystem::path& encoder,
                                                            const std::string& input, const SongPart& part);

// The encoder's arguments that measure how loud the limiter leaves the faded part
// at each of the gains; the meter of gain i is named "ebur128@triedI".
[[nodiscard]] std::vector<std::string> limiterTrialArguments(const std::filesystem::path& encoder,
                                                             const std::string& input, const SongPart& part,
                                                             const std::vector<double>& gains);

// The encoder's arguments that make the part a clip, after its input: only its
// first audio stream, faded and levelled as sound says, ID3v2.3 tags with the
// title (else fallbackTitle), artist and album, and nothing else of the song's
// container: no other tags, chapters, pictures or encoder name.
[[nodiscard]] std::vector<std::string> clipArguments(const SongPart& part, const ClipSound& sound,
                                                     const std::string& fallbackTitle);

// Finds out how the part of input is levelled and tagged, with the encoder: one
// run that measures it and reads the tags, and a second that tries the limiter at
// some gains where it has much to take off the peaks (see gainsToTry). A part
// that cannot be measured is encoded as it is, with no tags. nullopt when
// stopRequested stops a run; onStarted sees each run's child.
[[nodiscard]] std::optional<ClipSound>
findClipSound(const std::filesystem::path& encoder, const std::string& input, const SongPart& part,
              const std::function<bool()>& stopRequested,
              const std::function<void(const process::ChildProcess&)>& onStarted);

}  // namespace quillon::audio
