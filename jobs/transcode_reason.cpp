#include "jobs/transcode_reason.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <limits>

#include "base/unique_fd.h"

namespace quillon::jobs {

std::string_view reasonText(TranscodeReason reason)
{
    switch (reason) {
    case TranscodeReason::missing: return "missing";
    case TranscodeReason::unreadable: return "unreadable";
    case TranscodeReason::sameFile: return "same-file";
    case TranscodeReason::diskFull: return "disk-full";
    case TranscodeReason::noOutput: return "no-output";
    case TranscodeReason::noEncoder: return "no-encoder";
    case TranscodeReason::damaged: return "damaged";
    case TranscodeReason::none:
    case TranscodeReason::brokenOff: break;
    }
    return "";
}

TranscodeReason checkBeforeEncoding(const std::string& input, const std::string& output)
{
    struct stat in {};
    if (::stat(input.c_str(), &in) != 0)
        return errno == ENOENT || errno == ENOTDIR ? TranscodeReason::missing : TranscodeReason::unreadable;
    // O_NONBLOCK: opening a named pipe must not wait for a writer here.
    const UniqueFd probe(::open(input.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!probe.valid())
        return TranscodeReason::unreadable;
    // The encoder truncates its output before it reads: the same file under
    // another name (a hard link, "dir/../in.mp3") would be destroyed.
    struct stat out {};
    if (::stat(output.c_str(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino)
        return TranscodeReason::sameFile;
    return TranscodeReason::none;
}

EncoderEnd observeEncoderEnd(std::uint32_t exitStatus, const std::string& output)
{
    EncoderEnd end{exitStatus, 0, std::numeric_limits<std::uintmax_t>::max()};
    struct stat out {};
    if (::stat(output.c_str(), &out) == 0 && S_ISREG(out.st_mode))
        end.outputSize = static_cast<std::uintmax_t>(out.st_size);
    std::filesystem::path folder = std::filesystem::path(output).parent_path();
    if (folder.empty())
        folder = ".";
    struct statvfs room {};
    if (::statvfs(folder.c_str(), &room) == 0) {
        // The blocks kept for the superuser are ours too when we are it.
        const auto blocks = ::geteuid() == 0 ? room.f_bfree : room.f_bavail;
        end.spaceLeft = static_cast<std::uintmax_t>(blocks) * room.f_frsize;
    }
    return end;
}

TranscodeReason judgeEncoderEnd(const EncoderEnd& end)
{
    const bool succeeded = end.exitStatus == 0 && end.outputSize > 0;
    if (succeeded)
        return TranscodeReason::none;
    if (end.spaceLeft < kRoomForAClip)
        return TranscodeReason::diskFull;
    return end.exitStatus == 0 ? TranscodeReason::noOutput : TranscodeReason::damaged;
}

}  // namespace quillon::jobs
