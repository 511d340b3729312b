#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <filesystem>
#include <set>

#include "jobs/child_process.h"
#include "jobs/normalize_job.h"
#include "jobs/transcode_job.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace quillon::jobs;
using namespace quillon::test;

namespace {

// Each run of a stand-in writes its arguments to call1, call2, ... in $D.
const char* kRecordCall = "n=1; while [ -e \"$D/call$n\" ]; do n=$((n+1)); done\n"
                          "printf '%s\\0' \"$0\" \"$@\" > \"$D/call$n\"\n";
// Waits for the file named by $1 in $D, for at most about 30 seconds.
const char* kAwaitFile = "await() { n=0; while [ ! -e \"$D/$1\" ]; do n=$((n+1)); [ $n -gt 3000 ] && exit 70; "
                         "sleep 0.01; done; }\n";

class ToolJobTest : public ::testing::Test {
protected:
    ToolJobTest()
    {
        fs::create_directories(tools.tempDir);
        fs::create_directories(dir / "no-tools");
        writeFile(dir / "in.wav", "RIFF");
        writeFile(dir / "clip.mp3", "ID3");
    }

    void standIn(const std::string& name, const std::string& body)
    {
        writeScript(tools.resDir / name, "D='" + dir.path().string() + "'\n" + kAwaitFile + kRecordCall + body);
    }
    std::vector<std::vector<std::string>> calls() const
    {
        std::vector<std::vector<std::string>> all;
        for (int n = 1; fs::exists(dir / ("call" + std::to_string(n))); ++n)
            all.push_back(readArgs(dir / ("call" + std::to_string(n))));
        return all;
    }
    std::set<std::string> tempListing() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(tools.tempDir))
            names.insert(entry.path().filename().string());
        return names;
    }
    std::int32_t waitForTranscodeEnd()
    {
        EXPECT_TRUE(waitUntil([&] { return fields->tsStatus.value() != kTranscodeRunning; }));
        return fields->tsStatus.value();
    }
    std::int32_t waitForNormalizeEnd()
    {
        EXPECT_TRUE(waitUntil([&] { return fields->norStatus.value() >= kNormalizeDone; }));
        return fields->norStatus.value();
    }
    pid_t waitForPidFile()
    {
        EXPECT_TRUE(waitUntil([&] { return readPid(dir / "pid") != 0; }));
        return readPid(dir / "pid");
    }

    TempDir dir;
    // No search path: only the stand-ins in res/ are found.
    ToolPaths tools{dir / "res", dir / "res/tmp", (dir / "no-tools").string()};
    SharedJobFields fields = std::make_shared<JobFields>();
};

using TranscodeTest = ToolJobTest;

TEST_F(TranscodeTest, EncoderGetsTheExactArgumentVector)
{
    struct Case {
        std::string input, output, inputArg, outputArg;
    };
    const std::string odd = (dir / "in put 'q' \"d\" $HOME; x ♪").string();
    const std::vector<Case> cases{
        {odd + ".wav", odd + ".mp3", odd + ".wav", odd + ".mp3"},
        {"-i.wav", "-y.mp3", "./-i.wav", "./-y.mp3"},
    };
    standIn("ffmpeg", "for last; do :; done\necho mp3 > \"$last\"\n");
    writeFile(odd + ".wav", "RIFF");
    writeFile("-i.wav", "RIFF");  // relative: in the working folder
    for (const Case& c : cases) {
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with("call"))
                fs::remove(entry.path());
        ASSERT_TRUE(startTranscode(fields, tools, c.input, c.output));
        EXPECT_EQ(waitForTranscodeEnd(), kTranscodeDone);
        const std::vector<std::string> expected{(tools.resDir / "ffmpeg").string(),
                                                "-i",
                                                c.inputArg,
                                                "-ab",
                                                "64k",
                                                "-ar",
                                                "44100",
                                                "-ac",
                                                "2",
                                                "-y",
                                                c.outputArg};
        EXPECT_EQ(calls(), std::vector<std::vector<std::string>>{expected}) << c.input;
    }
    fs::remove("-i.wav");
    fs::remove("-y.mp3");
}

