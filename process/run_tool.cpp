#include "process/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

#include "base/unique_fd.h"

namespace quillon::process {

namespace {

struct Pipe {
    base::UniqueFd read;
    base::UniqueFd write;
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

enum class DrainEnd { OutputEnded, Broken };

// A tool that writes nothing for a long time (one blocked opening a named pipe)
// must still notice a break, so the wait for output is bounded.
DrainEnd drain(int fd, const std::function<bool()>& stopRequested)
{
    std::array<char, 512> block;
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, kBreakTestIntervalMs);
        if (ready < 0 && errno != EINTR)
            return DrainEnd::OutputEnded;
        if (ready > 0) {
            const ssize_t got = ::read(fd, block.data(), block.size());
            if (got == 0 || (got < 0 && errno != EINTR))
                return DrainEnd::OutputEnded;
        }
        if (stopRequested())
            return DrainEnd::Broken;
    }
}

// Starts the tool with an empty standard input and its standard output on a new
// pipe (its standard error too, unless errorFd is given); returns the child and
// the pipe's reading end, and records the start in outcome.
struct RunningTool {
    ChildProcess child;
    base::UniqueFd output;
};

std::optional<RunningTool> launch(const std::vector<std::string>& argv, int errorFd,
                                  const std::function<void(const ChildProcess&)>& onStarted, ToolOutcome& outcome,
                                  int passedFd = -1)
{
    Pipe input;
    Pipe output;
    if (!makePipe(input) || !makePipe(output))
        return std::nullopt;
    // With no writer left, the tool reads end of input at once.
    input.write.reset();

    std::optional<ChildProcess> child =
        ChildProcess::spawn(argv, input.read.get(), output.write.get(), errorFd, passedFd);
    if (!child)
        return std::nullopt;
    outcome.started = true;
    outcome.processId = child->pid();
    if (onStarted)
        onStarted(*child);
    // Only the child may hold the writing end now, so the output ends with it.
    return RunningTool{std::move(*child), std::move(output.read)};
}

}  // namespace

ToolOutcome runTool(const std::vector<std::string>& argv, const std::function<bool()>& stopRequested,
                    const std::function<void(const ChildProcess&)>& onStarted, int passedFd)
{
    ToolOutcome outcome;
    std::optional<RunningTool> tool = launch(argv, -1, onStarted, outcome, passedFd);
    if (!tool)
        return outcome;

    if (drain(tool->output.get(), stopRequested) == DrainEnd::OutputEnded) {
        // The output ends while the tool is still exiting; asking without waiting
        // here would misreport a clean run as still running.
        outcome.exitStatus = tool->child.waitForExit();
    } else if (const auto ended = tool->child.exitStatusNow()) {
        outcome.exitStatus = *ended;
    } else {
        // Broken off: the tool must not go on writing a result nobody will take.
        tool->child.kill();
        outcome.exitStatus = tool->child.waitForExit();
        outcome.stopped = true;
    }
    return outcome;
}

ToolOutcome streamTool(const std::vector<std::string>& argv, const std::function<bool()>& stopRequested,
                       const std::function<void(const ChildProcess&)>& onStarted,
                       const std::function<void(std::string_view)>& onOutput,
                       const std::function<void(std::string_view)>& onError)
{
    ToolOutcome outcome;
    Pipe errors;
    if (onError)
        (void)makePipe(errors);
    else
        errors.write.reset(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    if (!errors.write.valid())
        return outcome;
    std::optional<RunningTool> tool = launch(argv, errors.write.get(), onStarted, outcome);
    errors.write.reset();  // the child's copy is the only writer left
    if (!tool)
        return outcome;

    std::vector<char> block(std::size_t{64} * 1024);
    // Index 0: standard output; 1: standard error while it is open.
    std::array<pollfd, 2> fds{{{tool->output.get(), POLLIN, 0}, {errors.read.get(), POLLIN, 0}}};
    const auto watched = [&] { return fds[1].fd >= 0 ? nfds_t{2} : nfds_t{1}; };
    bool outputEnded = false;
    bool failed = false;
    while (!outputEnded && !failed && !(outcome.stopped = stopRequested())) {
        const int polled = ::poll(fds.data(), watched(), kBreakTestIntervalMs);
        if (polled == 0 || (polled < 0 && errno == EINTR))
            continue;
        if (polled < 0) {
            failed = true;
            break;
        }
        if (watched() == 2 && fds[1].revents != 0) {
            const ssize_t got = ::read(fds[1].fd, block.data(), block.size());
            if (got > 0)
                onError(std::string_view(block.data(), static_cast<std::size_t>(got)));
            else if (got == 0 || errno != EINTR)
                fds[1].fd = -1;  // ended: only the output is watched from now on
        }
        if (fds[0].revents == 0)
            continue;
        const ssize_t got = ::read(fds[0].fd, block.data(), block.size());
        if (got > 0)
            onOutput(std::string_view(block.data(), static_cast<std::size_t>(got)));
        else if (got == 0)
            outputEnded = true;
        else
            failed = errno != EINTR;
    }
    // Stopped, or nobody left to take its output: the tool must not run on.
    if (!outputEnded)
        tool->child.kill();
    outcome.exitStatus = tool->child.waitForExit();
    return outcome;
}

}  // namespace quillon::process
