// Choosing the part of a song: the waveform analysis and job, and the clip of a part.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "jobs/run_tool.h"
#include "jobs/transcode_job.h"
#include "jobs/waveform_analysis.h"
#include "jobs/waveform_job.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace quillon::jobs;
using namespace quillon::test;

namespace {

constexpr int kRate = WaveformAnalysis::kSampleRate;
using Samples = std::function<int(std::int64_t)>;

// Half scale from second `from` to second `to`, else nearly silent.
Samples loudBetween(double from, double to)
{
    return [=](std::int64_t i) { return (i % 2 ? 1 : -1) * (i >= from * kRate && i < to * kRate ? 16384 : 100); };
}

TEST(WaveformAnalysis, MeasuresDurationPeaksAndTheLoudestHalfMinute)
{
    struct Case {
        const char* name;
        std::int64_t samples;
        Samples sample;
        int points;
        std::int64_t durationMs, startMs;
        std::function<int(int)> peak;  // of each slice
    };
    const std::int64_t tenMinutes = 600LL * kRate;
    const std::vector<Case> cases{
        {"full scale", 5 * kRate, [](auto i) { return i % 2 ? 32767 : -32768; }, 16, 5000, 0, [](int) { return 100; }},
        {"loud 40-70 s", 90 * kRate, loudBetween(40, 70), 90, 90000, 40000,
         [](int s) { return s >= 40 && s < 70 ? 50 : 0; }},
        {"30 s, loud at its end", 30 * kRate, loudBetween(29, 30), 30, 30000, 0,
         [](int s) { return s == 29 ? 50 : 0; }},
        {"30.1 s, loud at its end", 30 * kRate + 800, loudBetween(29, 31), 301, 30100, 100,
         [](int s) { return s >= 290 ? 50 : 0; }},
        {"odd length", 12345, [](auto i) { return static_cast<int>(i * 16 / 12345 + 1) * -1000; }, 16, 1543, 0,
         [](int s) { return ((s + 1) * 100000 + 16384) / 32768; }},
        // The peak groups fold; a spike mid-slice stays in its slice and its window.
        {"ten minutes", tenMinutes, [&](auto i) { return i == tenMinutes * 1000 / 4096 + 586 ? 32767 : 0; }, 4096,
         600000, 116600, [](int s) { return s == 1000 ? 100 : 0; }},
        {"fewer samples than slices", 5, [](auto) { return 32767; }, 16, 1, 0,
         [](int s) { return s % 3 == 0 && s <= 12 ? 100 : 0; }},
    };
    for (const Case& c : cases) {
        std::string bytes;
        for (std::int64_t i = 0; i < c.samples; ++i)
            bytes += {static_cast<char>(c.sample(i) & 0xff), static_cast<char>((c.sample(i) >> 8) & 0xff)};
        WaveformAnalysis analysis(c.points);
        // Blocks of odd sizes split samples between them.
        for (std::size_t at = 0, size = 1; at < bytes.size(); at += size, size = size * 3 % 40009)
            analysis.feed(std::string_view(bytes).substr(at, size));
        const WaveformSummary summary = analysis.finish();
        std::vector<int> peaks;
        for (int s = 0; s < c.points; ++s)
            peaks.push_back(c.peak(s));
        EXPECT_EQ(summary.durationMs, c.durationMs) << c.name;
        EXPECT_EQ(summary.suggestedStartMs, c.startMs) << c.name;
        EXPECT_EQ(summary.peaks, peaks) << c.name;
    }
}

// A stand-in encoder that records its arguments in $D/args and acts on the name of
// its input ($3 for the waveform job): "*slow" decodes until it is stopped,
// "*fail" fails, "*empty" writes nothing, "*broken" fails after some output;
// anything else gives one second of silence at 8000 Hz.
class SongPartTest : public ::testing::Test {
protected:
    SongPartTest()
    {
        fs::create_directories(tools.tempDir);
        writeScript(tools.resDir / "ffmpeg",
                    "D='" + dir.path().string() +
                        "'\nprintf '%s\\0' \"$0\" \"$@\" > \"$D/args\"\ncase \"$3\" in\n"
                        "*slow) echo $$ > \"$D/pid\"; while :; do head -c 1000 /dev/zero; sleep 0.01; done;;\n"
                        "*fail) exit 1;; *empty) exit 0;; *broken) head -c 16000 /dev/zero; exit 3;;\nesac\n"
                        "for last; do :; done\ncase \"$last\" in *.mp3) echo mp3 > \"$last\";; esac\n"
                        "head -c 16000 /dev/zero\n");
    }
    std::int32_t waitFor(const StatusSlot& status, std::int32_t running)
    {
        EXPECT_TRUE(waitUntil([&] { return status.value() != running; }, std::chrono::minutes(2)));
        return status.value();
    }
    std::int32_t waveformEnd() { return waitFor(fields->wfStatus, kWaveformRunning); }
    std::int32_t transcodeEnd() { return waitFor(fields->tsStatus, kTranscodeRunning); }

