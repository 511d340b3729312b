#pragma once

#include <cstdint>
#include <string>

#include "audio/transcode_reason.h"
#include "base/unique_fd.h"

namespace quillon::audio {

// The file the encoder writes into, opened before it runs, so that what is checked
// is what it writes: the job hands the encoder this very opening.
struct EncoderOutput {
    TranscodeReason refused = TranscodeReason::None;
    base::UniqueFd file;
    bool created = false;  // made here, not there before
};

// Before the encoder runs: missing or unreadable for the input, or, for the output,
// sameFile, noFolder or unwritable (a link, a device, a folder or file we may not
// write) when the job must not start it. Never blocks, not even on a named pipe,
// and never follows a link at the output.
[[nodiscard]] EncoderOutput openEncoderOutput(const std::string& input, const std::string& output);

// What is seen once the encoder has ended by itself.
struct EncoderEnd {
    std::uint32_t exitStatus = 0;
    std::uintmax_t outputSize = 0;  // 0 when there is no output file
    std::uintmax_t spaceLeft = 0;   // bytes we may still write where the output goes
    bool holdsSound = true;         // false for an MPEG output without a single audio frame
};

// Below this much room a failed or empty result is put down to a full disk.
inline constexpr std::uintmax_t kRoomForAClip = std::uintmax_t{64} * 1024;

[[nodiscard]] EncoderEnd observeEncoderEnd(std::uint32_t exitStatus, const std::string& output);
// The reason for what was seen; an output that is no clip (a full disk, no sound,
// half a clip from a killed encoder) is removed, so no empty file stays behind.
[[nodiscard]] TranscodeReason settleEncoderEnd(const EncoderEnd& end, const std::string& output);

}  // namespace quillon::audio
