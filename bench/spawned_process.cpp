#include "bench/spawned_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace quillon::bench {

SpawnedProcess::SpawnedProcess(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& environment, Output output)
{
    // env sets the environment and runs the program, found on the search path, in its own process.
    std::vector<std::string> args{"/usr/bin/env"};
    for (const auto& [name, value] : environment)
        args.push_back(name + "=" + value);
    args.insert(args.end(), argv.begin(), argv.end());
    int ends[2] = {-1, -1};
    if (output == Output::read && pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    output_ = base::UniqueFd(ends[0]);
    // The engine writes page console messages to either stream, depending on its version: both go to one pipe.
    const base::UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const base::UniqueFd writeEnd(output == Output::read ? ends[1] : ::open("/dev/null", O_WRONLY | O_CLOEXEC));
    auto started = process::ChildProcess::spawn(args, input.get(), writeEnd.get());
    if (!started)
        throw std::runtime_error("cannot start " + argv.front());
    child_.emplace(std::move(*started));
}

SpawnedProcess::~SpawnedProcess() { stop(); }

std::optional<std::string> SpawnedProcess::waitForLine(const std::string& marker, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output_.valid()) {
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (const std::size_t at = line.find(marker); at != std::string::npos)
                return line.substr(at + marker.size());
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd watch{output_.get(), POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        char block[4096];
        const ssize_t got = ::read(output_.get(), block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        pending_.append(block, static_cast<std::size_t>(got));
    }
    return std::nullopt;
}

int SpawnedProcess::wait() { return static_cast<int>(child_->waitForExit()); }

void SpawnedProcess::stop()
{
    if (child_->exitStatusNow())
        return;
    ::kill(child_->pid(), SIGTERM);  // not collected yet, so the id is still its own
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!child_->exitStatusNow() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    child_->kill();
    (void)child_->waitForExit();
}

double timedRun(const std::vector<std::string>& argv)
{
    const auto start = std::chrono::steady_clock::now();
    SpawnedProcess child(argv, {}, SpawnedProcess::Output::discard);
    const int code = child.wait();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (code != 0)
        throw std::runtime_error(argv.front() + " exited with " + std::to_string(code));
    return took.count();
}

}  // namespace quillon::bench
