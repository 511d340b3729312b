// The jobs and the stand-in tools they run, the waveform analysis, the temp folder and the stop at exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "audio/encoder_end.h"
#include "audio/loudness_meter.h"
#include "audio/normalize_job.h"
#include "audio/transcode_job.h"
#include "audio/waveform_analysis.h"
#include "audio/waveform_job.h"
#include "jobs/job_turn.h"
#include "jobs/start_job.h"
#include "jobs/temp_cleanup.h"
#include "jobs/temp_folder.h"
#include "network/http_request_job.h"
#include "network/upload_job.h"
#include "process/child_process.h"
#include "process/run_tool.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace quillon::jobs;
using namespace quillon::test;
using namespace std::chrono_literals;

namespace {

using Calls = std::vector<std::vector<std::string>>;
std::string zeros(int count) { return count > 1 ? "0," + zeros(count - 1) : "0"; }
// One second of silence read with 16 points: one part at 0, 16 peaks, 100 levels of 10 ms.
const std::string kSilence = "1000:::0:::" + zeros(16) + ":::10:::" + zeros(100);
// Writes the header of an MPEG audio frame to a file: a clip as far as the job can tell.
const std::string kWriteFrame = "printf '\\377\\373\\220\\0' >";

class JobTest : public ::testing::Test {
protected:
    JobTest()
    {
        fs::create_directories(tools.tempDir);
        writeFile(dir / "in.wav", "RIFF");
        writeFile(dir / "clip.mp3", "ID3");
        // The encoder: a loudness meter tells a true peak of $D/peak (else -12.0 dBTP); a "*slow"
        // input ($3) of a minute decodes until stopped; else it writes a frame into an .mp3 output and
        // one second of silence at 8000 Hz on its output.
        standIn(
            "ffmpeg",
            "case \"$*\" in *ebur128*) printf 'Summary:\\n\\n  Integrated loudness:\\n    I: -9.6 LUFS\\n"
            "  True peak:\\n    Peak: %s dBFS\\n' \"$(cat \"$D/peak\" 2>/dev/null || echo -12.0)\" >&2; exit;; esac\n"
            "case \"$3\" in *slow) echo '  Duration: 00:01:00.00, start: 0' >&2; echo $$ > \"$D/pid\"; "
            "while :; do head -c 1000 /dev/zero; sleep 0.01; done;; esac\nfor last; do :; done\n"
            "case \"$last\" in *.mp3) " +
                kWriteFrame + " \"$last\";; esac\nhead -c 16000 /dev/zero\n");
    }
    // A tool in res/ that records each run's arguments in $D/call1, call2, ...; $D is
    // the test's folder, and "await NAME" waits for the file $D/NAME.
    void standIn(const std::string& name, const std::string& body)
    {
        writeScript(
            tools.resDir / name,
            "D='" + dir.path().string() +
                "'\nawait() { n=0; while [ ! -e \"$D/$1\" ] && [ $((n+=1)) -lt 3000 ]; do sleep 0.01; done; }\nn=1\n"
                "while [ -e \"$D/call$n\" ]; do n=$((n+1)); done\n"
                "printf '%s\\0' \"$0\" \"$@\" > \"$D/call$n\"\n" +
                body);
    }
    // The runs recorded so far, forgotten once read.
    Calls takeCalls() const
    {
        Calls all;
        for (fs::path call; fs::exists(call = dir / ("call" + std::to_string(all.size() + 1)));) {
            all.push_back(readArgs(call));
            fs::remove(call);
        }
        return all;
    }
    // A job's end value: the first one at or above firstEnd.
    static std::int32_t end(const StatusSlot& status, std::int32_t firstEnd = 100)
    {
        EXPECT_TRUE(waitUntil([&] { return status.value() >= firstEnd; }, std::chrono::minutes(2)));
        return status.value();
    }

