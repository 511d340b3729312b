#include "jobs/transcode_reason.h"

namespace quillon::jobs {

std::string_view reasonText(TranscodeReason reason)
{
    switch (reason) {
    case TranscodeReason::missing: return "missing";
    case TranscodeReason::unreadable: return "unreadable";
    case TranscodeReason::sameFile: return "same-file";
    case TranscodeReason::noFolder: return "no-folder";
    case TranscodeReason::unwritable: return "unwritable";
    case TranscodeReason::diskFull: return "disk-full";
    case TranscodeReason::noOutput: return "no-output";
    case TranscodeReason::noEncoder: return "no-encoder";
    case TranscodeReason::killed: return "killed";
    case TranscodeReason::damaged: return "damaged";
    case TranscodeReason::none:
    case TranscodeReason::brokenOff: break;
    }
    return "";
}

}  // namespace quillon::jobs
