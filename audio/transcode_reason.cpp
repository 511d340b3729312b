#include "audio/transcode_reason.h"

namespace quillon::audio {

std::string_view reasonText(TranscodeReason reason)
{
    switch (reason) {
    case TranscodeReason::Missing: return "missing";
    case TranscodeReason::Unreadable: return "unreadable";
    case TranscodeReason::SameFile: return "same-file";
    case TranscodeReason::NoFolder: return "no-folder";
    case TranscodeReason::Unwritable: return "unwritable";
    case TranscodeReason::DiskFull: return "disk-full";
    case TranscodeReason::NoOutput: return "no-output";
    case TranscodeReason::NoEncoder: return "no-encoder";
    case TranscodeReason::Killed: return "killed";
    case TranscodeReason::Damaged: return "damaged";
    case TranscodeReason::None:
    case TranscodeReason::BrokenOff: break;
    }
    return "";
}

}  // namespace quillon::audio
