#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "jobs/child_process.h"
#include "jobs/run_tool.h"
#include "jobs/running_encoders.h"
#include "jobs/temp_cleanup.h"
#include "jobs/tool_paths.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace quillon::jobs;
using namespace quillon::test;

namespace {

class RunToolTest : public ::testing::Test {
protected:
    // A stand-in tool in the test's folder; $D in body names that folder.
    std::string tool(const std::string& body)
    {
        const fs::path script = dir / "tool";
        writeScript(script, "D='" + dir.path().string() + "'\n" + body);
        return script.string();
    }
    ToolOutcome run(const std::string& body, std::vector<std::string> args = {})
    {
        args.insert(args.begin(), tool(body));
        return runTool(args, breakFlag);
    }

    TempDir dir;
    std::atomic<bool> breakFlag{false};
};

TEST_F(RunToolTest, ReportsTheExitCode)
{
    for (int code : {0, 1, 7, 255}) {
        const ToolOutcome outcome = run("exit " + std::to_string(code) + "\n");
        EXPECT_TRUE(outcome.started);
        EXPECT_GT(outcome.processId, 0);
        EXPECT_EQ(outcome.exitStatus, static_cast<std::uint32_t>(code)) << "exit " << code;
    }
}

TEST_F(RunToolTest, ProgramThatCannotRunIsNotStarted)
{
    writeFile(dir / "plain", "not a program");
    for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
             {(dir / "missing").string()}, {(dir / "plain").string()}, {dir.path().string()}, {""}, {}}) {
        const ToolOutcome outcome = runTool(argv, breakFlag);
        EXPECT_FALSE(outcome.started) << (argv.empty() ? "<empty>" : argv.front());
        EXPECT_EQ(outcome.processId, 0);
    }
}

TEST_F(RunToolTest, ArgumentVectorArrivesIntact)
{
    const std::vector<std::string> args{"two words",
                                        "it's \"quoted\"",
                                        "$HOME and ${PATH}",
                                        "x; touch \"$D/pwned\"",
                                        "$(touch pwned) `touch pwned`",
                                        "Müsik – ♪ 日本.wav",
                                        "",
                                        "-starts-with-dash",
                                        "line\nbreak",
                                        "*.mp3"};
    const ToolOutcome outcome = run("printf '%s\\0' \"$@\" > \"$D/args\"\n", args);
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitStatus, 0u);
    EXPECT_EQ(readArgs(dir / "args"), args);
    EXPECT_FALSE(fs::exists(dir / "pwned"));
}

TEST_F(RunToolTest, ToolInheritsNoOtherDescriptor)
{
    const int inheritable = ::fcntl(STDOUT_FILENO, F_DUPFD, 50);
    ASSERT_GE(inheritable, 50);
    const ToolOutcome outcome = run("[ -e /proc/$$/fd/" + std::to_string(inheritable) + " ] && exit 9\nexit 0\n");
    ::close(inheritable);
    EXPECT_EQ(outcome.exitStatus, 0u);
}

TEST_F(RunToolTest, ExitIsAwaitedWhenTheOutputEndsFirst)
{
    // Output closed well before the exit: asking without waiting would say 259.
    EXPECT_EQ(run("exec >/dev/null 2>&1\nsleep 0.3\nexit 3\n").exitStatus, 3u);
}

TEST_F(RunToolTest, BreakStopsTheToolWhetherItWritesOrNot)
{
    // Each tool would run for a minute; the break must end it long before.
    for (const std::string body : {"while :; do echo busy; sleep 0.01; done\n", "exec sleep 60\n",
                                   "mkfifo \"$D/pipe\"; exec cat \"$D/pipe\"\n"}) {
        breakFlag = false;
        pid_t pid = 0;
        std::thread breaker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            breakFlag = true;
        });
        const ToolOutcome outcome =
            runTool({tool(body)}, breakFlag, [&](const ChildProcess& child) { pid = child.pid(); });
        breaker.join();
        EXPECT_TRUE(outcome.stopped) << body;
        EXPECT_EQ(outcome.exitStatus, 128u + 9u) << body;
        EXPECT_TRUE(isGone(pid)) << body;
        fs::remove(dir / "pipe");
    }
}

TEST(RunningEncoders, TerminatesOnlyEncodersThatStillRun)
{
    TempDir dir;
    writeScript(dir / "tool", "n=0; while [ $n -lt 3000 ]; do n=$((n+1)); sleep 0.01; done\n");
    quillon::UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    std::optional<ChildProcess> child = ChildProcess::spawn({(dir / "tool").string()}, devNull.get(), devNull.get());
    ASSERT_TRUE(child);

    RunningEncoders encoders;
    EXPECT_EQ(encoders.terminateAll(), 0);
    {
        auto registration = encoders.add(7, child->pid(), child->pidfd());
        EXPECT_EQ(encoders.processId(7), static_cast<std::uint32_t>(child->pid()));
        EXPECT_EQ(encoders.processId(8), 0u);

        EXPECT_EQ(encoders.terminateAll(), 1);
        EXPECT_EQ(child->waitForExit(), 128u + 9u);
        // Collected: its id may now belong to anyone, and nothing is signalled.
        EXPECT_EQ(encoders.terminateAll(), 0);
    }
    EXPECT_EQ(encoders.processId(7), 0u);
}

}  // namespace