    TempDir dir;
    // Nothing on the search path: only the stand-ins in res/ are found.
    ToolPaths tools{dir / "res", dir / "res/tmp", ":" + (dir / "bin").string()};
    SharedJobFields fields = std::make_shared<JobFields>();
};

TEST_F(JobTest, EncoderGetsTheExactArgumentVectors)
{
    // Relative, in the working folder: it gets "./" so that it cannot be read as an option.
    const std::string ff = (tools.resDir / "ffmpeg").string(), path = "-i 'q' \"d\" $HOME; x ♪", arg = "./" + path;
    for (const char* extension : {".m4a", ".wav"})
        writeFile(path + extension, "RIFF");
    const auto transcoded = [&](bool started) { return started && end(fields->tsStatus, 1) == kTranscodeDone; };
    EXPECT_TRUE(transcoded(startTranscode(fields, tools, path + ".wav", path + ".mp3")));
    EXPECT_TRUE(
        transcoded(startTranscodeClip(fields, tools, path + ".m4a", path + ".mp3", {1234567, 20000, 2000, 500})));
    EXPECT_TRUE(transcoded(startTranscodeClip(fields, tools, path + ".wav", path + ".mp3", {0, 1001, 0})));
    ASSERT_TRUE(startWaveform(fields, tools, path + ".flac", 16));
    EXPECT_EQ(end(fields->wfStatus), kWaveformDone);
    EXPECT_EQ(waveformResponse(*fields), kSilence);
    for (const char* extension : {".m4a", ".wav", ".mp3"})
        fs::remove(path + extension);
    const Calls expected{{ff, "-i", arg + ".wav", "-ab", "64k", "-ar", "44100", "-ac", "2", "-y", arg + ".mp3"},
                         {ff, "-ss", "1234.567", "-t", "19.957", "-i", arg + ".m4a", "-af",
                          "afade=t=in:st=0:d=2.000,afade=t=out:st=19.457:d=0.500", "-ab", "64k", "-ar", "44100", "-ac",
                          "2", "-y", arg + ".mp3"},
                         {ff, "-ss", "0.000", "-t", "0.966", "-i", arg + ".wav", "-ab", "64k", "-ar", "44100", "-ac",
                          "2", "-y", arg + ".mp3"},
                         {ff, "-nostdin", "-i", arg + ".flac", "-vn", "-ac", "1", "-ar", "8000", "-f", "s16le",
                          "-acodec", "pcm_s16le", "pipe:1"}};
    // The encoder writes through a link of a private folder, named as the output.
    Calls calls = takeCalls();
    for (std::size_t i = 0; i < 3 && i < calls.size(); ++i)
        if (calls[i].back().starts_with(fs::temp_directory_path().string() + "/quillon-"))
            calls[i].back() = "./" + fs::path(calls[i].back()).filename().string();
    EXPECT_EQ(calls, expected);
}

TEST_F(JobTest, TranscodeFailureTellsItsReasonAndNeverHarmsTheInput)
{
    // A socket exists but cannot be opened, even by the superuser.
    const fs::path socketPath = dir / "in.sock";
    quillon::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_hard_link(dir / "in.wav", dir / "linked.mp3");
    fs::create_symlink(dir / "clip.mp3", dir / "symlink.mp3");
    writeFile(dir / "victim", "mine");
    // The encoder's tag and its summary frame ("Info"), and no sound: a part past the song's end.
    writeFile(dir / "silent.mp3", std::string("ID3\4\0\0\0\0\0\0\xFF\xFB\x50\0", 14) + std::string(32, '\0') + "Info" +
                                      std::string(168, '\0'));
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.mp3").string();
    // encoder: the stand-in's body, "" for none; reason: "" when done.
    const std::tuple<std::string, std::string, std::string, std::string, std::size_t> cases[] = {
        {in, out, kWriteFrame + " \"$D/out.mp3\"\n", "", 1},
        {(dir / "gone.wav").string(), out, "exit 0\n", "missing", 0},
        {(dir / "in.wav/x").string(), out, "exit 0\n", "missing", 0},
        {socketPath.string(), out, "exit 0\n", "unreadable", 0},
        {in, (dir / "linked.mp3").string(), "echo > \"$D/linked.mp3\"\n", "same-file", 0},
        {in, (dir / "symlink.mp3").string(), "echo > \"$D/symlink.mp3\"\n", "unwritable", 0},
        {in, "/dev/null", "exit 0\n", "unwritable", 0},
        {in, (dir / "gone/out.mp3").string(), "exit 0\n", "no-folder", 0},
        {in, "/sys/out.mp3", "exit 1\n", "unwritable", 0},  // a folder no one may write in, not even root
        // Swapped for a link once checked, the output takes nothing through it: the encoder writes what was checked.
        {in, out, "ln -sf \"$D/victim\" \"$D/out.mp3\"\nfor last; do :; done\n" + kWriteFrame + " \"$last\"\n",
         "no-output", 1},
        {in, out, "cp \"$D/silent.mp3\" \"$D/out.mp3\"\n", "no-output", 1},
        {in, out, kWriteFrame + " \"$D/out.mp3\"\nkill -9 $$\n", "killed", 1},
        {in, out, "exit 0\n", "no-output", 1},
        {in, out, ": > \"$D/out.mp3\"\n", "no-output", 1},
        {in, out, "echo mp3 > \"$D/out.mp3\"\nexit 1\n", "damaged", 1},
        {in, out, "", "no-encoder", 0},
    };
    for (const bool part : {false, true})  // the clip of a part runs the same job
        for (const auto& [input, output, encoder, reason, runs] : cases) {
            fs::remove(dir / "out.mp3");
            fs::remove(tools.resDir / "ffmpeg");
            if (!encoder.empty())
                standIn("ffmpeg", encoder);
            ASSERT_TRUE(part ? startTranscodeClip(fields, tools, input, output, {0, 20000, 0})
                             : startTranscode(fields, tools, input, output));
            EXPECT_EQ(end(fields->tsStatus, 1), reason.empty() ? kTranscodeDone : kTranscodeFailed) << encoder;
            EXPECT_EQ(transcodeReason(*fields), reason) << input << " " << encoder;
            EXPECT_EQ(takeCalls().size(), runs) << input << " " << encoder;
            EXPECT_EQ(readFile(dir / "in.wav"), "RIFF");
            EXPECT_EQ(readFile(dir / "clip.mp3") + readFile(dir / "victim"), "ID3mine");
            // What is no clip is not left behind.
            EXPECT_EQ(fs::exists(dir / "out.mp3"), reason.empty() || reason == "damaged") << encoder;
        }
    // A full disk is told by the room left, which a stand-in cannot take away; what it
    // leaves is removed.
    const std::pair<EncoderEnd, TranscodeReason> judged[] = {
        {{0, 1000, 0}, TranscodeReason::None},
        {{0, 0, kRoomForAClip}, TranscodeReason::NoOutput},
        {{0, 1000, kRoomForAClip, false}, TranscodeReason::NoOutput},
        {{0, 0, kRoomForAClip - 1}, TranscodeReason::DiskFull},
        {{1, 1000, 4096}, TranscodeReason::DiskFull},
        {{1, 1000, kRoomForAClip}, TranscodeReason::Damaged},
        {{255, 1000, kRoomForAClip}, TranscodeReason::Killed}};
    for (const auto& [encoderEnd, reason] : judged) {
        writeFile(dir / "left.mp3", "");
        EXPECT_EQ(reasonText(settleEncoderEnd(encoderEnd, (dir / "left.mp3").string())), reasonText(reason));
        EXPECT_EQ(fs::exists(dir / "left.mp3"), reason == TranscodeReason::None || reason == TranscodeReason::Damaged)
            << encoderEnd.exitStatus;
    }
}

// Earlier results in the temp folder are gone before the encoder runs, its wave
// files after; its own output always stays, and only the exit code decides.
TEST_F(JobTest, TranscodeCleansTheTempFolderBeforeAndAfterAndABreakRemovesItsPartialOutput)
{
    for (const auto& [exitCode, output] : {std::pair{0, "out.mp3"}, {3, "out.mp3"}, {0, "result.WAV"}}) {
        for (const char* name : {"old.mp3", "OLD2.MP3", "in.Mp3", "out.mp3", "a.wav", "B.WAV", "notes.txt"})
            writeFile(tools.tempDir / name, "x");
        standIn("ffmpeg", "LC_ALL=C ls -A \"$D/res/tmp\" | tr '\\n' ' ' > \"$D/listing\"\n" + kWriteFrame +
                              " \"$D/res/tmp/" + std::string(output) + "\"\nexit " + std::to_string(exitCode) + "\n");
        ASSERT_TRUE(
            startTranscode(fields, tools, (tools.tempDir / "in.Mp3").string(), (tools.tempDir / output).string()));
        EXPECT_EQ(end(fields->tsStatus, 1), exitCode ? kTranscodeFailed : kTranscodeDone);
        // The output, opened for the encoder, is there while it runs.
        EXPECT_EQ(readFile(dir / "listing"), "B.WAV a.wav in.Mp3 notes.txt " + std::string(output) + " ");
        EXPECT_TRUE(waitUntil([&, output = output] {
            std::set<std::string> left;
            for (const auto& entry : fs::directory_iterator(tools.tempDir))
                left.insert(entry.path().filename().string());
            return left == std::set<std::string>{"in.Mp3", "notes.txt", output};
        })) << output;
        fs::remove_all(tools.tempDir);
        fs::create_directories(tools.tempDir);
    }

    // It writes part of a clip, then nothing at all, as on a named pipe: a break stops
    // it, and so does a newer start, which takes what it is making.
    standIn("ffmpeg", "[ \"$2\" = \"$D/in.wav\" ] || exit 0\necho part > \"$D/res/tmp/out.mp3\"\necho $$ > "
                      "\"$D/pid\"\nexec sleep 60\n");
    for (const char* reason : {"", "no-output"}) {
        fs::remove(dir / "pid");
        ASSERT_TRUE(startTranscode(fields, tools, (dir / "in.wav").string(), (tools.tempDir / "out.mp3").string()));
        ASSERT_TRUE(waitUntil([&] { return readPid(dir / "pid") != 0; }));
        EXPECT_EQ(procStat(readPid(dir / "pid"))->parent, getpid());
        if (*reason)
            ASSERT_TRUE(
                startTranscode(fields, tools, (dir / "clip.mp3").string(), (tools.tempDir / "next.mp3").string()));
        else
            fields->requestBreak();
        EXPECT_EQ(end(fields->tsStatus, 1), kTranscodeFailed);
        EXPECT_EQ(transcodeReason(*fields), reason);
        EXPECT_TRUE(waitUntil([&] { return isGone(readPid(dir / "pid")); })) << reason;
        EXPECT_FALSE(fs::exists(tools.tempDir / "out.mp3")) << reason;
    }
    // A clip the encoder finished before the break is kept.
    standIn("ffmpeg", "exec >/dev/null\n" + kWriteFrame + " \"$D/out.mp3\"\n: > \"$D/written\"\nawait go\n");
    ASSERT_TRUE(startTranscode(fields, tools, (dir / "in.wav").string(), (dir / "out.mp3").string()));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(dir / "written"); }));
    fields->requestBreak();
    writeFile(dir / "go", "");
    EXPECT_EQ(end(fields->tsStatus, 1), kTranscodeDone);
    EXPECT_TRUE(fs::exists(dir / "out.mp3"));
}

