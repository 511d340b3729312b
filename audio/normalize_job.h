#pragma once

#include <cstdint>
#include <string>

#include "audio/tool_paths.h"
#include "base/job_codes.h"
#include "jobs/job_fields.h"

namespace quillon::audio {

// norStatus values: the step in progress, all done, or the step that failed.
inline constexpr std::int32_t kNormalizeRemovingTags = 10;
inline constexpr std::int32_t kNormalizeLeveling = 30;
inline constexpr std::int32_t kNormalizeRaising = 80;
// Its ends (kNormalizeDone, the step that failed) are in base/job_codes.h.

// UI thread. Starts levelling the loudness of the MP3 file in place with the gain
// tool "mp3gain" of tools.resDir, else of the search path, in three runs: drop
// stored gain tags, apply the track gain, then move it by as many steps of 1.5 dB
// as take it nearest to the clips' target loudness, measured by the encoder
// "ffmpeg" (found the same way): back as far as the track gain moved it, further
// up only within -1 dBTP (see levellingSteps; none when it cannot be measured).
// The tool writes no tag of its own. Anything but a non-empty
// regular file we may write fails step 1 before the tool runs. A step fails on a
// non-zero exit, a tool that cannot be started, a break (which stops the tool),
// or a file left empty; no further step is run then. Returns whether the thread
// was started.
[[nodiscard]] bool startNormalize(jobs::SharedJobFields fields, const ToolPaths& tools, std::string file);

// UI thread: norLoudness, the levelled clip's integrated loudness in whole LUFS
// ("-11"); "" unless the current normalize job ended with 100 and could measure it.
[[nodiscard]] std::string normalizedLoudness(const jobs::JobFields& fields);

}  // namespace quillon::audio
