#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "audio/clip_sound.h"
#include "audio/song_part.h"
#include "audio/tool_paths.h"
#include "jobs/job_fields.h"

namespace quillon::audio {

// The encoder's command line that makes output of input (64 kbit/s), or a clip of
// part of it, levelled and tagged as sound says: 192 kbit/s, ID3v2.3 tags with
// the song's title (else its file name without the extension), artist and album,
// and nothing else of the song's container (no other tags, chapters or pictures).
[[nodiscard]] std::vector<std::string> encoderArguments(const std::filesystem::path& encoder, const std::string& input,
                                                        const std::string& output,
                                                        const std::optional<SongPart>& part = std::nullopt,
                                                        const ClipSound& sound = {});

// tsStatus values.
inline constexpr std::int32_t kTranscodeRunning = 0;
inline constexpr std::int32_t kTranscodeDone = 1;
inline constexpr std::int32_t kTranscodeFailed = 2;

// UI thread. Starts encoding input into output (64 kbit/s, 44100 Hz, stereo; the
// format follows the output's extension) with the encoder "ffmpeg" of
// tools.resDir, else of the search path. Before encoding, every "*.mp3" in
// tools.tempDir except input is deleted; after the final status every "*.wav"
// there except output and the wave files running rips write. An input that is
// missing or unreadable, an output that is the input under another name, a link or
// a device, or whose folder is missing or takes no new file, and an encoder that
// leaves no output or one without sound all end with 2; a break or a newer start
// stops the encoder and removes its partial output, and a newer start waits for
// that. Returns whether the job's thread was started.
[[nodiscard]] bool startTranscode(jobs::SharedJobFields fields, const ToolPaths& tools, std::string input,
                                  std::string output);

// UI thread. The same job encoding only part of input: the encoder starts at
// part.startMs, stops after part.lengthMs (or at the song's end), fades in over
// part.fadeInMs and out over part.fadeOutMs, and levels the part to the clip's
// loudness (see findClipSound; a break stops that too). It deletes nothing in
// tools.tempDir: the clips of earlier parts, and the song they are cut from, stay.
// Returns false, starting nothing, for a part that isValidSongPart refuses for that kind.
[[nodiscard]] bool startTranscodeClip(jobs::SharedJobFields fields, const ToolPaths& tools, std::string input,
                                      std::string output, const SongPart& part,
                                      const base::ClipKind& kind = base::kClipKinds[0]);

// UI thread: tsReason, why the last transcode ended with 2 ("" unless it did).
[[nodiscard]] std::string transcodeReason(const jobs::JobFields& fields);

// UI thread, when the window closes: kills every encoder a transcode job is still
// waiting for (each through its pidfd, so an encoder that has ended is left alone
// and no other process can be hit). Returns how many were signalled.
int terminateEncoder(jobs::JobFields& fields);

}  // namespace quillon::audio
