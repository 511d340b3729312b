#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/clip_part.h"
#include "jobs/transcode_job.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace quillon::jobs;
using namespace quillon::test;

namespace {

TEST(ClipPart, SecondsHaveThreeDecimalsAndAPoint)
{
    const std::vector<std::pair<std::int32_t, std::string>> cases{
        {0, "0.000"},      {1, "0.001"},         {999, "0.999"},           {1000, "1.000"},
        {65000, "65.000"}, {123456, "123.456"}, {2147483647, "2147483.647"},
    };
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(secondsText(ms), text) << ms;
}

class ClipJobTest : public ::testing::Test {
protected:
    ClipJobTest()
    {
        fs::create_directories(tools.tempDir);
        writeScript(tools.resDir / "ffmpeg",
                    "printf '%s\\0' \"$0\" \"$@\" > '" + (dir / "args").string() + "'\nexit 0\n");
    }
    std::int32_t waitForEnd()
    {
        EXPECT_TRUE(waitUntil([&] { return fields->tsStatus.value() != kTranscodeRunning; }));
        return fields->tsStatus.value();
    }

    TempDir dir;
    ToolPaths tools{dir / "res", dir / "res/tmp", (dir / "no-tools").string()};
    SharedJobFields fields = std::make_shared<JobFields>();
};

TEST_F(ClipJobTest, EncoderGetsTheExactArgumentVector)
{
    struct Case {
        std::string input, output;
        ClipPart part;
        std::vector<std::string> expected;  // after the encoder's path
    };
    const std::string odd = (dir / "in put 'q' \"d\" $HOME; x").string();
    const std::vector<Case> cases{
        {odd + ".flac", odd + ".mp3", {65000, 20000, 1000},
         {"-ss", "65.000", "-t", "20.000", "-i", odd + ".flac", "-af",
          "afade=t=in:st=0:d=1.000,afade=t=out:st=19.000:d=1.000", "-ab", "64k", "-ar", "44100", "-ac", "2", "-y",
          odd + ".mp3"}},
        {"-i.wav", "-y.mp3", {0, 1001, 0},
         {"-ss", "0.000", "-t", "1.001", "-i", "./-i.wav", "-ab", "64k", "-ar", "44100", "-ac", "2", "-y",
          "./-y.mp3"}},
        {"a.m4a", "/tmp/b.mp3", {1234567, 60000, 30000},
         {"-ss", "1234.567", "-t", "60.000", "-i", "./a.m4a", "-af",
          "afade=t=in:st=0:d=30.000,afade=t=out:st=30.000:d=30.000", "-ab", "64k", "-ar", "44100", "-ac", "2", "-y",
          "/tmp/b.mp3"}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(startTranscodeClip(fields, tools, c.input, c.output, c.part));
        ASSERT_EQ(waitForEnd(), kTranscodeDone) << c.input;
        std::vector<std::string> expected{(tools.resDir / "ffmpeg").string()};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(readArgs(dir / "args"), expected) << c.input;
    }
}

TEST_F(ClipJobTest, PartsOutOfBoundsStartNothing)
{
    const std::vector<ClipPart> refused{
        {-1, 20000, 0}, {0, 999, 0}, {0, 60001, 0}, {0, 20000, -1}, {0, 20000, 10001}, {0, 1001, 501}, {0, 0, 0},
    };
    const std::uint32_t generation = fields->tsStatus.generation();
    for (const ClipPart& part : refused) {
        EXPECT_FALSE(isValidClipPart(part)) << part.startMs << " " << part.lengthMs << " " << part.fadeMs;
        EXPECT_FALSE(startTranscodeClip(fields, tools, "in.wav", "out.mp3", part));
    }
    EXPECT_EQ(fields->tsStatus.generation(), generation);
    EXPECT_FALSE(fs::exists(dir / "args"));
    for (const ClipPart& part : std::vector<ClipPart>{{0, 1000, 500}, {0, 60000, 30000}, {0, 60000, 0}})
        EXPECT_TRUE(isValidClipPart(part)) << part.lengthMs << " " << part.fadeMs;
}

}  // namespace
