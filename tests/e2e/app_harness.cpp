#include "tests/e2e/app_harness.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quillon::test {

namespace {

// Starts argv, its program found on the search path, with its output and errors into a pipe whose read end goes to
// output.
std::optional<process::ChildProcess> startWithOutput(std::vector<std::string> argv, base::UniqueFd& output)
{
    g_autofree gchar* program = argv.empty() ? nullptr : g_find_program_in_path(argv[0].c_str());
    int ends[2];
    if (!program || pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    argv[0] = program;
    output = base::UniqueFd(ends[0]);
    const base::UniqueFd input(::open("/dev/null", O_RDONLY | O_CLOEXEC)), writeEnd(ends[1]);
    return process::ChildProcess::spawn(argv, input.get(), writeEnd.get());
}

// A window of the process pid: tests running side by side show windows of the same title on one display.
std::optional<std::string> findWindow(const std::string& title, pid_t pid)
{
    // The first window id; xdotool may warn first about a window that went while it searched.
    std::istringstream lines(runCommand({"xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid),
                                         "--name", "^" + title + "$"})
                                 .output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos)
            return line;
    return std::nullopt;
}

// Direct children of pid with their command names (cut to 15 characters) and states.
struct ChildProcess {
    pid_t pid;
    std::string name;
    char state;
};
std::vector<ChildProcess> childrenOf(pid_t parent)
{
    std::vector<ChildProcess> children;
    std::istringstream lines(runCommand({"ps", "--ppid", std::to_string(parent), "-o", "pid=,state=,comm="}).output);
    for (ChildProcess child{}; lines >> child.pid >> child.state >> child.name;)
        children.push_back(child);
    return children;
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv)
{
    CommandResult result;
    base::UniqueFd output;
    auto child = startWithOutput(argv, output);
    if (!child)
        return result;
    char block[4096];
    for (ssize_t n; (n = read(output.get(), block, sizeof block)) > 0;)
        result.output.append(block, static_cast<std::size_t>(n));
    result.exitCode = static_cast<int>(child->waitForExit());
    return result;
}

void AppTest::SetUp()
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs a display: run the suite under xvfb-run";
    const auto connected = [this] {
        display_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(display_) == 0)
            return true;
        xcb_disconnect(std::exchange(display_, nullptr));
        std::this_thread::sleep_for(50ms);
        return false;
    };
    ASSERT_TRUE(waitUntil(connected, 30s)) << "the display takes no connection";
}

AppTest::~AppTest()
{
    if (display_)
        xcb_disconnect(display_);
}