// A newer transcode, or gain run, starts its tool only once the older one's has gone, and one overtaken before
// its turn runs none.
TEST_F(JobTest, TranscodesAndGainRunsTakeTurnsOnTheirOutput)
{
    // Each run notes whether the one before it (its pid in $D/pid) is still there; a "slow" one waits to be stopped.
    const std::string body = "[ -e \"$D/pid\" ] && kill -0 \"$(cat \"$D/pid\")\" 2>/dev/null && : > \"$D/overlap\"\n"
                             "case \"$*\" in *slow*) echo $$ > \"$D/pid\"; exec sleep 60;; esac\n";
    standIn("ffmpeg", body);
    standIn("mp3gain", body);
    writeFile(dir / "slow.mp3", "ID3");
    const std::tuple<std::function<bool(const std::string&)>, StatusSlot JobFields::*, TurnLane*> kinds[] = {
        {[&](const std::string& in) { return startTranscode(fields, tools, in, (dir / "out.mp3").string()); },
         &JobFields::tsStatus, &fields->transcodeLane},
        {[&](const std::string& in) { return startNormalize(fields, tools, in); }, &JobFields::norStatus,
         &fields->normalizeLane}};
    for (const auto& [start, status, lane] : kinds) {
        fs::remove(dir / "pid");
        ASSERT_TRUE(start((dir / "slow.mp3").string()));
        ASSERT_TRUE(waitUntil([&] { return fs::exists(dir / "pid"); }));
        ASSERT_TRUE(start((dir / "clip.mp3").string()));
        EXPECT_GE(end(*fields.*status, 1), 1);
        takeCalls();
        {
            const JobTicket older(fields, status);  // an older job, slow to give up its turn
            const JobTurn turn(older, *lane);
            ASSERT_TRUE(start((dir / "in.wav").string()));
            ASSERT_TRUE(start((dir / "clip.mp3").string()));
        }
        EXPECT_GE(end(*fields.*status, 1), 1);
        for (const auto& call : takeCalls())
            EXPECT_EQ(std::ranges::count(call, (dir / "in.wav").string()), 0);
    }
    EXPECT_FALSE(fs::exists(dir / "overlap"));
}

