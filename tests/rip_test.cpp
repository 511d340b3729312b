#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <future>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "cd/cd_listing.h"
#include "cd/libcdio_access.h"
#include "cd/rip_job.h"
#include "cd/wav_header.h"
#include "tests/fake_cd_access.h"
#include "tests/cd_image_builder.h"
#include "tests/test_support.h"

namespace quillon::cd {
namespace {

using test::ImageTrack;
using test::imageFrames;
using test::readFile;
using test::TempDir;

std::string headerBytes(std::uint32_t dataBytes)
{
    const auto header = wavHeader(dataBytes);
    return std::string(header.begin(), header.end());
}

std::uint32_t le32(const std::string& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(offset + static_cast<std::size_t>(i)));
    return value;
}

// Standard output redirected into a file for the lifetime of the object.
class CapturedStdout {
public:
    explicit CapturedStdout(const std::filesystem::path& file) : file_(file)
    {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0);
        dup2(fd, STDOUT_FILENO);
        close(fd);
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
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::filesystem::path file_;
    int saved_ = -1;
};

// Passes everything to another access and records each read attempt; a hook sees
// the block of every attempt before it is made.
class RecordingAccess final : public CdAccess {
public:
    explicit RecordingAccess(std::shared_ptr<CdAccess> inner) : inner_(std::move(inner)) {}

    std::vector<CdDrive> listDrives() const override { return inner_->listDrives(); }
    std::unique_ptr<CdDisc> open(const CdDrive& drive) const override
    {
        auto disc = inner_->open(drive);
        return disc ? std::make_unique<Disc>(*this, std::move(disc)) : nullptr;
    }

    std::function<void(std::int32_t block)> onRead;

    std::vector<std::pair<std::int32_t, std::int32_t>> reads() const
    {
        std::lock_guard lock(mutex_);
        return reads_;
    }

private:
    class Disc final : public CdDisc {
    public:
        Disc(const RecordingAccess& owner, std::unique_ptr<CdDisc> inner) : owner_(owner), inner_(std::move(inner)) {}
        std::optional<CdToc> readToc() override { return inner_->readToc(); }
        bool mediaChanged() override { return inner_->mediaChanged(); }
        bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) override
        {
            {
                std::lock_guard lock(owner_.mutex_);
                owner_.reads_.emplace_back(block, count);
            }
            if (owner_.onRead)
                owner_.onRead(block);
            return inner_->readFrames(block, count, out);
        }

    private:
        const RecordingAccess& owner_;
        std::unique_ptr<CdDisc> inner_;
    };

    std::shared_ptr<CdAccess> inner_;
    mutable std::mutex mutex_;
    mutable std::vector<std::pair<std::int32_t, std::int32_t>> reads_;
};

struct RipOutcome {
    RipEnd end;
    std::string trace;
};

class RipTest : public ::testing::Test {
protected:
    RipTest()
        : disc_(test::writeDiscImage(dir_.path(), "disc", {{1000}, {520}, {160, true}, {60}})),
          access_(std::make_shared<RecordingAccess>(makeLibcdioAccess({false, {disc_.cue.string()}})))
    {
    }

    RipOutcome rip(const CdAccess& access, const std::string& drive, const std::string& track,
                   const std::filesystem::path& wav)
    {
        const jobs::JobTicket ticket(fields_, &jobs::JobFields::ripStatus);
        CapturedStdout out(dir_ / "stdout.txt");
        const RipEnd end = ripTrack(access, {drive, track, wav.string()}, ticket);
        return {end, out.text()};
    }
    RipOutcome rip(const std::string& drive, const std::string& track) { return rip(*access_, drive, track, wav()); }

    std::filesystem::path wav() const { return dir_ / "track.wav"; }
    std::string image(int track, int frames) const { return imageFrames(disc_.starts[track], frames); }

    TempDir dir_;
    test::DiscImage disc_;
    std::shared_ptr<RecordingAccess> access_;
    jobs::SharedJobFields fields_ = std::make_shared<jobs::JobFields>();
};

TEST_F(RipTest, ThousandFrameTrackIsCopiedWholeInChunksOfTwentySix)
{
    std::vector<std::int32_t> statusBeforeRead;
    access_->onRead = [&](std::int32_t) { statusBeforeRead.push_back(fields_->ripStatus.value()); };
    const RipOutcome outcome = rip("0", "0");
    ASSERT_EQ(outcome.end, RipEnd::done);

    const std::string file = readFile(wav());
    ASSERT_EQ(file.size(), 44u + 2352000u);
    EXPECT_EQ(le32(file, 4), 2352036u);
    EXPECT_EQ(le32(file, 40), 2352000u);
    EXPECT_EQ(file, headerBytes(2352000) + image(0, 1000));

    const auto reads = access_->reads();
    ASSERT_EQ(reads.size(), 39u);
    for (std::size_t i = 0; i < 38; ++i)
        EXPECT_EQ(reads[i], std::make_pair(static_cast<std::int32_t>(26 * i), 26)) << "read " << i;
    EXPECT_EQ(reads[38], std::make_pair(988, 12));

    EXPECT_EQ(outcome.trace, "0: 1000\n130: 870\n260: 740\n390: 610\n520: 480\n650: 350\n780: 220\n910: 90\n");

    // Progress is stored once per chunk: the percentage done before each read.
    ASSERT_EQ(statusBeforeRead.size(), 39u);
    EXPECT_EQ(statusBeforeRead[0], 0);
    EXPECT_EQ(statusBeforeRead[1], 2);    // 26 of 1000
    EXPECT_EQ(statusBeforeRead[4], 10);   // 104 of 1000
    EXPECT_EQ(statusBeforeRead[38], 98);  // 988 of 1000
    for (std::size_t i = 1; i < statusBeforeRead.size(); ++i)
        EXPECT_GE(statusBeforeRead[i], statusBeforeRead[i - 1]);
}

