#include <fcntl.h>
#include <sys/wait.h>
#include <gtest/gtest.h>
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

TEST_F(RunToolTest, KilledToolReportsItsSignal)
{
    EXPECT_EQ(run("kill -9 $$\n").exitStatus, 128u + 9u);
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

TEST_F(RunToolTest, ToolReadsEndOfInputAtOnce)
{
    // Our own standard input holds a line; the tool must not see it.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "data\n", 5), 5);
    const int savedInput = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    const ToolOutcome outcome = run("if read line; then exit 5; fi\nexit 0\n");
    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(outcome.exitStatus, 0u);
}

TEST_F(RunToolTest, ToolInheritsNoOtherDescriptor)
{
    const int inheritable = ::fcntl(STDOUT_FILENO, F_DUPFD, 50);
    ASSERT_GE(inheritable, 50);
    const ToolOutcome outcome = run("[ -e /proc/$$/fd/" + std::to_string(inheritable) + " ] && exit 9\nexit 0\n");
    ::close(inheritable);
    EXPECT_EQ(outcome.exitStatus, 0u);
}

TEST_F(RunToolTest, ProcessIdIsHandedOverBeforeTheOutputIsDrained)
{
    // The tool only finishes once the caller has seen its id and answered.
    const std::string script = tool("echo $$ > \"$D/pid\"\necho waiting\n"
                                    "n=0; while [ ! -e \"$D/go\" ]; do n=$((n+1)); [ $n -gt 2000 ] && exit 4; "
                                    "sleep 0.01; done\nexit 0\n");
    pid_t seen = 0;
    const ToolOutcome outcome = runTool({script}, breakFlag, [&](const ChildProcess& child) {
        seen = child.pid();
        writeFile(dir / "go", "");
    });
    EXPECT_EQ(outcome.exitStatus, 0u);
    EXPECT_EQ(seen, outcome.processId);
    EXPECT_EQ(readPid(dir / "pid"), outcome.processId);
}

TEST_F(RunToolTest, ExitIsAwaitedWhenTheOutputEndsFirst)
{
    // Output closed well before the exit: asking without waiting would say 259.
    EXPECT_EQ(run("exec >/dev/null 2>&1\nsleep 0.3\nexit 3\n").exitStatus, 3u);
}

TEST_F(RunToolTest, LargeOutputOnBothStreamsIsDrained)
{
    EXPECT_EQ(run("head -c 6000000 /dev/zero\nhead -c 3000000 /dev/zero >&2\nexit 0\n").exitStatus, 0u);
    EXPECT_TRUE(zombieChildren().empty());
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
        const ToolOutcome outcome = runTool({tool(body)}, breakFlag, [&](const ChildProcess& child) { pid = child.pid(); });
        breaker.join();
        EXPECT_TRUE(outcome.stopped) << body;
        EXPECT_EQ(outcome.exitStatus, 128u + 9u) << body;
        EXPECT_TRUE(isGone(pid)) << body;
        fs::remove(dir / "pipe");
    }
}

TEST_F(RunToolTest, BreakAfterTheToolEndedReportsItsExitCode)
{
    breakFlag = true;
    // All output is written before the exit; the status is asked only after the
    // tool is surely gone, so the real code must come back, not 259.
    const std::string script = tool("echo last\nexit 6\n");
    pid_t pid = 0;
    const ToolOutcome outcome = runTool({script}, breakFlag, [&](const ChildProcess& child) {
        pid = child.pid();
        siginfo_t info{};
        ::waitid(P_PID, pid, &info, WEXITED | WNOWAIT);
    });
    EXPECT_EQ(outcome.exitStatus, 6u);
    EXPECT_TRUE(isGone(pid));
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

TEST(ToolPaths, BundledToolWinsThenTheSearchPathInOrder)
{
    TempDir dir;
    fs::create_directories(dir / "res");
    fs::create_directories(dir / "bin1");
    fs::create_directories(dir / "bin2");
    writeScript(dir / "bin2/ffmpeg", "exit 0\n");
    writeFile(dir / "bin1/ffmpeg", "not executable");
    const std::string search = ":" + (dir / "bin1").string() + "::" + (dir / "bin2").string() + ":";
    ToolPaths paths{dir / "res", dir / "res/tmp", search};

    EXPECT_EQ(locateTool(paths, "ffmpeg"), dir / "bin2/ffmpeg");
    writeFile(dir / "res/ffmpeg", "not executable either");
    EXPECT_EQ(locateTool(paths, "ffmpeg"), dir / "bin2/ffmpeg");
    writeScript(dir / "res/ffmpeg", "exit 0\n");
    EXPECT_EQ(locateTool(paths, "ffmpeg"), dir / "res/ffmpeg");
    EXPECT_EQ(locateTool(paths, "mp3gain"), std::nullopt);
    EXPECT_EQ(locateTool(ToolPaths{dir / "res", dir / "res/tmp", ""}, "mp3gain"), std::nullopt);

    const ToolPaths beside = ToolPaths::forResDir("/opt/q/res");
    EXPECT_EQ(beside.tempDir, fs::path("/opt/q/res/tmp"));
    EXPECT_FALSE(beside.searchPath.empty());
}

TEST(ToolPaths, PathArgumentsCannotPassForOptions)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"/abs/a b.wav", "/abs/a b.wav"}, {"-y.mp3", "./-y.mp3"},   {"-", "./-"},
        {"pipe:1", "./pipe:1"},           {"rel/x.mp3", "./rel/x.mp3"},
    };
    for (const auto& [path, argument] : cases)
        EXPECT_EQ(pathArgument(path), argument) << path;
}

TEST(TempCleanup, RemovesMatchingFilesIgnoringCaseAndSparesTheGivenOnes)
{
    TempDir dir;
    for (const char* name : {"a.mp3", "B.MP3", "c.Mp3", ".mp3", "keep.txt", "x.mp3.txt", "mp3", "own.mp3", "d.wav"})
        writeFile(dir / name, "x");
    fs::create_directories(dir / "folder.mp3");
    fs::create_directories(dir / "sub");

    removeFilesByExtension(dir.path(), ".mp3", {dir / "sub/../own.mp3"});

    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"keep.txt", "x.mp3.txt", "mp3", "own.mp3", "d.wav", "folder.mp3", "sub"}));

    removeFilesByExtension(dir / "missing", ".mp3", {});  // no folder: nothing to do, no error
}

}  // namespace
