#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "tests/fake_cd_access.h"
#include "cd/libcdio_access.h"
#include "cd/rip_job.h"
#include "cd/wav_header.h"
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
    const auto single = test::writeDiscImage(dir_.path(), "single", {{300}});
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

TEST_F(RipTest, OutputThatCannotBeCreatedOrWrittenGives208)
{
    EXPECT_EQ(rip(*access_, "0", "1", dir_ / "no-such-folder" / "t.wav").end, RipEnd::fileFailed);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "no-such-folder"));
    EXPECT_EQ(rip(*access_, "0", "1", dir_.path()).end, RipEnd::fileFailed);
    // A device that takes no data: the copy must not be reported as done.
    EXPECT_EQ(rip(*access_, "0", "1", "/dev/full").end, RipEnd::fileFailed);
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

TEST(RipRetries, AChunkIsTriedThreeTimesBeforeTheRipFails)
{
    const struct {
        int failures;
        RipEnd end;
        std::size_t attemptsAtBlock;
        std::size_t totalReads;
    } cases[] = {
        {0, RipEnd::done, 1, 4},
        {1, RipEnd::done, 2, 5},
        {2, RipEnd::done, 3, 6},
        {3, RipEnd::readFailed, 3, 5},  // chunks at 100 and 126, then three at 152
        {5, RipEnd::readFailed, 3, 5},
    };
    for (const auto& c : cases) {
        TempDir dir;
        FakeCdAccess access({{"FAKE", true, fakeToc(), {{152, c.failures}}}});
        auto fields = std::make_shared<jobs::JobFields>();
        const jobs::JobTicket ticket(fields, &jobs::JobFields::ripStatus);
        CapturedStdout out(dir / "stdout.txt");
        EXPECT_EQ(ripTrack(access, {"0", "0", (dir / "t.wav").string()}, ticket), c.end) << c.failures;

        const auto reads = access.reads();
        EXPECT_EQ(reads.size(), c.totalReads) << c.failures;
        EXPECT_EQ(std::count_if(reads.begin(), reads.end(), [](const auto& r) { return r.block == 152; }),
                  static_cast<std::ptrdiff_t>(c.attemptsAtBlock))
            << c.failures;
        EXPECT_EQ(access.opens(), 1);
        EXPECT_EQ(access.closes(), 1);

        // The file holds exactly the frames delivered, in order.
        const int frames = c.end == RipEnd::done ? 100 : 52;
        std::string audio;
        for (int block = 100; block < 100 + frames; ++block)
            for (std::size_t i = 0; i < kFrameBytes; ++i)
                audio += static_cast<char>(fakeFrameByte(block, i));
        const std::uint32_t size = c.end == RipEnd::done ? 100 * 2352 : 0;
        EXPECT_EQ(readFile(dir / "t.wav"), headerBytes(size) + audio) << c.failures;
        EXPECT_EQ(out.text(), "100: 100\n") << c.failures;
    }
}

TEST(RipRetries, NoHandleNoTableAndEveryHandleReleased)
{
    const struct {
        FakeDriveSetup drive;
        RipEnd end;
        int opens;
    } cases[] = {
        {{"NOHANDLE", false, fakeToc(), {}}, RipEnd::noHandle, 0},
        {{"EMPTY", true, std::nullopt, {}}, RipEnd::noToc, 1},
        {{"BLANK", true, CdToc{}, {}}, RipEnd::noToc, 1},
        {{"EMPTYTRACK", true, CdToc{1, 2, {{100, false}, {100, false}, {400, false}}}, {}}, RipEnd::readFailed, 1},
        {{"BACKWARDS", true, CdToc{1, 2, {{100, false}, {50, false}, {400, false}}}, {}}, RipEnd::readFailed, 1},
        {{"GOOD", true, fakeToc(), {}}, RipEnd::done, 1},
    };
    for (const auto& c : cases) {
        TempDir dir;
        FakeCdAccess access({c.drive});
        auto fields = std::make_shared<jobs::JobFields>();
        const jobs::JobTicket ticket(fields, &jobs::JobFields::ripStatus);
        CapturedStdout out(dir / "stdout.txt");
        EXPECT_EQ(ripTrack(access, {"0", "0", (dir / "t.wav").string()}, ticket), c.end) << c.drive.product;
        EXPECT_EQ(access.opens(), c.opens) << c.drive.product;
        EXPECT_EQ(access.closes(), c.opens) << c.drive.product;
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

}  // namespace
}  // namespace quillon::cd
