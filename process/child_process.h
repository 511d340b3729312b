#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/unique_fd.h"

namespace quillon::process {

// Exit status reported when the child's end could not be observed (someone else
// collected it); callers treat it as a failure like any non-zero code.
inline constexpr std::uint32_t kExitStatusLost = 0xFFFFFFFFu;

// One child process of ours, held through a pidfd so that signals can only ever
// reach this very process, never a later one that reuses its id.
class ChildProcess {
public:
    // Starts argv[0] (a path; no PATH search, no shell) with argv as its argument
    // vector. inputFd becomes its standard input, outputFd its standard output and
    // errorFd its standard error (outputFd when errorFd is negative), and passedFd,
    // when given, its descriptor 3; every other descriptor is closed in the child.
    // nullopt when the program cannot be started.
    [[nodiscard]] static std::optional<ChildProcess> spawn(const std::vector<std::string>& argv, int inputFd,
                                                           int outputFd, int errorFd = -1, int passedFd = -1);

    ChildProcess(ChildProcess&& other) noexcept
        : pid_(other.pid_), pidfd_(std::move(other.pidfd_)), exitStatus_(other.exitStatus_),
          liveKey_(std::exchange(other.liveKey_, 0))
    {}
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is handed to the reaper, so it never stays a zombie.
    ~ChildProcess() { abandon(base::UniqueFd{}); }

    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] int pidfd() const { return pidfd_.get(); }

    // The exit code if the child has ended (it is then collected), else nullopt.
    // A child killed by signal s reports 128 + s, as shells do.
    [[nodiscard]] std::optional<std::uint32_t> exitStatusNow();
    // Blocks until the child ends and returns its exit status.
    [[nodiscard]] std::uint32_t waitForExit();
    // Kills the child unless it has already been collected (then its id may be
    // someone else's, and the pidfd keeps the signal from reaching them).
    void kill();
    // Stops looking after the child: if it still runs, it is handed to the reaper
    // together with the reading end of its output (see reapWhenEnded).
    void abandon(base::UniqueFd output);

private:
    ChildProcess(pid_t pid, base::UniqueFd pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}
    std::optional<std::uint32_t> collect(int options);

    pid_t pid_;
    base::UniqueFd pidfd_;
    std::optional<std::uint32_t> exitStatus_;
    // Its entry among the live children until it is collected (0: none).
    std::uint64_t liveKey_ = 0;
};

}  // namespace quillon::process
