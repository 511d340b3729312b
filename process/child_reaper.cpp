#include "process/child_reaper.h"

#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <thread>

#include "process/live_children.h"

namespace quillon::process {

namespace {

void drainAndCollect(int pidfd, int output)
{
    if (output >= 0) {
        std::array<char, 512> block;
        ssize_t got;
        while ((got = ::read(output, block.data(), block.size())) > 0 || (got < 0 && errno == EINTR)) {
        }
    }
    siginfo_t info{};
    while (::waitid(P_PIDFD, pidfd, &info, WEXITED) < 0 && errno == EINTR) {
    }
}

}  // namespace

void reapWhenEnded(base::UniqueFd pidfd, base::UniqueFd output, std::uint64_t liveKey)
{
    if (!pidfd.valid())
        return;
    const int pid = pidfd.get();
    const int out = output.get();
    try {
        std::thread([pid, out, liveKey] {
            drainAndCollect(pid, out);
            removeLiveChild(liveKey);
            ::close(pid);
            if (out >= 0)
                ::close(out);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to hand it to: waiting here delays the caller but still leaves
        // no zombie behind.
        drainAndCollect(pid, out);
        removeLiveChild(liveKey);
        return;
    }
    (void)pidfd.release();
    (void)output.release();
}

}  // namespace quillon::process
