// The audio jobs (transcode, clip, normalize, waveform) against stand-in tools and, where there, the real ones.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <algorithm>
#include <functional>
#include <set>

#include "audio/encoder_end.h"
#include "audio/normalize_job.h"
#include "audio/transcode_job.h"
#include "audio/waveform_analysis.h"
#include "audio/waveform_job.h"
#include "jobs/job_turn.h"
#include "process/run_tool.h"
#include "tests/job_test_fixture.h"

using namespace quillon::audio;
using namespace quillon::base;
using namespace quillon::jobs;
using namespace quillon::process;
using namespace quillon::test;

namespace {

std::string zeros(int count) { return count > 1 ? "0," + zeros(count - 1) : "0"; }
// One second of silence read with 16 points: one part at 0, 16 peaks, 100 levels of 10 ms.
const std::string kSilence = "1000:::0:::" + zeros(16) + ":::10:::" + zeros(100) + ":::0";

TEST_F(JobTest, EncoderGetsTheExactArgumentVectors)
{
    // Relative, in the working folder: it gets "./" so that it cannot be read as an option.
    const std::string ff = (tools.resDir / "ffmpeg").string(), path = "-i 'q' \"d\" $HOME; x ♪", arg = "./" + path;
    writeFile(path + ".wav", "RIFF");
    ASSERT_TRUE(startTranscode(fields, tools, path + ".wav", path + ".mp3"));
    EXPECT_EQ(end(fields->tsStatus, 1), kTranscodeDone);
    // A part with fades, levelled by its gain alone; then a quiet part with high peaks, for which the limiter is tried
    // at rising gains, and used.
    ASSERT_TRUE(startTranscodeClip(fields, tools, path + ".wav", path + ".mp3", {1234567, 20000, 2000, 500}));
    EXPECT_EQ(end(fields->tsStatus, 1), kTranscodeDone);
    writeFile(dir / "lufs", "-30.0");
    writeFile(dir / "peak", "-3.0");
    ASSERT_TRUE(startTranscodeClip(fields, tools, path + ".wav", path + ".mp3", {0, 1001, 0}));
    EXPECT_EQ(end(fields->tsStatus, 1), kTranscodeDone);
    ASSERT_TRUE(startWaveform(fields, tools, path + ".flac", 16));
    EXPECT_EQ(end(fields->wfStatus), kWaveformDone);
    for (const char* extension : {".wav", ".mp3"})
        fs::remove(path + extension);
    Calls calls = takeCalls();
    ASSERT_EQ(calls.size(), 7u);
    // The encoder writes through a link of a private folder, named as the output.
    EXPECT_TRUE(calls[0].back().starts_with(fs::temp_directory_path().string() + "/quillon-")) << calls[0].back();
    calls[0].back() = fs::path(calls[0].back()).filename().string();
    EXPECT_EQ(calls[0], (std::vector<std::string>{ff, "-i", arg + ".wav", "-ab", "64k", "-ar", "44100", "-ac", "2",
                                                  "-y", path + ".mp3"}));
    EXPECT_EQ(calls[2].at(14), "afade=t=in:st=0:d=2.000,afade=t=out:st=19.457:d=0.500,volume=-2.10dB");
    // After the part's measure, the trial measures it at six gains up to the highest, each through the limiter.
    const std::string graph = calls[4].at(11);
    EXPECT_TRUE(graph.starts_with("[0:a:0]anull,asplit=6[t0]") &&
                graph.ends_with(";[t5]volume=30.00dB,alimiter=limit=0.7943:level=false:latency=true,"
                                "ebur128@tried5=framelog=verbose[out]"))
        << graph;
    // The trial told no loudness: the part is encoded at the gain alone, the limiter behind it at four times the rate.
    EXPECT_EQ(calls[5].at(14),
              "volume=18.30dB,aresample=176400,alimiter=limit=0.7943:level=false:latency=true,aresample=44100");
    EXPECT_EQ(calls[6],
              (std::vector<std::string>{ff, "-nostdin", "-i", arg + ".flac", "-vn", "-ac", "1", "-ar", "8000", "-f",
                                        "s16le", "-acodec", "pcm_s16le", "-flush_packets", "0", "pipe:1"}));
}

TEST_F(JobTest, ATranscodeFailureTellsItsReason)
{
    // A socket exists but cannot be opened, even by the superuser.
    const fs::path socketPath = dir / "in.sock";
    quillon::base::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
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
        {in, out,
         "ln -sf \"$D/victim\" \"$D/out.mp3\"\nfor last; do :; done\ncase $last in *.mp3) " + kWriteFrame +
             " \"$last\";; esac\n",
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
            // A part is measured before it is encoded.
            EXPECT_EQ(takeCalls().size(), runs + (part && runs > 0 ? 1 : 0)) << input << " " << encoder;
            EXPECT_EQ(readFile(dir / "in.wav"), "RIFF");
            EXPECT_EQ(readFile(dir / "clip.mp3") + readFile(dir / "victim"), "ID3mine");
            // What is no clip is not left behind.
            EXPECT_EQ(fs::exists(dir / "out.mp3"), reason.empty() || reason == "damaged") << encoder;
        }
    // A full disk is told by the room left, which a stand-in cannot take away; what it leaves is removed.
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

// Earlier results in the temp folder are gone before the encoder of a whole song runs, its wave files after; its own
// output always stays, and only the exit code decides. The clip of a part leaves the folder as it was.
TEST_F(JobTest, TranscodeLeavesNoStaleFileInTheTempFolder)
{
    struct Case {
        int exitCode;
        const char* output;
        bool part;
    };
    const std::string all = "B.WAV OLD2.MP3 a.wav in.Mp3 notes.txt old.mp3 out.mp3 ";
    for (const auto& [exitCode, output, part] :
         {Case{0, "out.mp3", false}, {3, "out.mp3", false}, {0, "result.WAV", false}, {0, "out.mp3", true}}) {
        for (const char* name : {"old.mp3", "OLD2.MP3", "in.Mp3", "out.mp3", "a.wav", "B.WAV", "notes.txt"})
            writeFile(tools.tempDir / name, "x");
        standIn("ffmpeg", "LC_ALL=C ls -A \"$D/res/tmp\" | tr '\\n' ' ' > \"$D/listing\"\n" + kWriteFrame +
                              " \"$D/res/tmp/" + std::string(output) + "\"\nexit " + std::to_string(exitCode) + "\n");
        const std::string input = (tools.tempDir / "in.Mp3").string(), out = (tools.tempDir / output).string();
        ASSERT_TRUE(part ? startTranscodeClip(fields, tools, input, out, {0, 20000, 0})
                         : startTranscode(fields, tools, input, out));
        EXPECT_EQ(end(fields->tsStatus, 1), exitCode ? kTranscodeFailed : kTranscodeDone);
        // The output, opened for the encoder, is there while it runs.
        EXPECT_EQ(readFile(dir / "listing"), part ? all : "B.WAV a.wav in.Mp3 notes.txt " + std::string(output) + " ");
        EXPECT_TRUE(waitUntil([&, output = output, part = part] {
            std::string left;
            for (const auto& entry : std::set<fs::path>(fs::directory_iterator(tools.tempDir), {}))
                left += entry.filename().string() + " ";
            return left == (part ? all : "in.Mp3 notes.txt " + std::string(output) + " ");
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
TEST_F(JobTest, JobsOfAKindTakeTurnsOnTheirOutput)
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

TEST_F(JobTest, NormalizeShowsEachOfItsThreeSteps)
{
    standIn("mp3gain", "case \"$*\" in *' d '*) await go1;; */r*) await go2; echo No changes to x are necessary;; "
                       "*/g*) await go3;; esac\n");
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
    // Measured on the samples: the gain tool's steps are what keep the peaks between them under the ceiling.
    const std::vector<std::string> meter{
        (tools.resDir / "ffmpeg").string(),     "-nostdin", "-hide_banner", "-nostats", "-i", file, "-af",
        "ebur128=peak=sample:framelog=verbose", "-f",       "null",         "-"};
    EXPECT_EQ(
        takeCalls(),
        (Calls{{tool, "/s", "d", file}, {tool, "/s", "s", "/r", file}, meter, {tool, "/s", "s", "/g", "-2", file}}));
    EXPECT_EQ(normalizedLoudness(*fields), "-13");  // -9.6 LUFS taken down two steps
    // A silent clip (a peak of -inf) is left where it is; so is one the meter tells nothing of, whose loudness
    // is not told.
    for (const auto& [lufs, peak, loudness] : {std::tuple{"-12.4", "-inf", "-12"}, {"N/A", "N/A", ""}}) {
        writeFile(dir / "lufs", lufs);
        writeFile(dir / "peak", peak);
        ASSERT_TRUE(startNormalize(fields, tools, file));
        EXPECT_EQ(end(fields->norStatus), kNormalizeDone);
        EXPECT_EQ(takeCalls().at(3), (std::vector<std::string>{tool, "/s", "s", "/g", "0", file})) << peak;
        EXPECT_EQ(normalizedLoudness(*fields), loudness) << lufs;
    }

    // A step fails on a non-zero exit or on a file it left empty (a full disk);
    // anything but a non-empty regular file we may write fails before the tool runs.
    fs::create_symlink(dir / "clip.mp3", dir / "link.mp3");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    writeFile(dir / "empty.mp3", "");
    const std::tuple<std::string, std::string, std::int32_t, std::size_t> cases[] = {
        {"-clip.mp3", "d '*) exit 1", kNormalizeRemovingTagsFailed, 1},  // relative: in the working folder
        {"-clip.mp3", "/r '*) exit 1", kNormalizeLevelingFailed, 2},
        {"-clip.mp3", "/g '*) exit 255", kNormalizeRaisingFailed, 4},
        {"-clip.mp3", "/r '*) : > \"$4\"", kNormalizeLevelingFailed, 2},
        {(dir / "link.mp3").string(), "", kNormalizeRemovingTagsFailed, 0},
        {(dir / "pipe.mp3").string(), "", kNormalizeRemovingTagsFailed, 0},
        {(dir / "empty.mp3").string(), "", kNormalizeRemovingTagsFailed, 0},
        {(dir / "gone.mp3").string(), "", kNormalizeRemovingTagsFailed, 0}};
    for (const auto& [path, step, status, runs] : cases) {
        writeFile("-clip.mp3", "ID3");
        standIn("mp3gain", "case \" $* \" in *' " + (step.empty() ? "none '*) " : step) + ";; esac\nexit 0\n");
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

TEST_F(JobTest, ArgumentsOutsideTheLimitsStartNoJob)
{
    for (int points : {15, 4097, 0})
        EXPECT_FALSE(startWaveform(fields, tools, "y.wav", points)) << points;
    // Outside the limits of each kind: a ringtone, a notification, an alarm.
    const std::vector<std::vector<SongPart>> refused{
        {{-1, 20000}, {0, 999}, {0, 60001}, {0, 20000, -1}, {0, 20000, 0, 5001}, {0, 1001, 501, 501}},
        {{0, 5001}, {0, 5000, 2001}},
        {{0, 60001}, {0, 40000, 30001}, {0, 11000, 10000, 1001}}};
    for (std::size_t kind = 0; kind < refused.size(); ++kind)
        for (const SongPart& part : refused[kind])
            EXPECT_FALSE(startTranscodeClip(fields, tools, "in.wav", "out.mp3", part, quillon::base::kClipKinds[kind]))
                << part.lengthMs;
    EXPECT_EQ(fields->wfStatus.generation() + fields->tsStatus.generation(), 0u);
}

TEST_F(JobTest, AnUnreadableSongIsTold)
{
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

TEST_F(JobTest, EveryStopEndsBothDecoders)
{
    const std::tuple<const char*, std::function<void()>, std::int32_t> stops[] = {
        {"break, then another job starts",
         [&] {
             fields->requestBreak();
             ASSERT_TRUE(startNormalize(fields, tools, "none.mp3"));
         },
         kWaveformBroken},
        {"window closed", [&] { EXPECT_TRUE(waitUntil([&] { return terminateWaveformEncoder(*fields) == 2; })); },
         kWaveformUnreadable},
        {"newer start", [&] { ASSERT_TRUE(startWaveform(fields, tools, "quick.wav", 16)); }, kWaveformDone},
    };
    for (const auto& [name, stop, status] : stops) {
        fs::remove(dir / "pid");
        fs::remove(dir / "pid2");
        ASSERT_TRUE(startWaveform(fields, tools, "song.slow", 16, SecondDecoder::Always));
        ASSERT_TRUE(waitUntil([&] { return readPid(dir / "pid") != 0 && readPid(dir / "pid2") != 0; }));
        EXPECT_EQ(fields->wfStatus.value(), kWaveformRunning);
        // While it reads, the page sees the minute the decoder announced, no parts yet, and the
        // slices and levels read so far.
        EXPECT_TRUE(waitUntil([&] {
            const std::string read = waveformResponse(*fields);
            return read.starts_with("60000::::::0,0") && read.find(":::10:::0,0,0") != std::string::npos;
        })) << waveformResponse(*fields).substr(0, 40);
        stop();
        EXPECT_EQ(end(fields->wfStatus), status) << name;
        EXPECT_TRUE(waitUntil([&] { return isGone(readPid(dir / "pid")) && isGone(readPid(dir / "pid2")); })) << name;
        siginfo_t ended{};  // a child that ended but was never collected
        EXPECT_FALSE(::waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid != 0) << name;
        EXPECT_EQ(terminateWaveformEncoder(*fields), 0) << name;  // a collected one is never signalled
    }
    EXPECT_EQ(waveformResponse(*fields), kSilence);
}

// What a real tool writes on its standard output; the test fails unless the tool ends well.
std::string outputOf(const std::vector<std::string>& argv)
{
    std::string bytes;
    const auto never = [] { return false; };
    const auto append = [&](std::string_view block) { bytes += block; };
    EXPECT_EQ(streamTool(argv, never, {}, append).exitStatus, 0u) << argv.at(0);
    return bytes;
}

// The real decoder, from the search path, behind a stand-in that records its arguments.
TEST_F(JobTest, ASongReadInTwoHalvesHasTheWaveformOfOneWholeReadWithTheRealDecoder)
{
    fs::remove(tools.resDir / "ffmpeg");  // the stand-in: the search path's is found
    tools.searchPath = ToolPaths::forResDir(tools.resDir).searchPath;
    const auto ffmpeg = locateTool(tools, "ffmpeg");
    if (!ffmpeg)
        GTEST_SKIP() << "needs ffmpeg";
    // Noise that swells in its middle third, so that peaks, levels and parts all differ along it.
    const std::string song = (dir / "song.mp3").string();
    outputOf({ffmpeg->string(), "-v", "error", "-f", "lavfi", "-i",
              "anoisesrc=d=75:c=pink:a=0.4:seed=5,volume=eval=frame:volume='if(between(t,25,50),1,0.2)'", "-ac", "2",
              song});
    WaveformAnalysis whole(1024);
    whole.feed(outputOf(waveformDecoderArguments(*ffmpeg, song)));
    standIn("ffmpeg", "exec '" + ffmpeg->string() + "' \"$@\"\n");
    ASSERT_TRUE(startWaveform(fields, tools, song, 1024, SecondDecoder::Always));
    ASSERT_EQ(end(fields->wfStatus), kWaveformDone);
    EXPECT_EQ(waveformResponse(*fields), formatWaveform(whole.finish()));
    EXPECT_EQ(takeCalls().at(1).at(2), "-ss");  // the second decoder's start
}

}  // namespace
