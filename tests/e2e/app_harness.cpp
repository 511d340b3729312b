#include "tests/e2e/app_harness.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>

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

void TestApp::addPage(const std::string& name, const std::string& html) const { writeFile(res() / name, html); }

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
    // SIGTERM ends the app as closing its window does, so it still writes its
    // coverage counters; SIGKILL only if it does not end.
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
        std::size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
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
        for (const auto& report : reports_) {
            if (report.rfind(prefix, 0) == 0) {
                found = report;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::vector<std::string> AppRun::reports() const
{
    std::lock_guard lock(mutex_);
    return reports_;
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
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

bool AppRun::running() { return !waitForExit(0ms).has_value(); }

std::optional<std::string> AppRun::waitForWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        auto found = runCommand({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"});
        if (found.exitCode == 0 && !found.output.empty())
            return found.output.substr(0, found.output.find('\n'));
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
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

void AppRun::click(const std::string& window, int x, int y, int button)
{
    EXPECT_EQ(runCommand({"xdotool", "mousemove", "--window", window, "--sync", std::to_string(x), std::to_string(y),
                          "click", std::to_string(button)})
                  .exitCode,
              0);
}

void AppRun::doubleClick(const std::string& window, int x, int y)
{
    EXPECT_EQ(runCommand({"xdotool", "mousemove", "--window", window, "--sync", std::to_string(x), std::to_string(y),
                          "click", "--repeat", "2", "--delay", "80", "1"})
                  .exitCode,
              0);
}

}  // namespace quillon::test