TEST_F(RipTest, TrackOfWholeChunksHasNoShortRead)
{
    ASSERT_EQ(rip("0", "1").end, RipEnd::done);
    EXPECT_EQ(readFile(wav()), headerBytes(520 * 2352) + image(1, 520));
    const auto reads = access_->reads();
    ASSERT_EQ(reads.size(), 20u);
    for (const auto& [block, count] : reads)
        EXPECT_EQ(count, 26) << "at " << block;
    EXPECT_EQ(reads.front().first, 1000);
    EXPECT_EQ(reads.back().first, 1000 + 19 * 26);
}

TEST_F(RipTest, IndexTextsAreReadAsLeadingNumbers)
{
    const struct {
        const char* drive;
        const char* track;
        int copiedTrack;
        int frames;
    } cases[] = {
        {"0", "1.9", 1, 520},
        {"x", "x", 0, 1000},
        {" 0.7", "3abc", 3, 60},
        {"-0.5", "+1e0", 1, 520},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(rip(c.drive, c.track).end, RipEnd::done) << c.drive << " / " << c.track;
        EXPECT_EQ(readFile(wav()), headerBytes(static_cast<std::uint32_t>(c.frames) * 2352) + image(c.copiedTrack, c.frames))
            << c.drive << " / " << c.track;
    }
}

TEST_F(RipTest, RefusedRequestsEndWithTheirCodeAndWriteNothing)
{
    const auto single = test::writeDiscImage(dir_.path(), "single", {{300, true}});
    RecordingAccess twoDiscs(makeLibcdioAccess({false, {disc_.cue.string(), single.cue.string()}}));
    const struct {
        const char* drive;
        const char* track;
        RipEnd end;
    } cases[] = {
        {"-1", "0", RipEnd::badDrive},
        {"2", "0", RipEnd::badDrive},
        {"1e30", "0", RipEnd::badDrive},
        {"nan", "0", RipEnd::badDrive},
        {"0", "4", RipEnd::badTrack},
        {"0", "-1", RipEnd::badTrack},
        {"0", "inf", RipEnd::badTrack},
        {"0", "4294967296", RipEnd::badTrack},
        {"0", "2", RipEnd::dataTrack},
        {"1", "0", RipEnd::singleTrack},
        {"1", "1", RipEnd::badTrack},
    };
    for (const auto& c : cases) {
        const RipOutcome outcome = rip(twoDiscs, c.drive, c.track, wav());
        EXPECT_EQ(outcome.end, c.end) << c.drive << " / " << c.track;
        EXPECT_EQ(outcome.trace, "");
        EXPECT_FALSE(std::filesystem::exists(wav())) << c.drive << " / " << c.track;
    }
    EXPECT_TRUE(twoDiscs.reads().empty());
}

TEST_F(RipTest, OnlyARegularFileIsWrittenAndOnlyANewOneIsMadePrivate)
{
    const auto victim = dir_ / "victim";
    for (const auto& file : {victim, dir_ / "old.wav"}) {
        test::writeFile(file, "keep me");
        std::filesystem::permissions(file, std::filesystem::perms(0644));
    }
    std::filesystem::create_symlink(victim, dir_ / "link.wav");
    std::filesystem::create_symlink(dir_ / "made-through-link", dir_ / "dangling.wav");
    ASSERT_EQ(mkfifo((dir_ / "pipe.wav").c_str(), 0600), 0);
    const struct {
        std::filesystem::path path;
        unsigned mode;  // of the copy written; 0: refused with 208
    } cases[] = {
        {dir_ / "no-such-folder" / "t.wav", 0}, {dir_.path(), 0}, {dir_ / "link.wav", 0}, {dir_ / "dangling.wav", 0},
        {dir_ / "pipe.wav", 0},  // refused without waiting for a reader
        {dir_ / "old.wav", 0644}, {dir_ / "new.wav", 0600},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rip(*access_, "0", "1", c.path).end, c.mode ? RipEnd::done : RipEnd::fileFailed) << c.path;
        if (c.mode) {
            EXPECT_EQ(readFile(c.path), headerBytes(520 * 2352) + image(1, 520)) << c.path;
            EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(c.path).permissions()), c.mode) << c.path;
        }
    }
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_EQ(std::filesystem::status(victim).permissions(), std::filesystem::perms(0644));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "made-through-link"));

    // A disk that fills up: files may grow to 100 frames in this process for a moment.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{100 * 2352, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const RipEnd end = rip("0", "1").end;
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(end, RipEnd::fileFailed);
}

