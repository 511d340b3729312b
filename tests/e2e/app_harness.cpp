#include "tests/e2e/app_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

extern char** environ;

namespace quillon::test {

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

pid_t spawnWithOutput(std::vector<std::string> argv, std::vector<std::string> env, int& readEnd, bool searchPath)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    auto args = pointers(argv);
    auto envp = pointers(env);
    pid_t pid = -1;
    const int error = searchPath ? posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data())
                                 : posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (error != 0) {
        close(pipeEnds[0]);
        return -1;
    }
    readEnd = pipeEnds[0];
    return pid;
}

std::vector<std::string> currentEnvironment(const std::map<std::string, std::string>& overrides)
{
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos)
            merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : overrides)
        merged[key] = value;
    std::vector<std::string> result;
    for (const auto& [key, value] : merged)
        result.push_back(key + "=" + value);
    return result;
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv)
{
    CommandResult result;
    int fd = -1;
    const pid_t pid = spawnWithOutput(argv, currentEnvironment({}), fd, true);
    if (pid < 0)
        return result;
    char block[4096];
    ssize_t n;
    while ((n = read(fd, block, sizeof block)) > 0)
        result.output.append(block, static_cast<std::size_t>(n));
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TestApp::TestApp()
{
    std::filesystem::copy(QUILLON_APP_DIR, folder(), std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(configHome());
}

void AppTest::SetUp()
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs a display: run the suite under xvfb-run";
}

AppRun::AppRun(const TestApp& app, std::vector<std::string> arguments, std::map<std::string, std::string> environment)
{
    std::vector<std::string> argv{(app.folder() / "quillon").string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    environment.emplace("QUILLON_CONSOLE", "1");
    // No desktop session here: keep GTK's settings in memory and skip the accessibility bus.
    environment.emplace("GSETTINGS_BACKEND", "memory");
    environment.emplace("NO_AT_BRIDGE", "1");
    environment.emplace("XDG_CONFIG_HOME", app.configHome().string());
    int fd = -1;
    pid_ = spawnWithOutput(argv, currentEnvironment(environment), fd, false);
    if (pid_ < 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return;
    }
    reader_ = std::thread([this, fd] { readOutput(fd); });
}

AppRun::~AppRun()
{
    if (pid_ > 0 && !exitCode_) {
        kill(pid_, SIGTERM);
        if (!waitForExit(10s)) {
            kill(pid_, SIGKILL);
            waitForExit(10s);
        }
    }
    if (reader_.joinable())
        reader_.join();
}

void AppRun::signal(int number) const
{
    if (pid_ > 0)
        kill(pid_, number);
}

void AppRun::readOutput(int fd)
{
    static const std::string kMarker = "CONSOLE LOG QTEST ";
    std::string pending;
    char block[4096];
    ssize_t n;
    while ((n = read(fd, block, sizeof block)) > 0 || (n < 0 && errno == EINTR)) {
        if (n <= 0)
            continue;
        std::lock_guard lock(mutex_);
        output_.append(block, static_cast<std::size_t>(n));
        pending.append(block, static_cast<std::size_t>(n));
        for (std::size_t newline; (newline = pending.find('\n')) != std::string::npos; pending.erase(0, newline + 1)) {
            const std::string line = pending.substr(0, newline);
            if (const auto at = line.find(kMarker); at != std::string::npos)
                reports_.push_back(line.substr(at + kMarker.size()));
        }
        changed_.notify_all();
    }
    close(fd);
}

std::optional<std::string> AppRun::waitForReport(const std::string& prefix, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    changed_.wait_for(lock, timeout, [&] {
        for (const auto& report : reports_)
            if (report.starts_with(prefix))
                return (found = report).has_value();
        return false;
    });
    return found;
}

std::vector<std::string> AppRun::reports() const
{
    std::lock_guard lock(mutex_);
    return reports_;
}

std::size_t AppRun::countReports(const std::string& prefix) const
{
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(reports_.begin(), reports_.end(), [&](const auto& r) { return r.starts_with(prefix); }));
}

std::string AppRun::output() const
{
    std::lock_guard lock(mutex_);
    return output_;
}

std::optional<int> AppRun::waitForExit(std::chrono::milliseconds timeout)
{
    if (exitCode_ || pid_ <= 0)
        return exitCode_;
    waitUntil(
        [&] {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) != pid_)
                return false;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        },
        timeout);
    return exitCode_;
}