TEST_F(JobTest, NormalizeRunsThreeStepsShowingEachAndStopsAtAFailingOne)
{
    standIn("mp3gain", "case \"$1\" in /s) await go1;; /r) await go2;; /g) await go3;; esac\n");
    fs::create_directory(dir / "bin");  // found on the search path this time
    fs::rename(tools.resDir / "mp3gain", dir / "bin/mp3gain");
    const std::string file = (dir / "my 'clip' \"x\" $PATH; ♪.mp3").string(), tool = (dir / "bin/mp3gain").string();
    writeFile(file, "ID3");
    ASSERT_TRUE(startNormalize(fields, tools, file));
    for (const auto& [gate, status] :
         {std::pair{"go1", kNormalizeRemovingTags}, {"go2", kNormalizeLeveling}, {"go3", kNormalizeRaising}}) {
        EXPECT_TRUE(waitUntil([&, status = status] { return fields->norStatus.value() == status; })) << gate;
        writeFile(dir / gate, "");
    }
    EXPECT_EQ(end(fields->norStatus), kNormalizeDone);
    const Calls meter{loudnessArguments(tools.resDir / "ffmpeg", file)};
    EXPECT_EQ(takeCalls(),
              (Calls{{tool, "/s", "d", file}, {tool, "/r", file}, meter[0], {tool, "/g", "4", file}, meter[0]}));
    EXPECT_EQ(normalizedLoudness(*fields), "-10");
    // The last step raises only as far as the levelled clip's true peak leaves room under -1 dBTP,
    // of which the meter prints tenths; not at all when the meter tells nothing.
    const std::pair<const char*, const char*> raises[] = {{"-3.0", "1"}, {"-7.1", "4"}, {"-7.0", "3"}, {"-0.5", "0"},
                                                          {"2.0", "0"},  {"-inf", "4"}, {"N/A", "0"}};
    for (const auto& [peak, raise] : raises) {
        writeFile(dir / "peak", peak);
        ASSERT_TRUE(startNormalize(fields, tools, file));
        EXPECT_EQ(end(fields->norStatus), kNormalizeDone);
        EXPECT_EQ(takeCalls()[3], (std::vector<std::string>{tool, "/g", raise, file})) << peak;
        EXPECT_EQ(normalizedLoudness(*fields), *peak == 'N' ? "" : "-10") << peak;
    }

    // A step fails on a non-zero exit or on a file it left empty (a full disk);
    // anything but a non-empty regular file we may write fails before the tool runs.
    fs::create_symlink(dir / "clip.mp3", dir / "link.mp3");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    writeFile(dir / "empty.mp3", "");
    const std::tuple<std::string, std::string, std::int32_t, std::size_t> cases[] = {
        {"-clip.mp3", "/s ] && exit 1", kNormalizeRemovingTagsFailed, 1},  // relative: in the working folder
        {"-clip.mp3", "/r ] && exit 1", kNormalizeLevelingFailed, 2},
        {"-clip.mp3", "/g ] && exit 255", kNormalizeRaisingFailed, 4},
        {"-clip.mp3", "/r ] && : > \"$2\"", kNormalizeLevelingFailed, 2},
        {(dir / "link.mp3").string(), "", kNormalizeRemovingTagsFailed, 0},
        {(dir / "pipe.mp3").string(), "", kNormalizeRemovingTagsFailed, 0},
        {(dir / "empty.mp3").string(), "", kNormalizeRemovingTagsFailed, 0},
        {(dir / "gone.mp3").string(), "", kNormalizeRemovingTagsFailed, 0}};
    for (const auto& [path, step, status, runs] : cases) {
        writeFile("-clip.mp3", "ID3");
        standIn("mp3gain", "[ \"$1\" = " + (step.empty() ? "x ]" : step) + "\nexit 0\n");
        ASSERT_TRUE(startNormalize(fields, tools, path));
        EXPECT_EQ(end(fields->norStatus), status) << path << step;
        EXPECT_EQ(normalizedLoudness(*fields), "");
        const Calls calls = takeCalls();
        EXPECT_EQ(calls.size(), runs) << path << step;
        if (!calls.empty()) {
            EXPECT_EQ(calls.back().back(), path.starts_with("/") ? path : "./" + path);
        }
    }
    fs::remove("-clip.mp3");
    EXPECT_EQ(readFile(dir / "clip.mp3"), "ID3");
}

