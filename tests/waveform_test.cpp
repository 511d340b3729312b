#include <gtest/gtest.h>

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

// count samples of s16le PCM, sample(i) each.
std::string pcm(std::int64_t count, const std::function<int(std::int64_t)>& sample)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(count) * 2);
    for (std::int64_t i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint16_t>(sample(i));
        bytes.push_back(static_cast<char>(value & 0xff));
        bytes.push_back(static_cast<char>(value >> 8));
    }
    return bytes;
}

// Loud (half scale) from second `from` to second `to`, else nearly silent.
std::function<int(std::int64_t)> loudBetween(double from, double to)
{
    return [=](std::int64_t i) {
        const int amplitude = i >= from * kRate && i < to * kRate ? 16384 : 100;
        return i % 2 ? amplitude : -amplitude;
    };
}

TEST(WaveformAnalysis, MeasuresDurationPeaksAndTheLoudestHalfMinute)
{
    struct Case {
        const char* name;
        std::int64_t samples;
        std::function<int(std::int64_t)> sample;
        int points;
        std::int64_t durationMs, startMs;
        std::function<int(int)> peak;  // expected peak of each slice
    };
    const std::int64_t tenMinutes = 600LL * kRate;
    const std::vector<Case> cases{
        {"silence", 10 * kRate, [](auto) { return 0; }, 16, 10000, 0, [](int) { return 0; }},
        {"full scale", 5 * kRate, [](auto i) { return i % 2 ? 32767 : -32768; }, 16, 5000, 0,
         [](int) { return 100; }},
        {"loud 40-70 s", 90 * kRate, loudBetween(40, 70), 90, 90000, 40000,
         [](int s) { return s >= 40 && s < 70 ? 50 : 0; }},
        {"loud at the end of 30 s", 30 * kRate, loudBetween(29, 30), 30, 30000, 0,
         [](int s) { return s == 29 ? 50 : 0; }},
        {"loud at the end of 30.1 s", 30 * kRate + 800, loudBetween(29, 31), 301, 30100, 100,
         [](int s) { return s >= 290 ? 50 : 0; }},
        // Odd length, far fewer samples than a fold needs: every slice exact.
        {"odd length", 12345, [](auto i) { return static_cast<int>(i * 16 / 12345 + 1) * -1000; }, 16, 1543, 0,
         [](int s) { return ((s + 1) * 100000 + 16384) / 32768; }},
        // Ten minutes: the peak groups fold, a spike mid-slice stays in its slice.
        {"long song", tenMinutes, [&](auto i) { return i == tenMinutes * 1000 / 4096 + 586 ? 32767 : 0; }, 4096,
         600000, 116600, [](int s) { return s == 1000 ? 100 : 0; }},
        {"too few samples for the slices", 5, [](auto) { return 32767; }, 16, 1, 0,
         [](int s) { return s % 3 == 0 && s <= 12 ? 100 : 0; }},
    };
    for (const Case& c : cases) {
        const std::string bytes = pcm(c.samples, c.sample);
        WaveformAnalysis analysis(c.points);
        // Blocks of odd sizes split samples between them.
        for (std::size_t at = 0, size = 1; at < bytes.size(); at += size, size = size * 3 % 40009)
            analysis.feed(std::string_view(bytes).substr(at, size));
        const WaveformSummary summary = analysis.finish();
        EXPECT_EQ(summary.durationMs, c.durationMs) << c.name;
        EXPECT_EQ(summary.suggestedStartMs, c.startMs) << c.name;
        std::vector<int> expected;
        for (int s = 0; s < c.points; ++s)
            expected.push_back(c.peak(s));
        EXPECT_EQ(summary.peaks, expected) << c.name;
    }
}

TEST(WaveformAnalysis, ResponseText)
{
    EXPECT_EQ(formatWaveform({180000, 60000, {0, 7, 100}}), "180000:::60000:::0,7,100");
}

class WaveformJobTest : public ::testing::Test {
protected:
    WaveformJobTest() { fs::create_directories(tools.tempDir); }

