// Running a tool from an argument vector, and the idle time the waveform's second decoder waits for.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <optional>

#include "process/child_process.h"
#include "process/idle_processors.h"
#include "process/run_tool.h"
#include "tests/job_test_fixture.h"

using namespace quillon::process;
using namespace quillon::test;

namespace {

TEST(IdleProcessors, TheIdleTimeIsTheSecondFigureOfTheUptime)
{
    struct Uptime {
        const char* text;
        std::optional<double> idleSeconds;
    };
    const Uptime cases[] = {{.text = "6050.43 3223.27\n", .idleSeconds = 3223.27},
                            {.text = "6050.43", .idleSeconds = std::nullopt},
                            {.text = "6050.43 idle", .idleSeconds = std::nullopt},
                            {.text = "6050.43 -1.00", .idleSeconds = std::nullopt},
                            {.text = "6050.43 12.5 more", .idleSeconds = std::nullopt}};
    for (const Uptime& uptime : cases)
        EXPECT_EQ(idleSecondsOfUptime(uptime.text), uptime.idleSeconds) << uptime.text;
}

TEST_F(JobTest, RunToolPassesTheArgumentsAsTheyStand)
{
    const int inheritable = ::fcntl(STDOUT_FILENO, F_DUPFD, 50);  // no tool may see it
    ASSERT_GE(inheritable, 50);
    // It exits with $1; its output ends before its exit, which is awaited all the same.
    standIn("tool", "[ -e /proc/$$/fd/" + std::to_string(inheritable) +
                        " ] && exit 9\nexec >/dev/null 2>&1\nsleep 0.2\nexit $1\n");
    std::vector<std::string> argv{(tools.resDir / "tool").string(), "0", "'q' \"$HOME\"; `x` $(y) *", "", "-", "a\nb"};
    std::atomic<bool> stop{false};
    const auto stopRequested = [&stop] { return stop.load(); };
    for (const char* code : {"0", "7", "255"}) {
        argv[1] = code;
        const ToolOutcome outcome = runTool(argv, stopRequested);
        EXPECT_TRUE(outcome.started && outcome.processId > 0 && !outcome.stopped) << code;
        EXPECT_EQ(outcome.exitStatus, std::stoul(code));
        EXPECT_EQ(takeCalls(), Calls{argv});
    }
    ::close(inheritable);
    writeFile(dir / "plain", "not a program");
    for (const auto& cannot : std::vector<std::vector<std::string>>{
             {(dir / "missing").string()}, {(dir / "plain").string()}, {dir.path().string()}, {""}, {}}) {
        const ToolOutcome outcome = runTool(cannot, stopRequested);
        EXPECT_TRUE(!outcome.started && outcome.processId == 0) << (cannot.empty() ? "<empty>" : cannot.front());
    }
    // Each would run for a minute; the break, set as it starts, ends it whether it writes or not.
    for (const std::string body : {"while :; do echo busy; sleep 0.01; done\n", "exec sleep 60\n"}) {
        standIn("tool", body);
        pid_t pid = 0;
        const ToolOutcome outcome = runTool({argv[0]}, stopRequested, [&](const ChildProcess& child) {
            pid = child.pid();
            stop = true;
        });
        EXPECT_TRUE(outcome.stopped && outcome.exitStatus == 128 + 9 && isGone(pid)) << body;
        stop = false;
    }
}

}  // namespace
