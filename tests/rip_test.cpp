#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "cd/fake_cd_access.h"
#include "cd/libcdio_access.h"
#include "cd/rip_job.h"
#include "cd/wav_header.h"
#include "tests/cd_image_builder.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::cd {
namespace {

using test::readFile;
using test::TempDir;

std::string headerBytes(std::uint32_t dataBytes)
{
    const auto header = wavHeader(dataBytes);
    return std::string(header.begin(), header.end());
}

// The frames [from, from + count) as the fake drive delivers them.
std::string fakeFrames(std::int32_t from, std::int32_t count)
{
    std::string audio;
    for (std::int32_t block = from; block < from + count; ++block)
        for (std::size_t i = 0; i < kFrameBytes; ++i)
            audio += static_cast<char>(fakeFrameByte(block, i));
    return audio;
}

// Standard output redirected into a file while the object lives; text() ends that.
class CapturedStdout {
public:
    explicit CapturedStdout(std::filesystem::path file) : file_(std::move(file))
    {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~CapturedStdout() { restore(); }
    std::string text()
    {
        restore();
        return readFile(file_);
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    std::filesystem::path file_;
    int saved_ = -1;
};

// Drive 0: tracks of 1000, 520 and 60 frames with a data track between the last two;
// drive 1: a single track; drive 2: no handle.
std::vector<FakeDriveSetup> drives(std::map<std::int32_t, int> failures = {})
{
    return {{"DISC", true, CdToc{1, 4, {{0, false}, {1000, false}, {1520, true}, {1680, false}, {1740, false}}},
             std::move(failures)},
            {"SINGLE", true, CdToc{1, 1, {{0, false}, {300, false}}}, {}},
            {"NOHANDLE", false, CdToc{}, {}}};
}

class RipTest : public ::testing::Test {
protected:
    RipEnd rip(const CdAccess& access, const std::string& drive, const std::string& track,
               std::string wav = {})
    {
        const jobs::JobTicket ticket(fields, &jobs::JobFields::ripStatus);
        CapturedStdout out(dir / "stdout.txt");
        const RipEnd end = ripTrack(access, {drive, track, wav.empty() ? this->wav().string() : wav}, ticket);
        trace = out.text();
        return end;
    }
    std::filesystem::path wav() const { return dir / "track.wav"; }

    TempDir dir;
    jobs::SharedJobFields fields = std::make_shared<jobs::JobFields>();
    std::string trace;
};

TEST_F(RipTest, TrackIsCopiedInChunksOfTwentySixWithProgressAndTrace)
{
    FakeCdAccess access(drives());
    std::vector<std::int32_t> statusBeforeRead;
    access.setReadHook([&](std::int32_t) { statusBeforeRead.push_back(fields->ripStatus.value()); });
    ASSERT_EQ(rip(access, "0", "0"), RipEnd::done);

    EXPECT_EQ(readFile(wav()), headerBytes(2352000) + fakeFrames(0, 1000));
    const auto reads = access.reads();
    ASSERT_EQ(reads.size(), 39u);
    for (std::size_t i = 0; i < 39; ++i) {
        EXPECT_EQ(reads[i].block, static_cast<std::int32_t>(26 * i));
        EXPECT_EQ(reads[i].count, i < 38 ? 26 : 12);
    }
    EXPECT_EQ(trace, "0: 1000\n130: 870\n260: 740\n390: 610\n520: 480\n650: 350\n780: 220\n910: 90\n");
    // Progress is stored once per chunk: the percentage done before each read.
    ASSERT_EQ(statusBeforeRead.size(), 39u);
    EXPECT_EQ(statusBeforeRead[1], 2);    // 26 of 1000
    EXPECT_EQ(statusBeforeRead[38], 98);  // 988 of 1000
    EXPECT_TRUE(std::is_sorted(statusBeforeRead.begin(), statusBeforeRead.end()));
    EXPECT_EQ(access.opens(), 1);
    EXPECT_EQ(access.closes(), 1);
}

TEST_F(RipTest, RefusedRequestsEndWithTheirCodeAndWriteNothing)
{
    FakeCdAccess access(drives());
    // The end values are what pages see: numbers, not names.
    const struct {
        const char* drive;
        const char* track;
        int end;
    } cases[] = {
        {"-1", "0", 201}, {"3", "0", 201},  {"1e30", "0", 201},       {"nan", "0", 201},    {"2", "0", 202},
        {"0", "4", 204},  {"0", "-1", 204}, {"0", "inf", 204},        {"0", "4294967296", 204},
        {"0", "2.9", 206}, {"1", "0", 205},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(rip(access, c.drive, c.track)), c.end) << c.drive << " / " << c.track;
        EXPECT_EQ(trace, "");
        EXPECT_FALSE(std::filesystem::exists(wav())) << c.drive << " / " << c.track;
    }
    EXPECT_TRUE(access.reads().empty());
    EXPECT_EQ(access.opens(), access.closes());
    // Index texts are read as leading numbers: " 3abc" is track 3.
    ASSERT_EQ(rip(access, "x", " 3abc"), RipEnd::done);
    EXPECT_EQ(readFile(wav()), headerBytes(60 * 2352) + fakeFrames(1680, 60));
}

TEST_F(RipTest, AChunkIsTriedThreeTimesBeforeTheRipFails)
{
    const struct {
        int failures;
        RipEnd end;
        std::size_t attemptsAtBlock;
    } cases[] = {{2, RipEnd::done, 3}, {3, RipEnd::readFailed, 3}};
    for (const auto& c : cases) {
        FakeCdAccess access(drives({{52, c.failures}}));
        EXPECT_EQ(rip(access, "0", "0"), c.end) << c.failures;
        const auto reads = access.reads();
        EXPECT_EQ(std::count_if(reads.begin(), reads.end(), [](const auto& r) { return r.block == 52; }),
                  static_cast<std::ptrdiff_t>(c.attemptsAtBlock));
        EXPECT_EQ(access.closes(), 1);
        // A failed copy keeps the frames read so far, with its sizes left at zero.
        EXPECT_EQ(readFile(wav()), c.end == RipEnd::done ? headerBytes(2352000) + fakeFrames(0, 1000)
                                                         : headerBytes(0) + fakeFrames(0, 52));
    }
}

TEST_F(RipTest, BreakDuringTheLastChunkStillStopsWithTheHeaderAtZero)
{
    FakeCdAccess access(drives());
    access.setReadHook([&](std::int32_t block) {
        if (block == 988)
            fields->breakFlag = true;
    });
    ASSERT_EQ(rip(access, "0", "0"), RipEnd::stopped);
    EXPECT_EQ(readFile(wav()), headerBytes(0) + fakeFrames(0, 1000));
    // The last progress stored is the one before the last chunk: a stopped copy never shows 100.
    EXPECT_EQ(fields->ripStatus.value(), 98);
}

TEST_F(RipTest, OutputThatCannotBeCreatedOrWrittenGives208)
{
    FakeCdAccess access(drives());
    for (const std::string& wav : {(dir / "no-such-folder" / "t.wav").string(), dir.path().string(), std::string("/dev/full")})
        EXPECT_EQ(rip(access, "0", "1", wav), RipEnd::fileFailed) << wav;
    EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
    EXPECT_EQ(access.opens(), access.closes());
}

TEST_F(RipTest, ImageShorterThanItsCueGives209AndKeepsWhatWasRead)
{
    // Track 2 claims 300 frames from block 200, but the .bin ends at block 300.
    const auto cut = test::writeDiscImage(dir.path(), "cut", {{200}, {300}, {50, true}}, 300);
    const auto access = makeLibcdioAccess({false, {cut.cue.string()}});
    ASSERT_EQ(rip(*access, "0", "1"), RipEnd::readFailed);
    // Chunks from 200 to 278 read fine; the one from 278 runs past the end.
    EXPECT_EQ(readFile(wav()), headerBytes(0) + test::imageFrames(200, 78));
}

}  // namespace
}  // namespace quillon::cd
