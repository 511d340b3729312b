#include "process/child_process.h"

#include "process/pidfd.h"
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <memory>

#include "process/child_reaper.h"
#include "process/live_children.h"

extern char** environ;

namespace quillon::process {

namespace {

struct FileActionsDeleter {
    void operator()(posix_spawn_file_actions_t* actions) const
    {
        posix_spawn_file_actions_destroy(actions);
        delete actions;
    }
};
struct SpawnAttrDeleter {
    void operator()(posix_spawnattr_t* attr) const
    {
        posix_spawnattr_destroy(attr);
        delete attr;
    }
};
using FileActions = std::unique_ptr<posix_spawn_file_actions_t, FileActionsDeleter>;
using SpawnAttr = std::unique_ptr<posix_spawnattr_t, SpawnAttrDeleter>;

constexpr int kPassedFd = STDERR_FILENO + 1;

FileActions makeFileActions(int inputFd, int outputFd, int errorFd, int passedFd)
{
    auto raw = std::make_unique<posix_spawn_file_actions_t>();
    if (posix_spawn_file_actions_init(raw.get()) != 0)
        return nullptr;
    FileActions actions(raw.release());
    // closefrom also drops descriptors that other parts of the program opened
    // without close-on-exec, so no child holds another child's output pipe open.
    if (posix_spawn_file_actions_adddup2(actions.get(), inputFd, STDIN_FILENO) != 0 ||
        posix_spawn_file_actions_adddup2(actions.get(), outputFd, STDOUT_FILENO) != 0 ||
        posix_spawn_file_actions_adddup2(actions.get(), errorFd, STDERR_FILENO) != 0 ||
        (passedFd >= 0 && posix_spawn_file_actions_adddup2(actions.get(), passedFd, kPassedFd) != 0) ||
        posix_spawn_file_actions_addclosefrom_np(actions.get(), passedFd >= 0 ? kPassedFd + 1 : kPassedFd) != 0)
        return nullptr;
    return actions;
}

// The tool starts with default signal handling and no blocked signals, whatever
// the host's toolkit has set up for itself (an ignored SIGPIPE, for one).
SpawnAttr makeSpawnAttr()
{
    auto raw = std::make_unique<posix_spawnattr_t>();
    if (posix_spawnattr_init(raw.get()) != 0)
        return nullptr;
    SpawnAttr attr(raw.release());
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    if (posix_spawnattr_setsigmask(attr.get(), &none) != 0 || posix_spawnattr_setsigdefault(attr.get(), &all) != 0 ||
        posix_spawnattr_setflags(attr.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0)
        return nullptr;
    return attr;
}

std::uint32_t decodeExit(const siginfo_t& info)
{
    if (info.si_code == CLD_EXITED)
        return static_cast<std::uint32_t>(info.si_status);
    return 128u + static_cast<std::uint32_t>(info.si_status);
}

}  // namespace

std::optional<ChildProcess> ChildProcess::spawn(const std::vector<std::string>& argv, int inputFd, int outputFd,
                                                int errorFd, int passedFd)
{
    if (argv.empty() || argv.front().empty())
        return std::nullopt;
    // Duplicated onto itself, a descriptor would keep its close-on-exec flag.
    base::UniqueFd moved(passedFd == kPassedFd ? ::fcntl(passedFd, F_DUPFD_CLOEXEC, kPassedFd + 1) : -1);
    if (passedFd == kPassedFd && !moved.valid())
        return std::nullopt;
    FileActions actions =
        makeFileActions(inputFd, outputFd, errorFd < 0 ? outputFd : errorFd, moved.valid() ? moved.get() : passedFd);
    SpawnAttr attr = makeSpawnAttr();
    if (!actions || !attr)
        return std::nullopt;

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, argv.front().c_str(), actions.get(), attr.get(), args.data(), environ) != 0)
        return std::nullopt;

    base::UniqueFd pidfd(pidfd_open(pid, 0));
    if (!pidfd.valid()) {
        // Without a pidfd the child could not be stopped safely later. It is still
        // unreaped, so its id cannot have been reused yet: end it now.
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return std::nullopt;
    }
    ChildProcess child(pid, std::move(pidfd));
    child.liveKey_ = addLiveChild(child.pidfd_.get());
    return child;
}

void ChildProcess::kill()
{
    if (pidfd_.valid() && !exitStatus_)
        pidfd_send_signal(pidfd_.get(), SIGKILL, nullptr, 0);
}

void ChildProcess::abandon(base::UniqueFd output)
{
    if (!pidfd_.valid() || exitStatus_ || exitStatusNow())
        return;
    reapWhenEnded(std::move(pidfd_), std::move(output), std::exchange(liveKey_, 0));
}

std::optional<std::uint32_t> ChildProcess::collect(int options)
{
    if (exitStatus_)
        return exitStatus_;
    siginfo_t info{};
    int rc;
    while ((rc = ::waitid(P_PIDFD, pidfd_.get(), &info, WEXITED | options)) < 0 && errno == EINTR) {
    }
    if (rc == 0 && info.si_pid == 0)
        return std::nullopt;  // WNOHANG and still running
    exitStatus_ = rc < 0 ? kExitStatusLost : decodeExit(info);
    removeLiveChild(std::exchange(liveKey_, 0));
    return exitStatus_;
}

std::optional<std::uint32_t> ChildProcess::exitStatusNow() { return collect(WNOHANG); }

std::uint32_t ChildProcess::waitForExit() { return collect(0).value_or(kExitStatusLost); }

}  // namespace quillon::process