namespace {

std::optional<std::string> findWindow(const std::string& title)
{
    auto found = runCommand({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"});
    if (found.exitCode != 0 || found.output.empty())
        return std::nullopt;
    return found.output.substr(0, found.output.find('\n'));
}

}  // namespace

std::optional<std::string> AppRun::waitForWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    std::optional<std::string> window;
    waitUntil([&] { return (window = findWindow(title)) || (std::this_thread::sleep_for(100ms), false); }, timeout);
    return window;
}

bool waitForNoWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    return waitUntil([&] { return !findWindow(title) || (std::this_thread::sleep_for(100ms), false); }, timeout);
}

void AppRun::keys(const std::string& window, const std::vector<std::string>& keys)
{
    for (const auto& key : keys) {
        runCommand({"xdotool", "windowfocus", "--sync", window});
        EXPECT_EQ(runCommand({"xdotool", "key", "--clearmodifiers", key}).exitCode, 0) << key;
    }
}

void AppRun::type(const std::string& window, const std::string& text)
{
    runCommand({"xdotool", "windowfocus", "--sync", window});
    EXPECT_EQ(runCommand({"xdotool", "type", "--delay", "20", text}).exitCode, 0);
}

void AppRun::click(const std::string& window, int x, int y, int button, int count)
{
    EXPECT_EQ(runCommand({"xdotool", "mousemove", "--window", window, "--sync", std::to_string(x), std::to_string(y),
                          "click", "--repeat", std::to_string(count), "--delay", "80", std::to_string(button)})
                  .exitCode,
              0);
}

PrivateBus::PrivateBus()
{
    const auto started =
        runCommand({"dbus-daemon", "--session", "--fork", "--nopidfile", "--print-address=1", "--print-pid=1"});
    std::istringstream lines(started.output);
    std::getline(lines, address_);
    lines >> pid_;
    if (started.exitCode != 0 || pid_ <= 0)
        address_.clear();
}

PrivateBus::~PrivateBus()
{
    if (pid_ > 0)
        kill(pid_, SIGTERM);
}

std::vector<ChildProcess> childrenOf(pid_t parent)
{
    std::vector<ChildProcess> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const auto pid = static_cast<pid_t>(std::stol(name));
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        std::getline(comm, command);
        if (const auto stat = procStat(pid); stat && stat->parent == parent)
            children.push_back({pid, command, stat->state});
    }
    return children;
}

std::vector<pid_t> webProcesses(pid_t app)
{
    std::vector<pid_t> pids;
    for (const auto& child : childrenOf(app))
        if (child.name.starts_with("WebKitWebProces") && child.state != 'Z')
            pids.push_back(child.pid);
    return pids;
}

Usage usageOf(pid_t pid)
{
    Usage usage;
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    std::error_code error;
    for (const char* folder : {"fd", "task"})
        for (auto it = std::filesystem::directory_iterator(proc / folder, error);
             !error && it != std::filesystem::directory_iterator(); it.increment(error))
            ++(folder[0] == 'f' ? usage.descriptors : usage.threads);
    std::ifstream status(proc / "status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            usage.residentKb = std::stoul(line.substr(6));
    for (const auto& child : childrenOf(pid)) {
        ++usage.children;
        usage.zombies += child.state == 'Z' ? 1 : 0;
    }
    return usage;
}

std::vector<std::string> listeningSockets(pid_t pid)
{
    std::set<std::string> inodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.starts_with("socket:["))
            inodes.insert(target.substr(8, target.size() - 9));
    }
    std::vector<std::string> found;
    std::string line, skip, flags, state, inode, path;
    // Num RefCount Protocol Flags Type St Inode [Path]; flag 00010000 marks a listener.
    std::ifstream unixTable("/proc/net/unix");
    for (std::getline(unixTable, line); std::getline(unixTable, line);) {
        path.clear();
        std::istringstream(line) >> skip >> skip >> skip >> flags >> skip >> skip >> inode >> path;
        if (inodes.count(inode) && (std::stoul(flags, nullptr, 16) & 0x10000) != 0)
            found.push_back("unix " + (path.empty() ? std::string("-") : path));
    }
    // sl local_address rem_address st ... inode; state 0A is LISTEN.
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream tcp(table);
        for (std::getline(tcp, line); std::getline(tcp, line);) {
            std::string local;
            std::istringstream(line) >> skip >> local >> skip >> state >> skip >> skip >> skip >> skip >> skip >> inode;
            if (state == "0A" && inodes.count(inode))
                found.push_back("tcp " + local);
        }
    }
    return found;
}

}  // namespace quillon::test
