#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::jobs {

// Why a transcode ended with 2. The page cannot tell these apart from the status
// code, so the host names the cause.
enum class TranscodeReason : std::uint8_t {
    none,        // the clip was made
    brokenOff,   // the page asked for the break; it needs no explanation
    missing,     // the input does not exist
    unreadable,  // the input cannot be opened for reading
    sameFile,    // the output is the input under another name
    noFolder,    // the folder the output goes into does not exist
    unwritable,  // the output is a link, a device or another file we may not write
    diskFull,    // no room left where the output goes
    noOutput,    // the encoder succeeded but left no output, or one without sound
    noEncoder,   // the encoder was not found or could not be started
    killed,      // the encoder was ended by a signal that was not ours
    damaged,     // the encoder failed: the input is damaged or not audio it reads
};

// The text the page reads for a reason ("" for none and brokenOff).
[[nodiscard]] std::string_view reasonText(TranscodeReason reason);

// Before the encoder runs: missing, unreadable, sameFile, noFolder or unwritable
// when the job must not start it, else none. Never blocks, not even on a named
// pipe, and never opens the output: the encoder would follow a link there.
[[nodiscard]] TranscodeReason checkBeforeEncoding(const std::string& input, const std::string& output);

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

}  // namespace quillon::jobs
