#include "jobs/run_tool.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "base/unique_fd.h"

namespace quillon::jobs {

namespace {

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

[[nodiscard]] bool makePipe(Pipe& pipe)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    pipe.read.reset(fds[0]);
    pipe.write.reset(fds[1]);
    return true;
}

enum class DrainEnd { outputEnded, broken };

DrainEnd drain(int fd, const std::atomic<bool>& breakFlag)
{
    std::array<char, 512> block;
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return DrainEnd::outputEnded;
        if (breakFlag.load(std::memory_order_acquire))
            return DrainEnd::broken;
    }
}

}  // namespace

ToolOutcome runTool(const std::vector<std::string>& argv, const std::atomic<bool>& breakFlag,
                    const std::function<void(const ChildProcess&)>& onStarted)
{
    ToolOutcome outcome;
    Pipe input;
    Pipe output;
    if (!makePipe(input) || !makePipe(output))
        return outcome;
    // With no writer left, the tool reads end of input at once.
    input.write.reset();

    std::optional<ChildProcess> child = ChildProcess::spawn(argv, input.read.get(), output.write.get());
    if (!child)
        return outcome;
    outcome.started = true;
    outcome.processId = child->pid();
    if (onStarted)
        onStarted(*child);
    // Only the child may hold the writing end now, so the output ends with it.
    input.read.reset();
    output.write.reset();

    if (drain(output.read.get(), breakFlag) == DrainEnd::outputEnded) {
        // The output ends while the tool is still exiting; asking without waiting
        // here would misreport a clean run as still running.
        outcome.exitStatus = child->waitForExit();
    } else {
        outcome.exitStatus = child->exitStatusNow().value_or(kStillRunning);
        // The tool works on by itself: keep its output flowing until it ends.
        child->abandon(std::move(output.read));
    }
    return outcome;
}

}  // namespace quillon::jobs
