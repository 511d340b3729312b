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

}  // namespace quillon::jobs
