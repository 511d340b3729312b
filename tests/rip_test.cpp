#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <future>

#include "cd/cd_listing.h"
#include "cd/libcdio_access.h"
#include "cd/rip_job.h"
#include "cd/wav_header.h"
#include "tests/cd_image_builder.h"
#include "tests/fake_cd_access.h"
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
// drive 1: a single data track; drive 2: no handle.
std::vector<FakeDriveSetup> drives(std::map<std::int32_t, int> failures = {})
{
    return {{"DISC", true, CdToc{1, 4, {{0, false}, {1000, false}, {1520, true}, {1680, false}, {1740, false}}},
             std::move(failures)},
            {"SINGLE", true, CdToc{1, 1, {{0, true}, {300, false}}}, {}},
            {"NOHANDLE", false, CdToc{}, {}}};
}

class RipTest : public ::testing::Test {
protected:
    RipEnd rip(const CdAccess& access, const std::string& drive, const std::string& track, std::string wav = {})
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
        {"-1", "0", 201},         {"3", "0", 201},   {"1e30", "0", 201}, {"nan", "0", 201},
        {"2", "0", 202},          {"0", "4", 204},   {"0", "-1", 204},   {"0", "inf", 204},
        {"0", "4294967296", 204}, {"0", "2.9", 206}, {"1", "0", 205},
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

TEST_F(RipTest, OnlyARegularFileIsWrittenAndOnlyANewOneIsMadePrivate)
{
    FakeCdAccess access(drives());
    const auto victim = dir / "victim";
    for (const auto& file : {victim, dir / "old.wav"}) {
        test::writeFile(file, "keep me");
        std::filesystem::permissions(file, std::filesystem::perms(0644));
    }
    std::filesystem::create_symlink(victim, dir / "link.wav");
    std::filesystem::create_symlink(dir / "made-through-link", dir / "dangling.wav");
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    const struct {
        std::filesystem::path path;
        unsigned mode;  // of the copy written; 0: refused with 208
    } cases[] = {
        {dir / "no-such-folder" / "t.wav", 0},
        {dir.path(), 0},
        {dir / "link.wav", 0},
        {dir / "dangling.wav", 0},
        {dir / "pipe.wav", 0},  // refused without waiting for a reader
        {dir / "old.wav", 0644},
        {dir / "new.wav", 0600},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rip(access, "0", "1", c.path.string()), c.mode ? RipEnd::done : RipEnd::fileFailed) << c.path;
        if (c.mode) {
            EXPECT_EQ(readFile(c.path), headerBytes(520 * 2352) + fakeFrames(1000, 520)) << c.path;
            EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(c.path).permissions()), c.mode) << c.path;
        }
    }
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_EQ(std::filesystem::status(victim).permissions(), std::filesystem::perms(0644));
    EXPECT_FALSE(std::filesystem::exists(dir / "made-through-link"));

    // A disk that fills up: files may grow to 100 frames in this process for a moment.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{100 * 2352, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const RipEnd end = rip(access, "0", "1");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(end, RipEnd::fileFailed);
}

TEST_F(RipTest, BreakDuringTheLastChunkStillStopsWithTheHeaderAtZero)
{
    FakeCdAccess access(drives());
    access.setReadHook([&](std::int32_t block) { fields->breakFlag = block == 988; });
    ASSERT_EQ(rip(access, "0", "0"), RipEnd::stopped);
    EXPECT_EQ(readFile(wav()), headerBytes(0) + fakeFrames(0, 1000));
    // The last progress stored is the one before the last chunk: a stopped copy never shows 100.
    EXPECT_EQ(fields->ripStatus.value(), 98);
}

// The drive's own reads, through libcdio from a generated image.
TEST_F(RipTest, ImageShorterThanItsCueGives209AndKeepsWhatWasRead)
{
    // Track 2 claims 300 frames from block 200, but the .bin ends at block 300.
    const auto cut = test::writeDiscImage(dir.path(), "cut", {{200}, {300}, {50, true}}, 300);
    const auto access = makeLibcdioAccess({false, {cut.cue.string()}});
    ASSERT_EQ(rip(*access, "0", "1"), RipEnd::readFailed);
    // Chunks from 200 to 278 read fine; the one from 278 runs past the end.
    EXPECT_EQ(readFile(wav()), headerBytes(0) + test::imageFrames(200, 78));
}