TEST_F(TranscodeTest, FailureTellsItsReasonAndNeverHarmsTheInput)
{
    // A socket exists but cannot be opened, even by the superuser.
    const fs::path socketPath = dir / "in.sock";
    quillon::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_hard_link(dir / "in.wav", dir / "linked.mp3");
    fs::create_directories(dir / "sub");

    struct Case {
        std::string input, output, encoder;  // encoder: the stand-in's body, "" for none
        std::int32_t status;
        std::string reason;
        std::size_t runs;
    };
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.mp3").string();
    const std::vector<Case> cases{
        {in, out, "echo mp3 > \"$D/out.mp3\"\n", kTranscodeDone, "", 1},
        {(dir / "gone.wav").string(), out, "exit 0\n", kTranscodeFailed, "missing", 0},
        {(dir / "in.wav/x").string(), out, "exit 0\n", kTranscodeFailed, "missing", 0},
        {socketPath.string(), out, "exit 0\n", kTranscodeFailed, "unreadable", 0},
        {in, (dir / "linked.mp3").string(), "echo > \"$D/linked.mp3\"\n", kTranscodeFailed, "same-file", 0},
        {in, (dir / "sub/../in.wav").string(), "echo > \"$D/in.wav\"\n", kTranscodeFailed, "same-file", 0},
        {in, out, "exit 0\n", kTranscodeFailed, "no-output", 1},
        {in, out, ": > \"$D/out.mp3\"\n", kTranscodeFailed, "no-output", 1},
        {in, out, "echo mp3 > \"$D/out.mp3\"\nexit 1\n", kTranscodeFailed, "damaged", 1},
        {in, out, "", kTranscodeFailed, "no-encoder", 0},
    };
    // The clip of a part runs the same job.
    for (const bool part : {false, true})
        for (const Case& c : cases) {
            for (int n = 1; fs::remove(dir / ("call" + std::to_string(n))); ++n) {
            }
            fs::remove(dir / "out.mp3");
            fs::remove(tools.resDir / "ffmpeg");
            if (!c.encoder.empty())
                standIn("ffmpeg", c.encoder);
            ASSERT_TRUE(part ? startTranscodeClip(fields, tools, c.input, c.output, {0, 20000, 0})
                             : startTranscode(fields, tools, c.input, c.output));
            EXPECT_EQ(waitForTranscodeEnd(), c.status) << c.input << " " << c.encoder;
            EXPECT_EQ(transcodeReason(*fields), c.reason) << c.input << " " << c.encoder;
            EXPECT_EQ(calls().size(), c.runs) << c.input << " " << c.encoder;
            EXPECT_EQ(readFile(dir / "in.wav"), "RIFF");
            EXPECT_EQ(transcodeProcessId(*fields), 0u);
        }
}

TEST(TranscodeReason, EncoderEndIsJudgedByItsOutputAndTheRoomLeft)
{
    struct Case {
        EncoderEnd end;
        TranscodeReason reason;
    };
    const std::vector<Case> cases{
        {{0, 1000, kRoomForAClip}, TranscodeReason::none},   {{0, 1000, 0}, TranscodeReason::none},
        {{0, 0, kRoomForAClip}, TranscodeReason::noOutput},  {{0, 0, kRoomForAClip - 1}, TranscodeReason::diskFull},
        {{1, 1000, 4096}, TranscodeReason::diskFull},        {{1, 1000, kRoomForAClip}, TranscodeReason::damaged},
        {{137, 0, kRoomForAClip}, TranscodeReason::damaged},
    };
    for (const Case& c : cases)
        EXPECT_EQ(reasonText(judgeEncoderEnd(c.end)), reasonText(c.reason))
            << c.end.exitStatus << " " << c.end.outputSize << " " << c.end.spaceLeft;
}