TestApp::TestApp()
{
    std::filesystem::copy(QUILLON_APP_DIR, folder(), std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(configHome());
}

void TestApp::addToStartPage(const std::string& program, const std::string& attributes) const
{
    std::filesystem::copy_file(kPagePrograms / program, res() / program);
    std::string html = readFile(res() / "selectSong.html");
    writeFile(res() / "selectSong.html",
              html.insert(html.rfind("</body>"), "<script src=\"" + program + "\"" + attributes + "></script>"));
}

AppRun::AppRun(const TestApp& app, std::vector<std::string> arguments, std::map<std::string, std::string> environment)
{
    // No desktop session here: GTK's settings in memory, no accessibility bus. env execs the app in its own pid.
    environment.insert({{"QUILLON_CONSOLE", "1"},
                        {"GSETTINGS_BACKEND", "memory"},
                        {"NO_AT_BRIDGE", "1"},
                        {"XDG_CONFIG_HOME", app.configHome().string()}});
    std::vector<std::string> argv{"env"};
    for (const auto& [key, value] : environment)
        argv.push_back(key + "=" + value);
    argv.push_back((app.folder() / "quillon").string());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    base::UniqueFd output;
    if (auto started = startWithOutput(argv, output)) {
        child_.emplace(std::move(*started));
        reader_ = std::thread([this, fd = std::move(output)] {
            char block[4096];
            for (ssize_t n; (n = read(fd.get(), block, sizeof block)) > 0 || (n < 0 && errno == EINTR);) {
                std::lock_guard lock(mutex_);
                output_.append(block, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            }
        });
    } else {
        ADD_FAILURE() << "cannot start the app";
    }
}

AppRun::~AppRun()
{
    if (child_ && !exitCode_) {
        kill(pid(), SIGTERM);
        if (!waitForExit(10s)) {
            child_->kill();
            waitForExit(10s);
        }
    }
    if (reader_.joinable())
        reader_.join();
}

std::vector<std::string> AppRun::linesAfter(const std::string& marker, const std::string& prefix) const
{
    std::vector<std::string> found;
    std::istringstream lines(output());
    for (std::string line; std::getline(lines, line);)
        if (const auto at = line.find(marker);
            at != std::string::npos && line.compare(at + marker.size(), prefix.size(), prefix) == 0)
            found.push_back(line.substr(at + marker.size()));
    return found;
}

std::optional<std::string> AppRun::waitFor(const std::string& marker, const std::string& prefix,
                                           std::chrono::milliseconds timeout, std::size_t skip) const
{
    std::optional<std::string> found;
    waitUntil(
        [&] {
            if (const auto lines = linesAfter(marker, prefix); lines.size() > skip)
                return (found = lines[skip]).has_value();
            std::this_thread::sleep_for(20ms);
            return false;
        },
        timeout);
    return found;
}

std::optional<int> AppRun::waitForExit(std::chrono::milliseconds timeout)
{
    waitUntil(
        [&] {
            if (const auto status = exitCode_ || !child_ ? std::nullopt : child_->exitStatusNow())
                exitCode_ = static_cast<int>(*status);
            return exitCode_.has_value();
        },
        timeout);
    return exitCode_;
}

std::optional<std::string> AppRun::waitForWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    std::optional<std::string> window;
    waitUntil([&] { return (window = findWindow(title, pid())) || (std::this_thread::sleep_for(100ms), false); },
              timeout);
    return window;
}

std::array<int, 4> geometryOf(const std::string& window)
{
    std::array<int, 4> g{-1, -1, -1, -1};
    std::sscanf(runCommand({"xdotool", "getwindowgeometry", "--shell", window}).output.c_str(),
                "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &g[0], &g[1], &g[2], &g[3]);
    return g;
}

std::array<int, 2> probedCentre(const AppRun& run, const std::string& window, const std::string& name,
                                std::array<int, 2> pageSize)
{
    EXPECT_TRUE(run.waitForReport("at " + name + " ")) << name;
    int x = 0, y = 0;
    if (const auto seen = run.reports("at " + name + " "); !seen.empty())
        std::istringstream(seen.back().substr(name.size() + 4)) >> x >> y;
    const auto geometry = geometryOf(window);
    const int frame = (geometry[2] - pageSize[0]) / 2;
    return {frame + x, geometry[3] - frame - pageSize[1] + y};
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
    const auto n = [](int value) { return std::to_string(value); };
    const auto clicked = runCommand({"xdotool", "mousemove", "--window", window, "--sync", n(x), n(y), "click",
                                     "--repeat", n(count), "--delay", "80", n(button)});
    EXPECT_EQ(clicked.exitCode, 0) << clicked.output;
}

void AppRun::drag(const std::string& window, std::array<int, 2> from, std::array<int, 2> to)
{
    std::vector<std::string> argv{"xdotool"};
    const auto moveTo = [&](int x, int y) {
        argv.insert(argv.end(), {"mousemove", "--window", window, "--sync", std::to_string(x), std::to_string(y)});
    };
    moveTo(from[0], from[1]);
    argv.insert(argv.end(), {"mousedown", "1"});
    // A move on the way, so the page sees the pointer travel while the button is down.
    moveTo((from[0] + to[0]) / 2, (from[1] + to[1]) / 2);
    moveTo(to[0], to[1]);
    argv.insert(argv.end(), {"mouseup", "1"});
    const auto dragged = runCommand(argv);
    EXPECT_EQ(dragged.exitCode, 0) << dragged.output;
}

bool AppRun::pressUntil(const std::string& title, const std::function<void(const std::string&)>& press,
                        const std::function<bool(const std::string&)>& done)
{
    const auto window = waitForWindow(title, 10s);
    for (int attempt = 0; window && attempt < 3; ++attempt) {
        press(*window);
        const auto closed = [&] { return !findWindow(title, pid()) || (std::this_thread::sleep_for(100ms), false); };
        if (done ? done(*window) : waitUntil(closed, 3s))
            return true;
    }
    return false;
}

void AppRun::chooseIn(const std::string& chooser, const std::filesystem::path& file)
{
    keys(chooser, {"ctrl+l", "ctrl+a"});
    type(chooser, file.string());
    keys(chooser, {"Return"});
}

std::vector<pid_t> webProcesses(pid_t app)
{
    std::vector<pid_t> pids;
    for (const auto& child : childrenOf(app))
        if (child.name.starts_with("WebKitWebProces") && child.state != 'Z')
            pids.push_back(child.pid);
    return pids;
}

bool onlyPageProcessesRemain(pid_t app, std::chrono::milliseconds timeout)
{
    const auto pageProcess = [](const ChildProcess& child) { return child.name.starts_with("WebKit"); };
    return waitUntil([&] { return std::ranges::all_of(childrenOf(app), pageProcess); }, timeout);
}

Usage usageOf(pid_t pid)
{
    Usage usage;
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    usage.descriptors = static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(proc / "fd"), std::filesystem::directory_iterator{}));
    std::ifstream status(proc / "status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:") || line.starts_with("Threads:"))
            (line[0] == 'V' ? usage.residentKb : usage.threads) = std::stoul(line.substr(line.find(':') + 1));
    for (const auto& child : childrenOf(pid)) {
        ++usage.children;
        usage.zombies += child.state == 'Z' ? 1 : 0;
    }
    return usage;
}

std::vector<std::string> listeningSockets(pid_t pid)
{
    const auto listening = runCommand({"ss", "-Hlnpxt"});
    EXPECT_EQ(listening.exitCode, 0) << listening.output;
    std::vector<std::string> found;
    std::istringstream lines(listening.output);
    for (std::string line; std::getline(lines, line);)
        if (line.find("pid=" + std::to_string(pid) + ",") != std::string::npos)
            found.push_back(line);
    return found;
}

}  // namespace quillon::test