CdToc fakeToc()
{
    return CdToc{1, 2, {{100, false}, {200, false}, {400, false}}};  // 100 and 200 frames
}

// Rips a track of the fake drive's disc into dir/t.wav.
RipEnd ripFake(const FakeCdAccess& access, const char* track, const TempDir& dir,
               jobs::SharedJobFields fields = std::make_shared<jobs::JobFields>())
{
    const jobs::JobTicket ticket(std::move(fields), &jobs::JobFields::ripStatus);
    CapturedStdout out(dir / "stdout.txt");
    return ripTrack(access, {"0", track, (dir / "t.wav").string()}, ticket);
}

TEST(RipFaults, RetriesBreaksAndADiscChangedMidRip)
{
    const auto failing = [](int failures) {
        return FakeDriveSetup{
            .product = std::to_string(failures), .toc = fakeToc(), .failuresAtBlock = {{152, failures}}};
    };
    const struct {
        FakeDriveSetup drive;
        RipEnd end;
        int attemptsAt152;
        std::size_t reads;
        int framesKept;  // behind a header that gives the data size only when done
        bool breakAt152 = false;
    } cases[] = {
        {failing(0), RipEnd::done, 1, 4, 100},
        {failing(1), RipEnd::done, 2, 5, 100},
        {failing(2), RipEnd::done, 3, 6, 100},
        {failing(3), RipEnd::readFailed, 3, 5, 52},  // chunks at 100 and 126, then three at 152
        {failing(5), RipEnd::readFailed, 3, 5, 52},
        {failing(2), RipEnd::stopped, 1, 3, 52, true},  // the break is tested between attempts
        {{.product = "CHANGED", .toc = fakeToc(), .discChangeAt = 152}, RipEnd::discChanged, 1, 3, 0},
        {{.product = "TAKEN OUT", .toc = fakeToc(), .discChangeAt = 152, .changedToNothing = true},
         RipEnd::discChanged,
         3,
         5,
         0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        FakeCdAccess access({c.drive});
        auto fields = std::make_shared<jobs::JobFields>();
        access.setReadHook([&](std::int32_t block) { fields->breakFlag = c.breakAt152 && block == 152; });
        EXPECT_EQ(ripFake(access, "0", dir, fields), c.end) << c.drive.product;
        const auto reads = access.reads();
        EXPECT_EQ(reads.size(), c.reads) << c.drive.product;
        EXPECT_EQ(std::count_if(reads.begin(), reads.end(), [](const auto& r) { return r.block == 152; }),
                  c.attemptsAt152)
            << c.drive.product;
        EXPECT_EQ(access.closes(), 1);
        const std::uint32_t size = c.end == RipEnd::done ? 100 * 2352 : 0;
        EXPECT_EQ(readFile(dir / "t.wav"), headerBytes(size) + fakeFrames(100, c.framesKept)) << c.drive.product;
    }
}

// Listing and rip side by side; each opens and closes the drive and reads its table once.
TEST(RipLayouts, EachDiscLayoutIsListedAndRippedWithOneTableRead)
{
    // Audio at 0 and 1000, data from 13400, lead-out at 20000; last session at the given block.
    const auto sessions = [](std::int32_t lastSession) {
        return CdToc{1, 3, {{0, false}, {1000, false}, {13400, true}, {20000, false}}, lastSession};
    };
    const CdToc from3{3, 5, {{0, false}, {100, true}, {300, false}, {350, false}}};
    const struct {
        FakeDriveSetup drive;
        std::string listing;
        const char* track;
        RipEnd end;
        std::int32_t first = 0;  // the frames copied, when done
        std::int32_t frames = 0;
    } cases[] = {
        {{.handleAvailable = false, .toc = fakeToc()}, "ERROR: Could not get handle to CD", "0", RipEnd::noHandle},
        {{}, "ERROR: No CD inserted", "0", RipEnd::noToc},
        {{.toc = CdToc{}}, "ERROR: No CD inserted", "0", RipEnd::noToc},
        {{.toc = CdToc{1, 2, {{100, false}, {100, false}, {400, false}}}}, "0:::300", "0", RipEnd::readFailed},
        {{.toc = CdToc{1, 2, {{100, false}, {50, false}, {400, false}}}}, "-50:::350", "0", RipEnd::readFailed},
        {{.toc = fakeToc()}, "100:::200", "1", RipEnd::done, 200, 200},
        {{.toc = CdToc{1, 1, {{150, false}, {290, false}}}}, "140", "0", RipEnd::done, 150, 140},
        {{.toc = CdToc{1, 1, {{150, true}, {290, false}}}}, "ERROR: Not an audio CD", "0", RipEnd::singleTrack},
        {{.toc = from3}, "100:::DATA:::50", "2", RipEnd::done, 300, 50},
        {{.toc = from3}, "100:::DATA:::50", "3", RipEnd::badTrack},
        // An enhanced CD: the gap before the data session cannot be read, and the track ends before it.
        {{.toc = sessions(13400), .unreadable = {{2000, 13400}}}, "1000:::1000:::DATA", "1", RipEnd::done, 1000, 1000},
        {{.toc = sessions(0)}, "1000:::12400:::DATA", "0", RipEnd::done, 0, 1000},      // one session
        {{.toc = sessions(30000)}, "1000:::12400:::DATA", "0", RipEnd::done, 0, 1000},  // data in the audio's session
        {{.toc = sessions(1500)}, "1000:::12400:::DATA", "0", RipEnd::done, 0, 1000},   // no sane session end
    };
    for (const auto& c : cases) {
        TempDir dir;
        FakeCdAccess access({c.drive});
        EXPECT_EQ(getTracksInfo(access, 0), c.listing);
        EXPECT_EQ(ripFake(access, c.track, dir), c.end) << c.listing;
        const int opens = c.drive.handleAvailable ? 2 : 0;
        EXPECT_EQ(access.closes(), opens) << c.listing;
        EXPECT_EQ(access.tocReads(), opens) << c.listing;  // one for the listing, one for the rip
        if (c.end == RipEnd::done) {
            EXPECT_EQ(readFile(dir / "t.wav"), headerBytes(c.frames * 2352u) + fakeFrames(c.first, c.frames))
                << c.listing;
        }
        for (const auto& read : access.reads())
            EXPECT_TRUE(read.block >= c.first && read.block + read.count <= c.first + c.frames) << c.listing;
    }
}

TEST(RipRestart, ARipStartedDuringASlowReadWaitsForTheOldOneWhichNeverWritesAgain)
{
    TempDir dir;
    auto access = std::make_shared<FakeCdAccess>(std::vector<FakeDriveSetup>{{.product = "FAKE", .toc = fakeToc()}});
    std::promise<void> stalled, released;
    std::shared_future<void> release = released.get_future().share();
    std::atomic<int> readsAt152{0};
    access->setReadHook([&](std::int32_t block) {
        if (block == 152 && ++readsAt152 == 1) {  // the first read there hangs, as on a scratched disc
            stalled.set_value();
            release.wait();
        }
    });
    auto fields = std::make_shared<jobs::JobFields>();
    CapturedStdout out(dir / "stdout.txt");
    ASSERT_TRUE(startRip(fields, access, "0", "0", (dir / "t.wav").string()));
    stalled.get_future().wait();
    // Cancel, and at once pick the same track again: the new start clears the break.
    fields->breakFlag = true;
    ASSERT_TRUE(startRip(fields, access, "0", "0", (dir / "t.wav").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(access->reads().size(), 2u);  // the new rip has not touched the drive
    released.set_value();
    EXPECT_TRUE(test::waitUntil([&] { return fields->ripStatus.value() >= 100; }));
    EXPECT_EQ(fields->ripStatus.value(), 100);
    EXPECT_EQ(readFile(dir / "t.wav"), headerBytes(100 * 2352) + fakeFrames(100, 100));
    // The old rip's reads end at the stalled one; the new one's start from the track's start.
    std::vector<std::int32_t> blocks;
    for (const auto& read : access->reads())
        blocks.push_back(read.block);
    EXPECT_EQ(blocks, (std::vector<std::int32_t>{100, 126, 152, 100, 126, 152, 178}));
}

}  // namespace
}  // namespace quillon::cd