    TempDir dir;
    ToolPaths tools{dir / "res", dir / "res/tmp", (dir / "no-tools").string()};
    SharedJobFields fields = std::make_shared<JobFields>();
    const std::string silence = "1000:::0:::0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";
};

TEST_F(SongPartTest, EncodersGetTheExactArgumentVectors)
{
    const std::string odd = (dir / "a song 'q' \"d\" $HOME; x").string();
    const std::string ffmpeg = (tools.resDir / "ffmpeg").string();
    for (const auto& [path, argument] : std::vector<std::pair<std::string, std::string>>{{odd, odd}, {"-i", "./-i"}}) {
        ASSERT_TRUE(startWaveform(fields, tools, path + ".flac", 16));
        ASSERT_EQ(waveformEnd(), kWaveformDone);
        EXPECT_EQ(readArgs(dir / "args"),
                  (std::vector<std::string>{ffmpeg, "-nostdin", "-i", argument + ".flac", "-vn", "-ac", "1", "-ar",
                                            "8000", "-f", "s16le", "-acodec", "pcm_s16le", "pipe:1"}));
        EXPECT_EQ(waveformResponse(*fields), silence);

        for (const char* extension : {".m4a", ".wav"})
            writeFile(path + extension, "RIFF");
        ASSERT_TRUE(startTranscodeClip(fields, tools, path + ".m4a", path + ".mp3", {1234567, 20000, 1000}));
        ASSERT_EQ(transcodeEnd(), kTranscodeDone);
        EXPECT_EQ(readArgs(dir / "args"),
                  (std::vector<std::string>{ffmpeg, "-ss", "1234.567", "-t", "20.000", "-i", argument + ".m4a", "-af",
                                            "afade=t=in:st=0:d=1.000,afade=t=out:st=19.000:d=1.000", "-ab", "64k",
                                            "-ar", "44100", "-ac", "2", "-y", argument + ".mp3"}));
        ASSERT_TRUE(startTranscodeClip(fields, tools, path + ".wav", path + ".mp3", {0, 1001, 0}));
        ASSERT_EQ(transcodeEnd(), kTranscodeDone);
        EXPECT_EQ(readArgs(dir / "args"),
                  (std::vector<std::string>{ffmpeg, "-ss", "0.000", "-t", "1.001", "-i", argument + ".wav", "-ab",
                                            "64k", "-ar", "44100", "-ac", "2", "-y", argument + ".mp3"}));
    }
    for (const char* made : {"-i.m4a", "-i.wav", "-i.mp3"})
        fs::remove(made);
}

TEST_F(SongPartTest, BadArgumentsStartNothingAndUnreadableSongsGive201)
{
    for (int points : {15, 4097, 0})
        EXPECT_FALSE(startWaveform(fields, tools, "y.wav", points)) << points;
    for (const ClipPart& part : std::vector<ClipPart>{
             {-1, 20000, 0}, {0, 999, 0}, {0, 60001, 0}, {0, 20000, -1}, {0, 20000, 10001}, {0, 1001, 501}})
        EXPECT_FALSE(startTranscodeClip(fields, tools, "in.wav", "out.mp3", part)) << part.lengthMs;
    EXPECT_EQ(fields->wfStatus.generation() + fields->tsStatus.generation(), 0u);
    EXPECT_FALSE(fs::exists(dir / "args"));

    for (const char* path : {"a.fail", "b.empty", "c.broken"}) {
        ASSERT_TRUE(startWaveform(fields, tools, path, 16));
        EXPECT_EQ(waveformEnd(), kWaveformUnreadable) << path;
        EXPECT_EQ(waveformResponse(*fields), "") << path;
    }
    fs::remove(tools.resDir / "ffmpeg");
    ASSERT_TRUE(startWaveform(fields, tools, "x.wav", 16));
    EXPECT_EQ(waveformEnd(), kWaveformUnreadable) << "no encoder";
}

TEST_F(SongPartTest, BreakCloseAndNewerStartEachStopTheDecoder)
{
    const std::vector<std::tuple<const char*, std::function<void()>, std::int32_t>> stops{
        {"break", [&] { fields->breakFlag = true; }, kWaveformBroken},
        {"window closed", [&] { EXPECT_EQ(terminateWaveformEncoder(*fields), 1); }, kWaveformUnreadable},
        {"newer start", [&] { ASSERT_TRUE(startWaveform(fields, tools, "quick.wav", 16)); }, kWaveformDone},
    };
    for (const auto& [name, stop, status] : stops) {
        fs::remove(dir / "pid");
        ASSERT_TRUE(startWaveform(fields, tools, "song.slow", 16));
        ASSERT_TRUE(waitUntil([&] { return fields->waveformEncoders.processId(fields->wfStatus.generation()) != 0; }));
        ASSERT_TRUE(waitUntil([&] { return readPid(dir / "pid") != 0; }));
        EXPECT_EQ(fields->wfStatus.value(), kWaveformRunning);
        stop();
        EXPECT_EQ(waveformEnd(), status) << name;
        EXPECT_TRUE(waitUntil([&] { return isGone(readPid(dir / "pid")); })) << name;
        EXPECT_TRUE(zombieChildren().empty()) << name;
        EXPECT_EQ(terminateWaveformEncoder(*fields), 0) << name;
    }
    EXPECT_EQ(waveformResponse(*fields), silence);
}

TEST_F(SongPartTest, RealEncoderFindsTheLoudStretchAndMakesAFadedClipOfIt)
{
    tools.searchPath = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    fs::remove(tools.resDir / "ffmpeg");
    if (!locateTool(tools, "ffmpeg") || !locateTool(tools, "ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
    const auto run = [&](std::vector<std::string> argv) {
        argv.front() = locateTool(tools, argv.front())->string();
        std::string output;
        EXPECT_EQ(streamTool(
                      argv, [] { return false; }, {}, [&](std::string_view b) { output += b; })
                      .exitStatus,
                  0u);
        return output;
    };
    // Three minutes of a 440 Hz tone at 1/80 of full scale, at 3/4 from 60 s to 90 s.
    const fs::path song = dir / "a song 'q' $x.flac";
    run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "sine=f=440:r=44100:d=180", "-af",
         "volume=eval=frame:volume='if(gte(t,60)*lt(t,90),6,0.1)',pan=stereo|c0=c0|c1=c0", song.string()});
    ASSERT_TRUE(startWaveform(fields, tools, song.string(), 180));
    ASSERT_EQ(waveformEnd(), kWaveformDone);
    const std::string response = waveformResponse(*fields);
    long long durationMs = 0, startMs = 0;
    int prefix = 0;
    ASSERT_EQ(std::sscanf(response.c_str(), "%lld:::%lld:::%n", &durationMs, &startMs, &prefix), 2) << response;
    EXPECT_NEAR(durationMs, 180000, 50);
    EXPECT_NEAR(startMs, 60000, 1000);
    std::istringstream text(response.substr(static_cast<std::size_t>(prefix)));
    std::vector<int> peaks;
    for (std::string peak; std::getline(text, peak, ',');)
        peaks.push_back(std::stoi(peak));
    ASSERT_EQ(peaks.size(), 180u);
    // Slices 59 and 90 are left out: the resampler's filter may ring across the edges.
    EXPECT_GE(*std::min_element(peaks.begin() + 60, peaks.begin() + 90), 70);
    EXPECT_LE(std::max(*std::max_element(peaks.begin(), peaks.begin() + 59),
                       *std::max_element(peaks.begin() + 91, peaks.end())),
              2);

    const fs::path clip = dir / "-clip 'q'.mp3";
    ASSERT_TRUE(startTranscodeClip(fields, tools, song.string(), clip.string(), {65000, 20000, 1000}));
    ASSERT_EQ(transcodeEnd(), kTranscodeDone);
    EXPECT_NEAR(
        std::stod(run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", clip.string()})),
        20.0, 0.06);
    EXPECT_EQ(run({"ffprobe", "-v", "error", "-show_entries", "stream=sample_rate,channels,bit_rate", "-of",
                   "default=nw=1", clip.string()}),
              "sample_rate=44100\nchannels=2\nbit_rate=64000\n");
    // Faded in: the first 50 ms at least 20 dB under the middle.
    const std::string pcm =
        run({"ffmpeg", "-nostdin", "-v", "error", "-i", clip.string(), "-ac", "1", "-f", "s16le", "-"});
    const auto power = [&](std::size_t first) {
        double sum = 0;
        for (std::size_t i = 2 * first; i < 2 * (first + 2205) && i + 1 < pcm.size(); i += 2)
            sum += std::pow(static_cast<std::int16_t>(static_cast<std::uint8_t>(pcm[i]) | pcm[i + 1] << 8), 2.0);
        return sum;
    };
    EXPECT_GE(power(441000), 100 * power(0));
}

}  // namespace