TEST(WaveformAnalysis, MeasuresDurationPeaksAndTheLoudestHalfMinute)
{
    constexpr std::int64_t kRate = WaveformAnalysis::kSampleRate, kTenMinutes = 600 * kRate;
    // Half scale from second `from` to second `to`, else nearly silent.
    const auto loud = [](std::int64_t from, std::int64_t to) {
        return [=](std::int64_t i) { return (i % 2 ? 1 : -1) * (i >= from && i < to ? 16384 : 100); };
    };
    // Samples, each one's value, points, and the summary: duration, suggested starts (each the middle of the
    // quietest 10 ms near where its part begins, the liveliest first), each slice's peak. Parts of a
    // song of 30 s or less begin at 0 and stay there.
    using Starts = std::vector<std::int64_t>;
    const auto loudMiddle = loud(40 * kRate, 70 * kRate);
    const auto ramp = [](std::int64_t i) { return static_cast<int>(i * 16 / 12345 + 1) * -1000; };
    const auto spike = [](std::int64_t i) { return i == kTenMinutes * 1000 / 4096 + 586 ? 32767 : 0; };
    const std::tuple<std::int64_t, std::function<int(std::int64_t)>, int, std::int64_t, Starts, std::function<int(int)>>
        cases[] = {
            {5 * kRate, [](auto i) { return i % 2 ? 32767 : -32768; }, 16, 5000, {0}, [](int) { return 100; }},
            // Too short for a third part beside the first two.
            {90 * kRate, loudMiddle, 90, 90000, {39995, 5}, [](int s) { return s >= 40 && s < 70 ? 50 : 0; }},
            {30 * kRate, loud(29 * kRate, 30 * kRate), 30, 30000, {0}, [](int s) { return s == 29 ? 50 : 0; }},
            {30 * kRate + 800, loud(29 * kRate, 31 * kRate), 301, 30100, {95}, [](int s) { return s >= 290 ? 50 : 0; }},
            {12345, ramp, 16, 1543, {0}, [](int s) { return ((s + 1) * 100000 + 16384) / 32768; }},
            // The peak groups fold; a spike mid-slice stays in its slice and its window. The second part
            // cannot move off 0 without touching the third.
            {kTenMinutes, spike, 4096, 600000, {116595, 0, 30005}, [](int s) { return s == 1000 ? 100 : 0; }},
            {5, [](auto) { return 32767; }, 16, 1, {0}, [](int s) { return s % 3 == 0 && s <= 12 ? 100 : 0; }},
        };
    for (const auto& [samples, sample, points, durationMs, startMs, peak] : cases) {
        std::string bytes;
        for (std::int64_t i = 0; i < samples; ++i)
            bytes += {static_cast<char>(sample(i) & 0xff), static_cast<char>((sample(i) >> 8) & 0xff)};
        WaveformAnalysis analysis(points);
        // Blocks of odd sizes split samples between them.
        for (std::size_t at = 0, size = 1; at < bytes.size(); at += size, size = size * 3 % 40009)
            analysis.feed(std::string_view(bytes).substr(at, size));
        const WaveformSummary summary = analysis.finish();
        std::vector<int> peaks;
        for (int s = 0; s < points; ++s)
            peaks.push_back(peak(s));
        EXPECT_EQ(std::tie(summary.durationMs, summary.suggestedStartsMs, summary.peaks),
                  std::tie(durationMs, startMs, peaks))
            << samples;
        // One level per 10 ms begun, up to ten minutes.
        EXPECT_EQ(std::pair(summary.fineStepMs, summary.fine.size()),
                  std::pair(std::int64_t{10}, std::size_t(samples + 79) / 80));
    }
}

// PCM bytes at 8000 Hz of amplitude(t) times a 220 Hz tone, t in seconds.
std::string generatedSong(double seconds, const std::function<double(double)>& amplitude)
{
    std::string bytes;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(seconds * WaveformAnalysis::kSampleRate); ++i) {
        const double t = static_cast<double>(i) / WaveformAnalysis::kSampleRate;
        const auto sample = static_cast<std::int16_t>(32767 * amplitude(t) * std::sin(2 * M_PI * 220 * t));
        bytes += {static_cast<char>(sample & 0xff), static_cast<char>((sample >> 8) & 0xff)};
    }
    return bytes;
}

