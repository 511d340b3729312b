#pragma once

#include <cstdint>
#include <string>

#include "jobs/job_fields.h"
#include "jobs/tool_paths.h"

namespace quillon::jobs {

// wfStatus values.
inline constexpr std::int32_t kWaveformIdle = 0;
inline constexpr std::int32_t kWaveformRunning = 1;
inline constexpr std::int32_t kWaveformDone = 100;
inline constexpr std::int32_t kWaveformUnreadable = 201;  // or no audio in it
inline constexpr std::int32_t kWaveformBroken = 202;

// UI thread. Starts reading the waveform of the audio file at path: the encoder
// "ffmpeg" (found as for transcoding) decodes it to mono 16-bit PCM at 8000 Hz on
// a pipe, and the job measures the duration, the peaks of points equal slices and
// the suggested start as the samples stream by. Returns false, starting nothing,
// for points outside 16..4096 or when no thread could be made. The break flag
// kills the decoder (wfStatus 202); so does a newer start, which takes the fields.
[[nodiscard]] bool startWaveform(SharedJobFields fields, const ToolPaths& tools, std::string path, int points);

// "" until the current start is done, then "durationMs:::suggestedStartMs:::p1,...,pN".
[[nodiscard]] std::string waveformResponse(const JobFields& fields);

// UI thread, when the window closes: kills every decoder a waveform job still reads.
int terminateWaveformEncoder(JobFields& fields);

}  // namespace quillon::jobs
