#pragma once

// The real app under the test's display: a private copy of its folder, its page
// reports, its windows driven with xdotool, and what the process holds in /proc.

#include <sys/types.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/version.h"
#include "process/child_process.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"
#include "tests/tone_wav.h"

struct xcb_connection_t;  // libxcb's, declared here so that tests need not include it

namespace quillon::test {

using namespace std::chrono_literals;

inline const std::string kCaption = "Quillon - Version " + std::string(base::kVersion);
inline constexpr const char* kChooser = "Select audio file to use on mobile phone as ringtone";

// A command run to its end (no shell), its program found on the search path; a signal's end is 128 + its number.
struct CommandResult {
    int exitCode = -1;
    std::string output;
};
CommandResult runCommand(const std::vector<std::string>& argv);

// A test page running a program of tests/e2e/pages/ after prelude.js and a prelude that sets its values.
inline const std::filesystem::path kPagePrograms = std::filesystem::path(QUILLON_SOURCE_DIR) / "tests/e2e/pages";
inline std::string pageWith(const std::string& program, const std::string& prelude = "", const std::string& body = "")
{
    return "<!DOCTYPE html><html><head><meta charset='utf-8'></head><body style='margin:0'>" + body + "<script>" +
           readFile(kPagePrograms / "prelude.js") + prelude + readFile(kPagePrograms / program) +
           "</script></body></html>";
}

// A private copy of the built app folder, into whose res/ a test puts its pages.
class TestApp {
public:
    TestApp();
    void addPage(const std::string& name, const std::string& html) const { writeFile(res() / name, html); }
    // Runs a program of tests/e2e/pages/ on the start page, after the page's own scripts.
    void addToStartPage(const std::string& program, const std::string& attributes = "") const;
    // A stand-in of tests/stand_ins/ in res/ as tool.
    void standIn(const std::string& tool, const std::string& script) const
    {
        writeScript(res() / tool, readFile(std::filesystem::path(QUILLON_SOURCE_DIR) / "tests/stand_ins" / script));
    }
    [[nodiscard]] std::filesystem::path folder() const { return dir_.path() / "app"; }
    [[nodiscard]] std::filesystem::path res() const { return folder() / "res"; }
    [[nodiscard]] std::filesystem::path configHome() const { return dir_.path() / "config"; }
    [[nodiscard]] std::filesystem::path path() const { return dir_.path(); }

private:
    TempDir dir_;
};

// A test of the real app, holding a connection to the display for its length. The X server
// resets whenever its last client leaves, and turns away whoever connects meanwhile: the end
// of a test running beside this one could make this one's app fail to start. Connecting
// waits out such a reset.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    ~AppTest() override;
    TestApp app;

private:
    ::xcb_connection_t* display_ = nullptr;
};

// One run of the app. Ends it with SIGTERM (as closing its window does, so that
// it writes its coverage counters) if it still runs at scope end.
class AppRun {
public:
    AppRun(const TestApp& app, std::vector<std::string> arguments = {},
           std::map<std::string, std::string> environment = {});
    ~AppRun();
    AppRun(const AppRun&) = delete;
    AppRun& operator=(const AppRun&) = delete;

    [[nodiscard]] std::string output() const
    {
        std::lock_guard lock(mutex_);
        return output_;
    }
    // The text after marker on each output line that holds it, where that starts with prefix.
    [[nodiscard]] std::vector<std::string> linesAfter(const std::string& marker, const std::string& prefix = "") const;
    // The (skip+1)-th of those, once the app has written it.
    std::optional<std::string> waitFor(const std::string& marker, const std::string& prefix,
                                       std::chrono::milliseconds timeout, std::size_t skip = 0) const;
    std::optional<std::string> waitForReport(const std::string& prefix, std::chrono::milliseconds timeout = 30s,
                                             std::size_t skip = 0) const
    {
        return waitFor(kReport, prefix, timeout, skip);
    }
    std::vector<std::string> reports(const std::string& prefix = "") const { return linesAfter(kReport, prefix); }
    [[nodiscard]] std::size_t countReports(const std::string& prefix) const { return reports(prefix).size(); }
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 30s);
    [[nodiscard]] bool running() { return !waitForExit(0ms).has_value(); }
    [[nodiscard]] pid_t pid() const { return child_ ? child_->pid() : -1; }

    // The X window with exactly this title, once mapped; keys by xdotool names ("ctrl+r").
    std::optional<std::string> waitForWindow(const std::string& title, std::chrono::milliseconds timeout = 30s);
    void keys(const std::string& window, const std::vector<std::string>& keys);
    void type(const std::string& window, const std::string& text);
    void click(const std::string& window, int x, int y, int button = 1, int count = 1);
    // A drag with the left button held, in window coordinates.
    void drag(const std::string& window, std::array<int, 2> from, std::array<int, 2> to);
    // press(window) on the window with this title until done(window), by default until that window has closed:
    // a window just mapped may drop keys.
    [[nodiscard]] bool pressUntil(const std::string& title, const std::function<void(const std::string&)>& press,
                                  const std::function<bool(const std::string&)>& done = {});
    // The file chooser's location field given file, then Return.
    void chooseIn(const std::string& chooser, const std::filesystem::path& file);

private:
    static constexpr const char* kReport = "CONSOLE LOG QTEST ";
    std::optional<process::ChildProcess> child_;
    std::optional<int> exitCode_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string output_;
};

[[nodiscard]] std::array<int, 4> geometryOf(const std::string& window);
// The last centre tests/e2e/pages/element_probe.js reported for the element of that name, in window coordinates:
// the page area (760 × 471 unless told) sits inside the window's frame, as far in from its left as from its bottom.
[[nodiscard]] std::array<int, 2> probedCentre(const AppRun& run, const std::string& window, const std::string& name,
                                              std::array<int, 2> pageSize = {760, 471});

[[nodiscard]] std::vector<pid_t> webProcesses(pid_t app);
// Waits until every child of the app is one of its page processes.
[[nodiscard]] bool onlyPageProcessesRemain(pid_t app, std::chrono::milliseconds timeout);

struct Usage {
    std::size_t descriptors = 0, threads = 0, residentKb = 0, children = 0, zombies = 0;
};
[[nodiscard]] Usage usageOf(pid_t pid);
// The listening Unix and TCP sockets of pid.
[[nodiscard]] std::vector<std::string> listeningSockets(pid_t pid);

}  // namespace quillon::test