TEST(WaveformAnalysis, SuggestsTheLiveliestPartThenAChorusAndSnapsEdgesIntoQuiet)
{
    // Intro, chorus, a solo louder than it, chorus, verse, a louder bridge, chorus, outro: from second,
    // level, and a beat of its own, so that each chorus matches the others only from its start. The
    // liveliest half minute beside the bridge would start in the first chorus, 10 s late.
    const std::tuple<double, double, double> sections[] = {{0, 0.03, 0},    {10, 0.5, 0.9}, {30, 0.65, 0.7},
                                                           {50, 0.5, 0.9},  {70, 0.2, 0.6}, {90, 0.9, 1.3},
                                                           {110, 0.5, 0.9}, {130, 0.03, 0}};
    WaveformAnalysis song(1024);
    song.feed(generatedSong(140, [&](double t) {
        const auto [from, level, beat] = *std::prev(
            std::ranges::upper_bound(sections, t, {}, [](const auto& section) { return std::get<0>(section); }));
        return level * (0.7 + 0.3 * std::sin(2 * M_PI * beat * (t - from)));
    }));
    const std::vector<std::int64_t> starts = song.finish().suggestedStartsMs;
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_NEAR(starts[0], 90000, 500);  // the bridge, then a chorus clear of it
    EXPECT_LE(std::min(std::abs(starts[1] - 10000), std::abs(starts[1] - 50000)), 500) << starts[1];
    EXPECT_GE(std::min({std::abs(starts[2] - starts[0]), std::abs(starts[2] - starts[1])}), 30000);

    // A tone with 50 ms of silence at 40 s: an edge put at 40.1 s lands in it.
    WaveformAnalysis gap(16);
    gap.feed(generatedSong(60, [](double t) { return t >= 40 && t < 40.05 ? 0 : 0.5; }));
    const std::int64_t snapped = gap.quietPointMs(40100, 0, 60000);
    EXPECT_TRUE(snapped >= 40000 && snapped < 40050) << snapped;
}

TEST_F(JobTest, WaveformRefusesBadArgumentsAndTellsAnUnreadableSong)
{
    for (int points : {15, 4097, 0})
        EXPECT_FALSE(startWaveform(fields, tools, "y.wav", points)) << points;
    for (const ClipPart& part : std::vector<ClipPart>{
             {-1, 20000}, {0, 999}, {0, 60001}, {0, 20000, -1}, {0, 20000, 0, 5001}, {0, 1001, 501, 501}})
        EXPECT_FALSE(startTranscodeClip(fields, tools, "in.wav", "out.mp3", part)) << part.lengthMs;
    EXPECT_EQ(fields->wfStatus.generation() + fields->tsStatus.generation(), 0u);
    // The decoder fails after a silence, writes nothing, fails after some output, or is not there.
    for (const char* decoder : {"sleep 0.1; exit 1\n", "exit 0\n", "head -c 16000 /dev/zero; exit 3\n", ""}) {
        fs::remove(tools.resDir / "ffmpeg");
        if (*decoder)
            standIn("ffmpeg", decoder);
        ASSERT_TRUE(startWaveform(fields, tools, "x.wav", 16));
        EXPECT_EQ(end(fields->wfStatus), kWaveformUnreadable) << decoder;
        EXPECT_EQ(waveformResponse(*fields), "") << decoder;
    }
    EXPECT_EQ(takeCalls().size(), 3u);
}

TEST_F(JobTest, BreakCloseAndNewerStartEachStopTheDecoder)
{
    const std::tuple<const char*, std::function<void()>, std::int32_t> stops[] = {
        {"break", [&] { fields->requestBreak(); }, kWaveformBroken},
        {"break, then another job starts",
         [&] {
             fields->requestBreak();
             ASSERT_TRUE(startNormalize(fields, tools, "none.mp3"));
         },
         kWaveformBroken},
        {"window closed", [&] { EXPECT_TRUE(waitUntil([&] { return terminateWaveformEncoder(*fields) == 1; })); },
         kWaveformUnreadable},
        {"newer start", [&] { ASSERT_TRUE(startWaveform(fields, tools, "quick.wav", 16)); }, kWaveformDone},
    };
    for (const auto& [name, stop, status] : stops) {
        fs::remove(dir / "pid");
        ASSERT_TRUE(startWaveform(fields, tools, "song.slow", 16));
        ASSERT_TRUE(waitUntil([&] { return readPid(dir / "pid") != 0; }));
        EXPECT_EQ(fields->wfStatus.value(), kWaveformRunning);
        // While it reads, the page sees the minute the decoder announced, no parts yet, and the
        // slices and levels read so far.
        EXPECT_TRUE(waitUntil([&] {
            const std::string read = waveformResponse(*fields);
            return read.starts_with("60000::::::0,0") && read.find(":::10:::0,0,0") != std::string::npos;
        })) << waveformResponse(*fields).substr(0, 40);
        stop();
        EXPECT_EQ(end(fields->wfStatus), status) << name;
        EXPECT_TRUE(waitUntil([&] { return isGone(readPid(dir / "pid")); })) << name;
        EXPECT_FALSE(hasZombieChild()) << name;
        EXPECT_EQ(terminateWaveformEncoder(*fields), 0) << name;  // a collected one is never signalled
    }
    EXPECT_EQ(waveformResponse(*fields), kSilence);
}

