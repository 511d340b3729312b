#include "tests/e2e/app_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

extern char** environ;

namespace quillon::test {

namespace {

// Starts argv (searched in PATH) with the given environment, its output and
// errors into a pipe whose read end is returned in readEnd.
pid_t spawnWithOutput(std::vector<std::string> argv, std::map<std::string, std::string> environment, int& readEnd)
{
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        environment.emplace(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
    }
    std::vector<std::string> env;
    for (const auto& [key, value] : environment)
        env.push_back(key + "=" + value);
    std::vector<char*> args, envp;
    for (auto& a : argv)
        args.push_back(a.data());
    for (auto& e : env)
        envp.push_back(e.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    readEnd = ends[0];
    return error == 0 ? pid : (close(ends[0]), -1);
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv)
{
    CommandResult result;
    int fd = -1;
    const pid_t pid = spawnWithOutput(argv, {}, fd);
    if (pid < 0)
        return result;
    char block[4096];
    for (ssize_t n; (n = read(fd, block, sizeof block)) > 0;)
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
    arguments.insert(arguments.begin(), (app.folder() / "quillon").string());
    // No desktop session here: GTK's settings in memory, no accessibility bus.
    environment.insert({{"QUILLON_CONSOLE", "1"},
                        {"GSETTINGS_BACKEND", "memory"},
                        {"NO_AT_BRIDGE", "1"},
                        {"XDG_CONFIG_HOME", app.configHome().string()}});
    int fd = -1;
    pid_ = spawnWithOutput(arguments, environment, fd);
    if (pid_ < 0)
        ADD_FAILURE() << "cannot start " << arguments[0];
    else
        reader_ = std::thread([this, fd] {
            char block[4096];
            for (ssize_t n; (n = read(fd, block, sizeof block)) > 0 || (n < 0 && errno == EINTR);) {
                std::lock_guard lock(mutex_);
                output_.append(block, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            }
            close(fd);
        });
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

std::string AppRun::output() const
{
    std::lock_guard lock(mutex_);
    return output_;
}

std::vector<std::string> AppRun::linesAfter(const std::string& marker) const
{
    std::vector<std::string> found;
    std::istringstream lines(output());
    for (std::string line; std::getline(lines, line);)
        if (const auto at = line.find(marker); at != std::string::npos)
            found.push_back(line.substr(at + marker.size()));
    return found;
}

std::optional<std::string> AppRun::waitFor(const std::string& marker, const std::string& prefix,
                                           std::chrono::milliseconds timeout, std::size_t skip) const
{
    std::optional<std::string> found;
    waitUntil(
        [&] {
            std::size_t seen = 0;
            for (const auto& line : linesAfter(marker))
                if (line.starts_with(prefix) && seen++ == skip)
                    return (found = line).has_value();
            std::this_thread::sleep_for(20ms);
            return false;
        },
        timeout);
    return found;
}

std::size_t AppRun::countReports(const std::string& prefix) const
{
    const auto all = reports();
    return static_cast<std::size_t>(
        std::count_if(all.begin(), all.end(), [&](const auto& r) { return r.starts_with(prefix); }));
}

std::optional<int> AppRun::waitForExit(std::chrono::milliseconds timeout)
{
    waitUntil(
        [&] {
            int status = 0;
            if (exitCode_ || pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_)
                return exitCode_.has_value();
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

std::array<int, 4> geometryOf(const std::string& window)
{
    const auto shell = runCommand({"xdotool", "getwindowgeometry", "--shell", window}).output;
    std::array<int, 4> geometry{-1, -1, -1, -1};
    for (std::size_t i = 0; const char* name : {"X=", "Y=", "WIDTH=", "HEIGHT="})
        if (const auto at = shell.find(std::string("\n") + name); at != std::string::npos && i < 4)
            geometry[i++] = std::stoi(shell.substr(at + 1 + std::strlen(name)));
        else
            ++i;
    return geometry;
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