TEST_F(RipTest, ImageShorterThanItsCueGives209AndKeepsWhatWasRead)
{
    // Track 2 claims 300 frames from block 200, but the .bin ends at block 300.
    const auto cut = test::writeDiscImage(dir_.path(), "cut", {{200}, {300}, {50, true}}, 300);
    RecordingAccess access(makeLibcdioAccess({false, {cut.cue.string()}}));
    ASSERT_EQ(rip(access, "0", "1", wav()).end, RipEnd::readFailed);
    // Chunks from 200 to 278 read fine; the one from 278 runs past the end, three times.
    EXPECT_EQ(readFile(wav()), headerBytes(0) + imageFrames(200, 78));
    const auto reads = access.reads();
    ASSERT_EQ(reads.size(), 6u);
    for (std::size_t i = 3; i < 6; ++i)
        EXPECT_EQ(reads[i], std::make_pair(278, 26));
}

TEST_F(RipTest, BreakStopsAfterTheCurrentChunkWithTheHeaderLeftAtZero)
{
    fields_->breakFlag = true;
    ASSERT_EQ(rip("0", "0").end, RipEnd::stopped);
    EXPECT_EQ(readFile(wav()), headerBytes(0) + image(0, 26));
    EXPECT_EQ(access_->reads().size(), 1u);
}

TEST_F(RipTest, BreakDuringTheLastChunkStillStops)
{
    access_->onRead = [&](std::int32_t block) {
        if (block == 988)
            fields_->breakFlag = true;
    };
    const RipOutcome outcome = rip("0", "0");
    ASSERT_EQ(outcome.end, RipEnd::stopped);
    const std::string file = readFile(wav());
    EXPECT_EQ(file, headerBytes(0) + image(0, 1000));
    EXPECT_EQ(le32(file, 4), 36u);
    EXPECT_EQ(access_->reads().size(), 39u);
    // The last progress stored is the one before the last chunk: a stopped copy never shows 100.
    EXPECT_EQ(fields_->ripStatus.value(), 98);
}

// Fake drive: retries, missing handle and table, and the handle released on every path.

CdToc fakeToc()
{
    return CdToc{1, 2, {{100, false}, {200, false}, {400, false}}};  // 100 and 200 frames
}

// The frames the fake drive delivers for blocks [from, from + count).
std::string fakeFrames(std::int32_t from, std::int32_t count)
{
    std::string bytes;
    for (std::int32_t block = from; block < from + count; ++block)
        for (std::size_t i = 0; i < kFrameBytes; ++i)
            bytes += static_cast<char>(fakeFrameByte(block, i));
    return bytes;
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
        return FakeDriveSetup{.product = std::to_string(failures), .toc = fakeToc(), .failuresAtBlock = {{152, failures}}};
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
         RipEnd::discChanged, 3, 5, 0},
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

// The job as the page starts it: on its own thread, polled until its end value.

std::int32_t waitForEnd(const jobs::JobFields& fields, std::vector<std::int32_t>* seen = nullptr)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::int32_t status = fields.ripStatus.value();
    while (status < 100 && std::chrono::steady_clock::now() < deadline) {
        if (seen && (seen->empty() || seen->back() != status))
            seen->push_back(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        status = fields.ripStatus.value();
    }
    return status;
}

TEST_F(RipTest, StartedJobReportsProgressAndEndsAt100)
{
    CapturedStdout out(dir_ / "stdout.txt");
    fields_->breakFlag = true;  // a start clears an earlier break
    ASSERT_TRUE(startRip(fields_, access_, "0", "0", wav().string()));
    std::vector<std::int32_t> seen;
    EXPECT_EQ(waitForEnd(*fields_, &seen), 100);
    EXPECT_EQ(out.text().substr(0, 8), "0: 1000\n");
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    for (std::int32_t status : seen)
        EXPECT_LT(status, 100);
    EXPECT_EQ(readFile(wav()), headerBytes(2352000) + image(0, 1000));
}

TEST_F(RipTest, StartedJobReportsItsFailureCode)
{
    ASSERT_TRUE(startRip(fields_, access_, "0", "2", wav().string()));
    EXPECT_EQ(waitForEnd(*fields_), 206);
    ASSERT_TRUE(startRip(fields_, access_, "-1", "0", wav().string()));
    EXPECT_EQ(waitForEnd(*fields_), 201);
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
    EXPECT_EQ(waitForEnd(*fields), 100);
    EXPECT_EQ(readFile(dir / "t.wav"), headerBytes(100 * 2352) + fakeFrames(100, 100));
    // The old rip's reads end at the stalled one; the new one's start from the track's start.
    std::vector<std::int32_t> blocks;
    for (const auto& read : access->reads())
        blocks.push_back(read.block);
    EXPECT_EQ(blocks, (std::vector<std::int32_t>{100, 126, 152, 100, 126, 152, 178}));
}

}  // namespace
}  // namespace quillon::cd
