#include "bench/spawned_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quillon::bench {

namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (!extra.contains(name))
            result.push_back(text);
    }
    for (const auto& [name, value] : extra)
        result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> result;
    for (std::string& t : texts)
        result.push_back(t.data());
    result.push_back(nullptr);
    return result;
}

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

}  // namespace

SpawnedProcess::SpawnedProcess(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& environment, Output output)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> env = mergedEnvironment(environment);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(env);

    int ends[2] = {-1, -1};
    if (output == Output::read && pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

    SpawnActions spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output == Output::read) {
        // The engine writes page console messages to either stream, depending on its version.
        posix_spawn_file_actions_adddup2(&spawn.actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&spawn.actions, ends[1], STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&spawn.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }

    const int failed = posix_spawnp(&pid_, argp[0], &spawn.actions, nullptr, argp.data(), envp.data());
    if (output == Output::read) {
        ::close(ends[1]);
        outputFd_ = ends[0];
    }
    if (failed != 0) {
        if (outputFd_ >= 0)
            ::close(outputFd_);
        throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(failed));
    }
}

SpawnedProcess::~SpawnedProcess()
{
    stop();
    if (outputFd_ >= 0)
        ::close(outputFd_);
}

std::optional<std::string> SpawnedProcess::waitForLine(const std::string& marker, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (outputFd_ >= 0) {
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
        pollfd watch{outputFd_, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        char block[4096];
        const ssize_t got = ::read(outputFd_, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        pending_.append(block, static_cast<std::size_t>(got));
    }
    return std::nullopt;
}

int SpawnedProcess::wait()
{
    if (reaped_ || pid_ <= 0)
        return exitCode_;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitCode_;
}

void SpawnedProcess::stop()
{
    if (reaped_ || pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    wait();
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
