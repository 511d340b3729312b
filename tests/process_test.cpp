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
    // The text of /proc/uptime, and the idle seconds read from it.
    const std::pair<const char*, std::optional<double>> cases[] = {{"6050.43 3223.27\n", 3223.27},
                                                                   {"6050.43", std::nullopt},
                                                                   {"6050.43 idle", std::nullopt},
                                                                   {"6050.43 -1.00", std::nullopt},
                                                                   {"6050.43 12.5 more", std::nullopt}};
    for (const auto& [text, idleSeconds] : cases)
        EXPECT_EQ(idleSecondsOfUptime(text), idleSeconds) << text;
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
    // Ended, while a child of its own still holds its output: at the break it is no longer there to stop, and its
    // own exit code stands.
    standIn("tool", "sleep 60 & echo $! > \"$D/pid\"\nexit 3\n");
    pid_t pid = 0;
    const auto ended = [&pid] { return pid != 0 && procStat(pid).value_or(ProcStat{}).state == 'Z'; };
    const ToolOutcome outcome = runTool({argv[0]}, ended, [&pid](const ChildProcess& child) { pid = child.pid(); });
    EXPECT_TRUE(!outcome.stopped && outcome.exitStatus == 3) << outcome.exitStatus;
    ::kill(readPid(dir / "pid"), SIGKILL);
}

}  // namespace
