#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/job_codes.h"
#include "cd/cd_access.h"
#include "jobs/job_fields.h"

namespace quillon::cd {

// The rip status is progress in percent from 0 to 99, then one of the end codes of
// base/job_codes.h (kRipDone, kRipBadDrive…).

inline constexpr std::int32_t kRipChunkFrames = 26;
inline constexpr int kRipReadAttempts = 3;

struct RipRequest {
    std::string drive;    // drive index as the page passed it
    std::string track;    // track index as the page passed it
    std::string wavPath;  // file to write
};

// Copies one audio track into a WAV file. Stores 0 and the progress through ticket,
// traces every fifth read on standard output, and returns the end value once the
// file and the drive handle are released. Runs on the job's thread. One rip at a time
// holds a drive and a file: a rip waits until the one before it has ended (which a
// newer start makes it do before its next write or read attempt). The output is
// written only if it is a regular file or does not exist yet; a symbolic link is not
// followed, and an existing file keeps its mode (a new one is made 0600).
[[nodiscard]] std::int32_t ripTrack(const CdAccess& access, const RipRequest& request, const jobs::JobTicket& ticket);

// The rip job's start, on the UI thread: resets the rip status, clears the break flag
// and runs ripTrack on a thread of its own, which stores the end value last.
// Returns whether the thread was started.
[[nodiscard]] bool startRip(jobs::SharedJobFields fields, std::shared_ptr<const CdAccess> access, std::string drive,
                            std::string track, std::string wavPath);

}  // namespace quillon::cd