// Only the exit code decides the status. Earlier results in the temp folder are
// gone before the encoder runs, its wave files after; its own output always stays.
TEST_F(TranscodeTest, ExitCodeDecidesTheStatusAndTheTempFolderIsCleanedBeforeAndAfter)
{
    const struct {
        int exitCode;
        std::string output;
        std::int32_t status;
    } cases[] = {{0, "out.mp3", kTranscodeDone}, {3, "out.mp3", kTranscodeFailed}, {0, "result.WAV", kTranscodeDone}};
    for (const auto& c : cases) {
        for (const char* name : {"old.mp3", "OLD2.MP3", "in.Mp3", "out.mp3", "a.wav", "B.WAV", "notes.txt"})
            writeFile(tools.tempDir / name, "x");
        standIn("ffmpeg", "LC_ALL=C ls -A \"$D/res/tmp\" | tr '\\n' ' ' > \"$D/listing\"\necho new > \"$D/res/tmp/" +
                              c.output + "\"\nexit " + std::to_string(c.exitCode) + "\n");
        ASSERT_TRUE(
            startTranscode(fields, tools, (tools.tempDir / "in.Mp3").string(), (tools.tempDir / c.output).string()));
        EXPECT_EQ(waitForTranscodeEnd(), c.status);
        EXPECT_EQ(transcodeProcessId(*fields), 0u);
        EXPECT_EQ(readFile(dir / "listing"), "B.WAV a.wav in.Mp3 notes.txt ");
        EXPECT_TRUE(waitUntil([&] {
            return tempListing() == std::set<std::string>{"in.Mp3", "notes.txt", c.output};
        })) << c.output;
        for (const auto& name : tempListing())
            fs::remove(tools.tempDir / name);
    }
}

TEST_F(TranscodeTest, BreakStopsTheEncoderAndRemovesItsPartialOutput)
{
    // It writes part of a clip, then nothing at all, as on a named pipe.
    standIn("ffmpeg", "echo $$ > \"$D/pid\"\necho part > \"$D/out.mp3\"\nexec sleep 60\n");
    ASSERT_TRUE(startTranscode(fields, tools, (dir / "in.wav").string(), (dir / "out.mp3").string()));
    const pid_t encoder = waitForPidFile();
    ASSERT_TRUE(waitUntil([&] { return transcodeProcessId(*fields) != 0; }));
    EXPECT_EQ(transcodeProcessId(*fields), static_cast<std::uint32_t>(encoder));

    fields->breakFlag = true;
    EXPECT_EQ(waitForTranscodeEnd(), kTranscodeFailed);
    EXPECT_EQ(transcodeReason(*fields), "");
    EXPECT_EQ(transcodeProcessId(*fields), 0u);
    EXPECT_TRUE(isGone(encoder));
    EXPECT_FALSE(fs::exists(dir / "out.mp3"));
}

using NormalizeTest = ToolJobTest;

TEST_F(NormalizeTest, RunsTheThreeStepsInOrderShowingEachOne)
{
    standIn("mp3gain", "case \"$1\" in /s) await go1;; /r) await go2;; /g) await go3;; esac\nexit 0\n");
    const std::string file = (dir / "my 'clip' \"x\" $PATH; ♪.mp3").string();
    writeFile(file, "ID3");
    ASSERT_TRUE(startNormalize(fields, tools, file));
    for (const auto& [gate, status] : std::vector<std::pair<std::string, std::int32_t>>{
             {"go1", kNormalizeRemovingTags}, {"go2", kNormalizeLeveling}, {"go3", kNormalizeRaising}}) {
        EXPECT_TRUE(waitUntil([&, status = status] { return fields->norStatus.value() == status; })) << gate;
        writeFile(dir / gate, "");
    }
    EXPECT_EQ(waitForNormalizeEnd(), kNormalizeDone);
    const std::string tool = (tools.resDir / "mp3gain").string();
    EXPECT_EQ(calls(), (std::vector<std::vector<std::string>>{
                           {tool, "/s", "d", file}, {tool, "/r", file}, {tool, "/g", "4", file}}));
}

