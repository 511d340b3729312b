#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/tool_paths.h"
#include "jobs/job_fields.h"

namespace quillon::audio {

// wfStatus values.
inline constexpr std::int32_t kWaveformIdle = 0;
inline constexpr std::int32_t kWaveformRunning = 1;
inline constexpr std::int32_t kWaveformDone = 100;
inline constexpr std::int32_t kWaveformUnreadable = 201;  // or no audio in it
inline constexpr std::int32_t kWaveformBroken = 202;

// The decoder's arguments: the song at path, from fromMs on, to mono 16-bit PCM at
// 8000 Hz on its standard output; it tells the song's length on its standard error
// first.
[[nodiscard]] std::vector<std::string> waveformDecoderArguments(const std::filesystem::path& encoder,
                                                                const std::string& path, std::int32_t fromMs = 0);

// UI thread. Starts reading the waveform of the audio file at path: the encoder
// "ffmpeg" (found as for transcoding) decodes it in one pass, a song of a minute or
// more in two halves at once when a processor is idle (the second from where the
// first decoder says the middle is), and the job measures the duration, the peaks of points equal slices,
// the fine series and the suggested parts as the samples stream by, in order.
// While it reads, the response shows what has been read so far from the start,
// every 200 ms. Returns false, starting nothing, for points outside 16..4096 or
// when no thread could be made. The break flag kills the decoders (wfStatus 202);
// so does a newer start, which takes the fields.
// When a song long enough for two decoders gets them: when a processor is idle, as
// the app has it, or always.
enum class SecondDecoder { WhenIdle, Always };
[[nodiscard]] bool startWaveform(jobs::SharedJobFields fields, const ToolPaths& tools, std::string path, int points,
                                 SecondDecoder second = SecondDecoder::WhenIdle);

// "durationMs:::s1,s2,s3:::p1,...,pN:::fineStepMs:::f1,...,fM:::attackMs" (see formatWaveform)
// of the current start: what has been read so far while wfStatus is 1 ("" before
// the first picture), the whole once it is 100, else "".
[[nodiscard]] std::string waveformResponse(const jobs::JobFields& fields);

// UI thread, when the window closes: kills every decoder a waveform job still reads.
int terminateWaveformEncoder(jobs::JobFields& fields);

}  // namespace quillon::audio
