#include "audio/transcode_reason.h"

#include "base/job_codes.h"

namespace quillon::audio {

std::string_view reasonText(TranscodeReason reason)
{
    switch (reason) {
    case TranscodeReason::Missing: return base::kReasonMissing;
    case TranscodeReason::Unreadable: return base::kReasonUnreadable;
    case TranscodeReason::SameFile: return base::kReasonSameFile;
    case TranscodeReason::NoFolder: return base::kReasonNoFolder;
    case TranscodeReason::Unwritable: return base::kReasonUnwritable;
    case TranscodeReason::DiskFull: return base::kReasonDiskFull;
    case TranscodeReason::NoOutput: return base::kReasonNoOutput;
    case TranscodeReason::NoEncoder: return base::kReasonNoEncoder;
    case TranscodeReason::Killed: return base::kReasonKilled;
    case TranscodeReason::Damaged: return base::kReasonDamaged;
    case TranscodeReason::None:
    case TranscodeReason::BrokenOff: break;
    }
    return "";
}

}  // namespace quillon::audio