TEST_F(NormalizeTest, FailingStepEndsTheJobWithItsCode)
{
    struct Case {
        std::string failingOption;
        int exitCode;
        std::int32_t status;
        std::size_t runs;
    };
    const std::vector<Case> cases{
        {"/s", 1, kNormalizeRemovingTagsFailed, 1},
        {"/r", 1, kNormalizeLevelingFailed, 2},
        {"/g", 255, kNormalizeRaisingFailed, 3},
    };
    for (const Case& c : cases) {
        for (int n = 1; fs::remove(dir / ("call" + std::to_string(n))); ++n) {
        }
        standIn("mp3gain",
                "[ \"$1\" = \"" + c.failingOption + "\" ] && exit " + std::to_string(c.exitCode) + "\nexit 0\n");
        writeFile("-clip.mp3", "ID3");  // relative: in the working folder
        ASSERT_TRUE(startNormalize(fields, tools, "-clip.mp3"));
        EXPECT_EQ(waitForNormalizeEnd(), c.status) << c.failingOption;
        const auto runs = calls();
        EXPECT_EQ(runs.size(), c.runs) << c.failingOption;
        EXPECT_EQ(runs.back().back(), "./-clip.mp3");
    }
    fs::remove("-clip.mp3");
}

TEST_F(NormalizeTest, OnlyANonEmptyRegularFileWeMayWriteIsHandedToTheTool)
{
    fs::create_symlink(dir / "clip.mp3", dir / "link.mp3");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    fs::create_directories(dir / "folder.mp3");
    writeFile(dir / "empty.mp3", "");
    writeFile(dir / "locked.mp3", "ID3");
    fs::permissions(dir / "locked.mp3", fs::perms::owner_read);
    std::vector<std::string> refused{"link.mp3", "pipe.mp3", "folder.mp3", "empty.mp3", "gone.mp3"};
    if (::geteuid() != 0)  // the superuser may write any file
        refused.push_back("locked.mp3");
    standIn("mp3gain", "exit 0\n");
    for (const std::string& name : refused) {
        ASSERT_TRUE(startNormalize(fields, tools, (dir / name).string()));
        EXPECT_EQ(waitForNormalizeEnd(), kNormalizeRemovingTagsFailed) << name;
        EXPECT_TRUE(calls().empty()) << name;
    }
    EXPECT_EQ(readFile(dir / "clip.mp3"), "ID3");

    // A step that succeeds but leaves the file empty (a full disk) fails.
    standIn("mp3gain", "[ \"$1\" = /r ] && : > \"$2\"\nexit 0\n");
    ASSERT_TRUE(startNormalize(fields, tools, (dir / "clip.mp3").string()));
    EXPECT_EQ(waitForNormalizeEnd(), kNormalizeLevelingFailed);
}

TEST_F(NormalizeTest, BreakDuringAStepStartsNoFurtherStep)
{
    standIn("mp3gain", "echo $$ > \"$D/pid\"\necho analysing\nawait go\necho more\nawait release\n"
                       "echo done > \"$D/finished\"\nexit 0\n");
    ASSERT_TRUE(startNormalize(fields, tools, (dir / "clip.mp3").string()));
    const pid_t gain = waitForPidFile();
    fields->breakFlag = true;
    EXPECT_EQ(waitForNormalizeEnd(), kNormalizeRemovingTagsFailed);
    EXPECT_TRUE(isGone(gain));
    EXPECT_EQ(calls().size(), 1u);
    EXPECT_TRUE(zombieChildren().empty());
}

}  // namespace