    // A stand-in encoder that records its arguments in $D/args; slow inputs wait.
    void standIn(const std::string& body)
    {
        writeScript(tools.resDir / "ffmpeg", "D='" + dir.path().string() +
                                                 "'\nprintf '%s\\0' \"$0\" \"$@\" > \"$D/args\"\n"
                                                 "case \"$3\" in *slow) echo $$ > \"$D/pid\"; "
                                                 "while :; do head -c 1000 /dev/zero; sleep 0.01; done;; esac\n" +
                                                 body);
    }
    std::int32_t waitForEnd()
    {
        EXPECT_TRUE(waitUntil([&] { return fields->wfStatus.value() != kWaveformRunning; }, std::chrono::minutes(2)));
        return fields->wfStatus.value();
    }
    pid_t waitForSlowEncoder()
    {
        EXPECT_TRUE(waitUntil([&] { return fields->waveformEncoders.processId(fields->wfStatus.generation()) != 0; }));
        EXPECT_TRUE(waitUntil([&] { return readPid(dir / "pid") != 0; }));
        return readPid(dir / "pid");
    }

    TempDir dir;
    ToolPaths tools{dir / "res", dir / "res/tmp", (dir / "no-tools").string()};
    SharedJobFields fields = std::make_shared<JobFields>();
};