// The real encoder and gain tool, from the search path.
TEST_F(JobTest, ClipsKeepTheirFadesAndLevellingNeverClipsWithTheRealTools)
{
    fs::remove(tools.resDir / "ffmpeg");
    tools.searchPath = ToolPaths::forResDir(tools.resDir).searchPath;
    const auto ffmpeg = locateTool(tools, "ffmpeg");
    if (!ffmpeg || !locateTool(tools, "mp3gain"))
        GTEST_SKIP() << "needs ffmpeg and mp3gain";
    const auto make = [&](const std::string& source, const std::string& out) {
        const std::vector<std::string> argv{
            ffmpeg->string(), "-v", "error", "-f", "lavfi", "-i", source, "-ac", "2", "-y", (dir / out).string()};
        EXPECT_EQ(runTool(argv, [] { return false; }).exitStatus, 0u) << source;
    };
    // The level in dB of a span of the clip, decoded to mono at 44100 Hz.
    std::vector<double> pcm;
    const auto level = [&](std::int64_t fromMs, std::int64_t toMs) {
        double sum = 0;
        for (std::int64_t i = fromMs * 441 / 10; i < toMs * 441 / 10; ++i)
            sum += pcm.at(static_cast<std::size_t>(i)) * pcm.at(static_cast<std::size_t>(i));
        const std::int64_t samples = (toMs - fromMs) * 441 / 10;
        return 10 * std::log10(sum / static_cast<double>(samples) + 1e-12);
    };
    make("sine=f=440:d=20", "tone.wav");
    ASSERT_TRUE(startTranscodeClip(fields, tools, (dir / "tone.wav").string(), (dir / "tone.mp3").string(),
                                   {5000, 10000, 2000, 500}));
    ASSERT_EQ(end(fields->tsStatus, 1), kTranscodeDone);
    const ToolOutcome decoded = streamTool(
        {ffmpeg->string(), "-v", "error", "-i", (dir / "tone.mp3").string(), "-ac", "1", "-f", "f32le", "-"},
        [] { return false; }, {},
        [&, pending = std::string()](std::string_view bytes) mutable {
            pending += bytes;
            for (; pending.size() >= 4; pending.erase(0, 4))
                pcm.push_back(*reinterpret_cast<const float*>(pending.data()));
        });
    ASSERT_EQ(decoded.exitStatus, 0u);
    const double middle = level(4000, 6000);
    const auto lastMs = static_cast<std::int64_t>(pcm.size()) * 10 / 441;
    EXPECT_LE(level(0, 50), middle - 20);
    EXPECT_NEAR(level(975, 1025), middle - 6, 2);
    EXPECT_LE(level(lastMs - 50, lastMs), middle - 20);

    // A dense song limited to near full scale: the raising step stops short of clipping.
    make("anoisesrc=d=40:c=pink:a=0.7:seed=7[n];sine=f=110:d=40[b];sine=f=1760:d=40[h];[n][b][h]amix=inputs=3:"
         "normalize=0,acompressor=threshold=0.1:ratio=20:makeup=8,alimiter=limit=0.98",
         "loud.wav");
    const std::string clip = (dir / "loud.mp3").string();
    ASSERT_TRUE(startTranscodeClip(fields, tools, (dir / "loud.wav").string(), clip, {5000, 30000, 1000, 1000}));
    ASSERT_EQ(end(fields->tsStatus, 1), kTranscodeDone);
    ASSERT_TRUE(startNormalize(fields, tools, clip));
    ASSERT_EQ(end(fields->norStatus), kNormalizeDone);
    const std::optional<Loudness> levelled = measureLoudness(tools, clip, [] { return false; });
    ASSERT_TRUE(levelled);
    EXPECT_LE(levelled->truePeakDbtp, -1.0);
    EXPECT_EQ(normalizedLoudness(*fields), std::to_string(std::lround(levelled->integratedLufs)));
}

TEST_F(JobTest, RunToolPassesTheArgumentsAsTheyStandReportsTheExitCodeAndHonoursABreak)
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

TEST_F(JobTest, TheStopAtExitOrABreakEndsEveryKindWhateverStartsNextAndLeavesNoTool)
{
    StalledService service;
    // The encoder keeps writing, so a break leaves it to finish by itself; the gain
    // tool is silent, so only a kill ends it. The waveform is read at once.
    standIn("ffmpeg", "[ \"$1\" = -nostdin ] && exec head -c 16000 /dev/zero\necho $$ > \"$D/ffmpeg.pid\"\n"
                      "while :; do echo frame; sleep 0.05; done\n");
    standIn("mp3gain", "echo $$ > \"$D/mp3gain.pid\"\nexec sleep 300\n");
    writeFile(dir / "big.mp3", std::string(16 << 20, 'x'));
    const auto host = quillon::service_endpoint::parseServiceHost(service.authority());
    ASSERT_TRUE(host);
    const auto ends = [&] {
        return std::tuple(fields->tsStatus.value(), fields->norStatus.value(), fields->upStatus.value(),
                          fields->xhStatus.value(), fields->xhResponse.get());
    };
    for (const bool atExit : {true, false}) {
        for (const char* tool : {"ffmpeg.pid", "mp3gain.pid"})
            fs::remove(dir / tool);
        ASSERT_TRUE(startTranscode(fields, tools, (dir / "in.wav").string(), (tools.tempDir / "out.mp3").string()));
        ASSERT_TRUE(startNormalize(fields, tools, (dir / "clip.mp3").string()));
        ASSERT_TRUE(startUpload(fields, *host, (dir / "big.mp3").string(), "sid"));
        ASSERT_TRUE(startHttpRequest(fields, "http://" + service.authority() + "/x", {}));
        ASSERT_TRUE(waitUntil([&] {
            return readPid(dir / "ffmpeg.pid") && readPid(dir / "mp3gain.pid") && fields->upStatus.value() > 0;
        }));
        if (atExit) {
            EXPECT_TRUE(stopJobs(*fields, 10s));
        } else {
            // "Use it instead": the break, and at once the next song's waveform.
            fields->requestBreak();
            ASSERT_TRUE(startWaveform(fields, tools, "next.wav", 16));
            EXPECT_EQ(end(fields->wfStatus), kWaveformDone);
        }
        const auto broken = std::tuple(kTranscodeFailed, kNormalizeRemovingTagsFailed, kUploadFailed, 1, std::string());
        waitUntil([&] { return ends() == broken; }, 10s);
        EXPECT_EQ(ends(), broken) << atExit;
        for (const char* tool : {"ffmpeg.pid", "mp3gain.pid"})
            EXPECT_TRUE(waitUntil([&] { return isGone(readPid(dir / tool)); }, 2s)) << tool << atExit;
    }
}

