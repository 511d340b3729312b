#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "tests/tone_wav.h"

namespace quillon::test {

using namespace std::chrono_literals;

// Runs a command to its end (no shell); returns its exit code and standard output.
struct CommandResult {
    int exitCode = -1;
    std::string output;
};
CommandResult runCommand(const std::vector<std::string>& argv);

// A private copy of the built app folder, into whose res/ a test puts its pages.
class TestApp {
public:
    TestApp();
    void addPage(const std::string& name, const std::string& html) const;
    [[nodiscard]] std::filesystem::path folder() const { return dir_.path() / "app"; }
    [[nodiscard]] std::filesystem::path res() const { return folder() / "res"; }
    [[nodiscard]] std::filesystem::path configHome() const { return dir_.path() / "config"; }
    [[nodiscard]] const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
};

// Base of the end-to-end tests: a fresh app folder per test, skipped where there
// is no display to run the app on.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    TestApp app;
};

// One run of the app under the test's display. Pages report with
// console.log("QTEST ..."); reports() returns those texts without the prefix.
class AppRun {
public:
    AppRun(const TestApp& app, std::vector<std::string> arguments = {},
           std::map<std::string, std::string> environment = {});
    ~AppRun();
    AppRun(const AppRun&) = delete;
    AppRun& operator=(const AppRun&) = delete;

    // Waits for a report that starts with prefix; returns it whole.
    std::optional<std::string> waitForReport(const std::string& prefix, std::chrono::milliseconds timeout = 30s);
    [[nodiscard]] std::vector<std::string> reports() const;
    [[nodiscard]] std::string output() const;

    // The exit code once the process has ended within timeout.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 30s);
    [[nodiscard]] bool running();
    // Sends a signal to the app process.
    void signal(int number) const;

    // The X window with exactly this title, once it is mapped.
    std::optional<std::string> waitForWindow(const std::string& title, std::chrono::milliseconds timeout = 30s);
    // Sends key presses (xdotool names, e.g. "ctrl+r") to the window.
    void keys(const std::string& window, const std::vector<std::string>& keys);
    void type(const std::string& window, const std::string& text);
    void click(const std::string& window, int x, int y, int button = 1);
    // Two left clicks as one double click.
    void doubleClick(const std::string& window, int x, int y);

private:
    void readOutput(int fd);

    pid_t pid_ = -1;
    std::optional<int> exitCode_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    std::vector<std::string> reports_;
};

}  // namespace quillon::test