TEST_F(WaveformJobTest, DecoderGetsTheExactArgumentVectorAndItsOutputIsMeasured)
{
    standIn("head -c 16000 /dev/zero\n");
    const std::string odd = (dir / "a song 'q' \"d\" $HOME.flac").string();
    for (const auto& [path, argument] : std::vector<std::pair<std::string, std::string>>{
             {odd, odd}, {"-i.mp3", "./-i.mp3"}}) {
        ASSERT_TRUE(startWaveform(fields, tools, path, 16));
        ASSERT_EQ(waitForEnd(), kWaveformDone);
        EXPECT_EQ(readArgs(dir / "args"),
                  (std::vector<std::string>{(tools.resDir / "ffmpeg").string(), "-nostdin", "-i", argument, "-vn",
                                            "-ac", "1", "-ar", "8000", "-f", "s16le", "-acodec", "pcm_s16le",
                                            "pipe:1"}));
        EXPECT_EQ(waveformResponse(*fields), "1000:::0:::0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    }
}

TEST_F(WaveformJobTest, PointsOutsideTheRangeStartNothing)
{
    standIn("head -c 16000 /dev/zero\n");
    ASSERT_TRUE(startWaveform(fields, tools, "x.wav", 4096));
    ASSERT_EQ(waitForEnd(), kWaveformDone);
    const std::string response = waveformResponse(*fields);
    for (int points : {15, 4097, 0, -16}) {
        EXPECT_FALSE(startWaveform(fields, tools, "y.wav", points)) << points;
        EXPECT_EQ(fields->wfStatus.value(), kWaveformDone);
        EXPECT_EQ(waveformResponse(*fields), response);
    }
}

TEST_F(WaveformJobTest, FailuresAreUnreadable)
{
    const std::vector<std::pair<const char*, const char*>> cases{
        {"encoder fails", "exit 1\n"},
        {"no audio", "exit 0\n"},
        {"fails after some audio", "head -c 16000 /dev/zero\nexit 3\n"},
    };
    for (const auto& [name, body] : cases) {
        standIn(body);
        ASSERT_TRUE(startWaveform(fields, tools, "x.wav", 16));
        EXPECT_EQ(waitForEnd(), kWaveformUnreadable) << name;
        EXPECT_EQ(waveformResponse(*fields), "") << name;
    }
    fs::remove(tools.resDir / "ffmpeg");
    ASSERT_TRUE(startWaveform(fields, tools, "x.wav", 16));
    EXPECT_EQ(waitForEnd(), kWaveformUnreadable) << "no encoder";
}

TEST_F(WaveformJobTest, BreakCloseAndNewerStartEachStopTheDecoder)
{
    standIn("head -c 16000 /dev/zero\n");
    const std::vector<std::pair<const char*, std::function<void()>>> stops{
        {"break", [&] { fields->breakFlag = true; }},
        {"window closed", [&] { EXPECT_EQ(terminateWaveformEncoder(*fields), 1); }},
        {"newer start", [&] { ASSERT_TRUE(startWaveform(fields, tools, "quick.wav", 16)); }},
    };
    const std::vector<std::int32_t> expected{kWaveformBroken, kWaveformUnreadable, kWaveformDone};
    for (std::size_t i = 0; i < stops.size(); ++i) {
        fs::remove(dir / "pid");
        ASSERT_TRUE(startWaveform(fields, tools, "song.slow", 16));
        const pid_t decoder = waitForSlowEncoder();
        EXPECT_EQ(fields->wfStatus.value(), kWaveformRunning);
        stops[i].second();
        EXPECT_EQ(waitForEnd(), expected[i]) << stops[i].first;
        EXPECT_TRUE(waitUntil([&] { return isGone(decoder); })) << stops[i].first;
        EXPECT_TRUE(zombieChildren().empty()) << stops[i].first;
        EXPECT_EQ(terminateWaveformEncoder(*fields), 0) << stops[i].first;
    }
    EXPECT_EQ(waveformResponse(*fields), "1000:::0:::0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
}

// The real encoder from the search path, on generated songs.
class RealEncoderTest : public WaveformJobTest {
protected:
    void SetUp() override
    {
        const char* path = std::getenv("PATH");
        tools.searchPath = path ? path : "/usr/bin:/bin";
        if (!locateTool(tools, "ffmpeg") || !locateTool(tools, "ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
    }
    // Runs a tool from the search path; returns its standard output.
    std::string run(std::vector<std::string> argv)
    {
        argv.front() = locateTool(tools, argv.front())->string();
        std::string output;
        const ToolOutcome outcome = streamTool(argv, [] { return false; }, {}, [&](std::string_view b) { output += b; });
        EXPECT_EQ(outcome.exitStatus, 0u) << argv[1];
        return output;
    }
};

TEST_F(RealEncoderTest, LoudStretchFrom60To90SecondsIsFoundAndMadeIntoAFadedClip)
{
    const fs::path song = dir / "a song 'q' $x.flac";
    // A 440 Hz tone at 1/80 of full scale, at 3/4 from 60 s to 90 s.
    run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "sine=f=440:r=44100:d=180", "-af",
         "volume=eval=frame:volume='if(gte(t,60)*lt(t,90),6,0.1)',pan=stereo|c0=c0|c1=c0", song.string()});
    ASSERT_TRUE(startWaveform(fields, tools, song.string(), 180));
    ASSERT_EQ(waitForEnd(), kWaveformDone);
    const std::string response = waveformResponse(*fields);
    const auto first = response.find(":::");
    const auto second = response.find(":::", first + 3);
    EXPECT_NEAR(std::stoll(response.substr(0, first)), 180000, 50) << response;
    EXPECT_NEAR(std::stoll(response.substr(first + 3, second - first - 3)), 60000, 1000) << response;
    std::istringstream peaks(response.substr(second + 3));
    int slice = 0;
    for (std::string peak; std::getline(peaks, peak, ','); ++slice) {
        if (slice >= 60 && slice < 90) {
            EXPECT_GE(std::stoi(peak), 70) << slice;
        } else if (slice != 59 && slice != 90) {  // the resampler's filter may ring across the edges
            EXPECT_LE(std::stoi(peak), 2) << slice;
        }
    }
    EXPECT_EQ(slice, 180);

    const fs::path clip = dir / "-clip 'q'.mp3";
    ASSERT_TRUE(startTranscodeClip(fields, tools, song.string(), clip.string(), {65000, 20000, 1000}));
    ASSERT_TRUE(waitUntil([&] { return fields->tsStatus.value() != kTranscodeRunning; }, std::chrono::minutes(2)));
    ASSERT_EQ(fields->tsStatus.value(), kTranscodeDone);
    EXPECT_NEAR(std::stod(run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                               clip.string()})),
                20.0, 0.06);
    EXPECT_EQ(run({"ffprobe", "-v", "error", "-show_entries", "stream=sample_rate,channels,bit_rate", "-of",
                   "default=nw=1", clip.string()}),
              "sample_rate=44100\nchannels=2\nbit_rate=64000\n");
    // Faded in: the first 50 ms at least 20 dB under the middle.
    const std::string decoded =
        run({"ffmpeg", "-nostdin", "-v", "error", "-i", clip.string(), "-ac", "1", "-f", "s16le", "pipe:1"});
    const auto power = [&](std::size_t first, std::size_t count) {
        double sum = 0;
        for (std::size_t i = first; i < first + count && 2 * i + 1 < decoded.size(); ++i) {
            const auto value = static_cast<std::int16_t>(static_cast<unsigned char>(decoded[2 * i]) |
                                                         static_cast<unsigned char>(decoded[2 * i + 1]) << 8);
            sum += double(value) * value;
        }
        return sum / static_cast<double>(count);
    };
    EXPECT_GE(power(441000, 2205), 100 * power(0, 2205));
}

TEST_F(RealEncoderTest, FileWithoutReadableAudioIsUnreadable)
{
    writeFile(dir / "notes.mp3", "not audio at all");
    for (const fs::path& file : {dir / "notes.mp3", dir / "missing.wav", dir.path()}) {
        ASSERT_TRUE(startWaveform(fields, tools, file.string(), 64));
        EXPECT_EQ(waitForEnd(), kWaveformUnreadable) << file;
    }
}

}  // namespace
