#pragma once

// Probes of a running app for the reliability and security tests: its process and
// children in /proc, its descriptors and sockets, and a recording stand-in tool.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillon::test {

class TestApp;

// The app started from this test app folder by this test process.
[[nodiscard]] std::optional<pid_t> appProcess(const TestApp& app);

// Direct children of pid, with their short command names.
struct ChildProcess {
    pid_t pid;
    std::string name;
    char state;
};
[[nodiscard]] std::vector<ChildProcess> childrenOf(pid_t pid);
// The web processes of the app's views ("WebKitWebProcess").
[[nodiscard]] std::vector<pid_t> webProcesses(pid_t app);

// What a process holds: open descriptors, threads, resident memory, children.
struct Usage {
    std::size_t descriptors = 0;
    std::size_t threads = 0;
    std::size_t residentKb = 0;
    std::size_t children = 0;
    std::size_t zombies = 0;
};
[[nodiscard]] Usage usageOf(pid_t pid);

// The sockets among pid's descriptors that another process could connect to:
// listening Unix sockets (by path, "-" when unnamed) and listening TCP ports.
[[nodiscard]] std::vector<std::string> listeningSockets(pid_t pid);

// An executable stand-in tool that writes its arguments NUL-separated (its own
// path first) to record, and its process id to record + ".pid", then runs body.
void writeRecordingTool(const std::filesystem::path& tool, const std::filesystem::path& record,
                        const std::string& body = "exit 0");

}  // namespace quillon::test