TEST(JobFields, AResultOfAStartCutOffNeverLands)
{
    JobFields fields;
    const std::uint32_t older = fields.wfStatus.restart(), newer = fields.wfStatus.restart();
    EXPECT_TRUE(fields.wfResponse.set(fields.wfStatus, newer, "new"));
    EXPECT_FALSE(fields.wfResponse.set(fields.wfStatus, older, "old"));
    ASSERT_TRUE(fields.wfStatus.store(newer, kWaveformDone));
    EXPECT_EQ(waveformResponse(fields), "new");
}

// The last resort is a folder of the copy's own in the system's temporary folder, removed at its end.
TEST(TempFolder, IsResTmpWhenWritableElseAPrivateCacheFolderNeverThroughALink)
{
    enum Setup { AppTmp, Nothing, OpenCacheFolder, CacheFolderIsALink, ForeignCacheFolder };
    // The folder used, relative to the test's folder; "": one of the system's temporary folder.
    const std::pair<Setup, std::string> cases[] = {{AppTmp, "app/res/tmp"},
                                                   {Nothing, "cache/quillon/tmp"},
                                                   {OpenCacheFolder, "cache/quillon/tmp"},
                                                   {CacheFolderIsALink, ""},
                                                   {ForeignCacheFolder, ""}};
    for (const auto& [setup, expected] : cases) {
        if (setup == ForeignCacheFolder && ::geteuid() != 0)
            GTEST_SKIP() << "giving a folder to another user takes root";
        TempDir dir;
        fs::create_directories(setup == AppTmp ? dir / "app/res/tmp" : dir / "cache/quillon");
        if (setup == OpenCacheFolder) {
            fs::create_directory(dir / "cache/quillon/tmp");
            fs::permissions(dir / "cache/quillon/tmp", fs::perms::all);
        }
        if (setup == CacheFolderIsALink)
            fs::create_directory_symlink(dir.path(), dir / "cache/quillon/tmp");
        if (setup == ForeignCacheFolder) {
            fs::permissions(dir / "cache/quillon", fs::perms::all);
            ASSERT_EQ(::chown((dir / "cache/quillon").c_str(), 4321, 4321), 0);
        }
        writeFile(dir / "song.mp3", "music");
        removeFilesByExtension(dir / "cache/quillon/tmp", ".mp3", {});
        EXPECT_EQ(readFile(dir / "song.mp3"), "music") << setup;
        fs::path used;
        struct stat info {};
        {
            const TempFolder folder(dir / "app/res/tmp", dir / "cache", dir.path());
            used = folder.path();
            ASSERT_EQ(::lstat(used.c_str(), &info), 0) << setup;
        }
        EXPECT_EQ(expected.empty() ? used.filename().string().substr(0, 8) : used.string(),
                  expected.empty() ? "quillon-" : (dir / expected).string());
        EXPECT_EQ(fs::exists(used), !expected.empty()) << setup;
        EXPECT_TRUE(S_ISDIR(info.st_mode) && (setup == AppTmp || (info.st_mode & 07777) == 0700)) << setup;
    }
}

TEST(TempFolder, ASecondCopyWorksInAFolderOfItsOwnThatOnlyItsEndRemoves)
{
    TempDir dir;
    const fs::path shared = dir / "res/tmp";
    fs::create_directories(shared / "copy-killed");  // left by a copy that was killed
    std::optional<TempFolder> first(std::in_place, shared, dir / "cache", dir.path());
    EXPECT_EQ(first->path(), shared);
    EXPECT_FALSE(fs::exists(shared / "copy-killed"));
    std::optional<TempFolder> second(std::in_place, shared, dir / "cache", dir.path());
    const fs::path own = second->path();
    EXPECT_EQ(own.parent_path(), shared);
    EXPECT_TRUE(own.filename().string().starts_with("copy-"));
    // The next copy to hold the shared folder sweeps it, but the second copy still runs.
    first.reset();
    const TempFolder third(shared, dir / "cache", dir.path());
    EXPECT_EQ(third.path(), shared);
    EXPECT_TRUE(fs::is_directory(own));
    second.reset();
    EXPECT_FALSE(fs::exists(own));
}

}  // namespace
