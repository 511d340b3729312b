#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "jobs/child_process.h"
#include "jobs/run_tool.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace quillon::jobs;
using namespace quillon::test;

namespace {

TEST(RunTool, PassesTheArgumentsAsTheyStandAndReportsTheExitCode)
{
    TempDir dir;
    std::atomic<bool> breakFlag{false};
    const std::string tool = (dir / "tool").string();
    const int inheritable = ::fcntl(STDOUT_FILENO, F_DUPFD, 50);  // no tool may see it
    ASSERT_GE(inheritable, 50);
    // It exits with $1, and 9 when it sees the descriptor; its output ends before its
    // exit, which is awaited all the same.
    writeScript(tool, "D='" + dir.path().string() + "'\nprintf '%s\\0' \"$@\" > \"$D/args\"\n[ -e /proc/$$/fd/" +
                          std::to_string(inheritable) + " ] && exit 9\nexec >/dev/null 2>&1\nsleep 0.2\nexit $1\n");
    const std::vector<std::string> args{"7",
                                        "it's \"quoted\"",
                                        "$HOME and ${PATH}",
                                        "x; touch \"$D/pwned\"",
                                        "$(touch pwned) `touch pwned`",
                                        "Müsik – ♪.wav",
                                        "",
                                        "-dash",
                                        "line\nbreak",
                                        "*"};
    std::vector<std::string> argv{tool};
    argv.insert(argv.end(), args.begin(), args.end());
    for (const char* code : {"0", "7", "255"}) {
        argv[1] = code;
        const ToolOutcome outcome = runTool(argv, breakFlag);
        EXPECT_TRUE(outcome.started && outcome.processId > 0 && !outcome.stopped);
        EXPECT_EQ(outcome.exitStatus, std::stoul(code));
    }
    ::close(inheritable);
    EXPECT_EQ(std::vector<std::string>(argv.begin() + 1, argv.end()), readArgs(dir / "args"));
    EXPECT_FALSE(fs::exists(dir / "pwned"));

    writeFile(dir / "plain", "not a program");
    for (const std::vector<std::string>& cannot : std::vector<std::vector<std::string>>{
             {(dir / "missing").string()}, {(dir / "plain").string()}, {dir.path().string()}, {""}, {}}) {
        const ToolOutcome outcome = runTool(cannot, breakFlag);
        EXPECT_FALSE(outcome.started) << (cannot.empty() ? "<empty>" : cannot.front());
        EXPECT_EQ(outcome.processId, 0);
    }
}

TEST(RunTool, BreakStopsTheToolWhetherItWritesOrNot)
{
    TempDir dir;
    // Each would run for a minute; the break, set as it starts, must end it at once.
    for (const std::string body : {"while :; do echo busy; sleep 0.01; done\n", "exec sleep 60\n"}) {
        writeScript(dir / "tool", body);
        std::atomic<bool> breakFlag{false};
        pid_t pid = 0;
        const ToolOutcome outcome = runTool({(dir / "tool").string()}, breakFlag, [&](const ChildProcess& child) {
            pid = child.pid();
            breakFlag = true;
        });
        EXPECT_TRUE(outcome.stopped) << body;
        EXPECT_EQ(outcome.exitStatus, 128u + 9u) << body;
        EXPECT_TRUE(isGone(pid)) << body;
    }
}

}  // namespace
