#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::audio {

// Why a transcode ended with 2. The page cannot tell these apart from the status
// code, so the host names the cause.
enum class TranscodeReason : std::uint8_t {
    None,        // the clip was made
    BrokenOff,   // the page asked for the break; it needs no explanation
    Missing,     // the input does not exist
    Unreadable,  // the input cannot be opened for reading
    SameFile,    // the output is the input under another name
    NoFolder,    // the folder the output goes into does not exist
    Unwritable,  // the output is a link, a device or another file we may not write
    DiskFull,    // no room left where the output goes
    NoOutput,    // the encoder succeeded but left no output, or one without sound
    NoEncoder,   // the encoder was not found or could not be started
    Killed,      // the encoder was ended by a signal that was not ours
    Damaged,     // the encoder failed: the input is damaged or not audio it reads
};

// The text the page reads for a reason ("" for none and brokenOff).
[[nodiscard]] std::string_view reasonText(TranscodeReason reason);

}  // namespace quillon::audio
