// The CD drives, their listings and the rip, on a scripted drive and on generated images.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <future>
#include <map>
#include <mutex>

#include "audio/transcode_job.h"
#include "cd/cd_listing.h"
#include "cd/index_text.h"
#include "cd/libcdio_access.h"
#include "cd/listing_calls.h"
#include "cd/rip_job.h"
#include "cd/wav_header.h"
#include "tests/cd_image_builder.h"
#include "tests/process_probe.h"

namespace quillon::cd {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace std::chrono_literals;
using namespace base;
using namespace test;

// A scripted drive: chosen tables of contents, failed reads, a disc changed
// mid-read, and a record of what was asked of it.
struct FakeDrive {
    std::string product{};
    std::optional<CdToc> toc{};  // nothing: no disc
    bool handle = true;
    std::map<std::int32_t, int> failures{};  // failed attempts at a block before one succeeds
    std::optional<std::int32_t> changeAt{};  // the disc is swapped as this block is read
    bool changedToNothing = false;           // ... or taken out
    int change = 0;                          // 1: changed and not yet asked, 2: asked
};

class FakeCdAccess final : public CdAccess {
public:
    explicit FakeCdAccess(std::vector<FakeDrive> drives) : drives_(std::move(drives)) {}
    std::vector<CdDrive> listDrives() const override
    {
        std::vector<CdDrive> list;
        for (std::size_t i = 0; i < drives_.size(); ++i)
            list.push_back({std::to_string(i), drives_[i].product, CdDriveKind::Device});
        return list;
    }
    std::unique_ptr<CdDisc> open(const CdDrive& drive) const override
    {
        onOpen();
        FakeDrive& fake = drives_.at(std::stoul(drive.address));
        return fake.handle ? std::make_unique<Disc>(*this, fake) : nullptr;
    }
    // The block and frame count of every read attempt.
    [[nodiscard]] std::vector<std::pair<std::int32_t, std::int32_t>> reads() const
    {
        const std::lock_guard lock(mutex_);
        return reads_;
    }

    std::function<void(std::int32_t block)> onRead = [](std::int32_t) {};  // before each read is answered
    std::function<void()> onOpen = [] {};                                  // before each open, which waits for it
    mutable std::atomic<int> closes{0}, tocReads{0};                       // handles released, tables read

private:
    class Disc final : public CdDisc {
    public:
        Disc(const FakeCdAccess& owner, FakeDrive& drive) : owner_(owner), drive_(drive) {}
        ~Disc() override { ++owner_.closes; }
        std::optional<CdToc> readToc() override
        {
            ++owner_.tocReads;
            return drive_.toc;
        }
        bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) override
        {
            owner_.onRead(block);
            const std::lock_guard lock(owner_.mutex_);
            owner_.reads_.emplace_back(block, count);
            if (drive_.changeAt && block >= *drive_.changeAt && drive_.change == 0)
                drive_.change = 1;
            if (drive_.change && drive_.changedToNothing)
                return false;
            if (int& failures = drive_.failures[block]; failures-- > 0)
                return false;
            // The frames of a disc image; a changed disc delivers other bytes.
            const std::string frames = imageFrames(block, count);
            for (std::size_t i = 0; i < frames.size(); ++i)
                out[i] = static_cast<std::uint8_t>(frames[i] ^ (drive_.change ? 0x5A : 0));
            return true;
        }
        bool mediaChanged() override
        {
            const std::lock_guard lock(owner_.mutex_);
            const bool changed = drive_.change == 1;
            drive_.change = changed ? 2 : drive_.change;
            return changed;
        }

    private:
        const FakeCdAccess& owner_;
        FakeDrive& drive_;
    };

    mutable std::vector<FakeDrive> drives_;
    mutable std::mutex mutex_;
    mutable std::vector<std::pair<std::int32_t, std::int32_t>> reads_;
};

// A header (its bytes are checked below) and frames as an image or the fake drive delivers them.
std::string wav(std::uint32_t dataBytes, std::int32_t from = 0, std::int32_t count = 0)
{
    const auto header = wavHeader(dataBytes);
    return std::string(header.begin(), header.end()) + imageFrames(from, count);
}

std::int32_t rip(const CdAccess& access, std::string drive, std::string track, const fs::path& file,
                 std::string* trace = nullptr, jobs::SharedJobFields fields = std::make_shared<jobs::JobFields>())
{
    const jobs::JobTicket ticket(std::move(fields), &jobs::JobFields::ripStatus);
    testing::internal::CaptureStdout();
    const std::int32_t end = ripTrack(access, {std::move(drive), std::move(track), file.string()}, ticket);
    const std::string out = testing::internal::GetCapturedStdout();
    if (trace)
        *trace = out;
    return end;
}

// Tracks of 1000, 520 and 60 frames, with a data track between the last two.
const CdToc kDisc{1, 4, {{0, false}, {1000, false}, {1520, true}, {1680, false}, {1740, false}}};
const CdToc kShort{1, 2, {{100, false}, {200, false}, {400, false}}};  // 100 and 200 frames

TEST(IndexText, ReadsTheLeadingDecimalNumberTruncatedTowardZero)
{
    using Cases = std::vector<std::pair<const char*, std::optional<std::int32_t>>>;
    const auto none = std::nullopt;
    const Cases small{
        {"3", 3},    {"1.9", 1},    {"-1.9", -1},   {"-0.5", 0},   {"+2", 2},         {"  \t\n7", 7}, {"12abc", 12},
        {"x", 0},    {"", 0},       {"- 1", 0},     {".5", 0},     {"5.", 5},         {"2.5E1", 25},  {"1e+", 1},
        {"0x10", 0}, {"inf", none}, {"1e30", none}, {"1e-400", 0}, {" NaN(1)", none},
    };
    const Cases limits{
        {"2147483647.9", INT32_MAX}, {"-2147483648", INT32_MIN}, {"2147483648", none}, {"-2147483649", none}};
    for (const Cases& cases : {small, limits})
        for (const auto& [text, expected] : cases)
            EXPECT_EQ(parseIndexText(text), expected) << '"' << text << '"';
}

TEST(ImageList, ProductTextIsTheFileNameCutToSixteenBytes)
{
    EXPECT_EQ(imageProductText("plain.cue"), "plain.cue");
    EXPECT_EQ(imageProductText("/discs/a-much-longer-name.cue"), "a-much-longer-na");
    // "a" and eight two-byte letters: cutting at 16 bytes would split the last one.
    EXPECT_EQ(imageProductText("/d/a\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4.cue"),
              "a\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4");
}

TEST(TracksInfo, ListsEachTrackOfAnImage)
{
    TempDir dir;
    const std::pair<std::vector<ImageTrack>, std::string> discs[] = {
        {{{1000}, {300}, {200, true}, {150}}, "1000:::300:::DATA:::150"},
        {{{500}}, "500"},  // a one-track audio disc
        {{{500, true}}, "ERROR: Not an audio CD"},
        {{{300, true}, {200, true}}, "DATA:::DATA"}};
    std::vector<std::string> images;
    for (const auto& [tracks, listing] : discs)
        images.push_back(writeDiscImage(dir.path(), std::to_string(images.size()), tracks).cue.string());
    // A .toc naming its data file relative to itself opens from another working folder.
    images.push_back(writeDiscImage(dir.path(), "toc", {{300}, {226}}, {}, true).cue.string());
    // Track 2 claims 300 frames from block 200, but the .bin ends at block 300.
    images.push_back(writeDiscImage(dir.path(), "cut", {{200}, {300}, {50, true}}, 300).cue.string());
    ASSERT_NE(std::filesystem::current_path(), dir.path());
    const auto access = makeLibcdioAccess({false, images});
    for (std::size_t drive = 0; drive < 4; ++drive)
        EXPECT_EQ(getTracksInfo(*access, static_cast<std::int32_t>(drive)), discs[drive].second) << drive;
    EXPECT_EQ(getTracksInfo(*access, 4), "300:::226");
    for (const std::int32_t drive : {6, -1, INT32_MIN})
        EXPECT_EQ(getTracksInfo(*access, drive), "ERROR: Invalid Drive ID") << drive;
    // Chunks from 200 to 278 read fine; the one from 278 runs past the end.
    ASSERT_EQ(rip(*access, "5", "1", dir / "t.wav"), kRipReadFailed);
    EXPECT_EQ(readFile(dir / "t.wav"), wav(0, 200, 78));

    // Images no disc could be, none handed to libcdio (the image check's fuzzer holds long tables and .toc pipes): a
    // sheet whose data file, the .bin libcdio reads whatever its FILE line names, is a pipe or missing; a pipe itself.
    for (const char* pipe : {"pipe.cue", "piped.bin", "pipe.nrg"})
        ASSERT_EQ(::mkfifo((dir / pipe).c_str(), 0600), 0);
    for (const char* sheet : {"piped.cue", "missing.cue"})  // naming 0.bin, a regular file
        writeFile(dir / sheet, "FILE 0.bin BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    std::vector<std::string> badImages;
    for (const char* name : {"pipe.cue", "pipe.nrg", "piped.cue", "missing.cue"})
        badImages.push_back((dir / name).string());
    const auto badAccess = makeLibcdioAccess({false, badImages});
    for (std::size_t drive = 0; drive < badImages.size(); ++drive)
        EXPECT_EQ(getTracksInfo(*badAccess, static_cast<std::int32_t>(drive)), "ERROR: No CD inserted") << drive;
}

TEST(KernelDrives, DrivesAreListedWithoutOpeningThem)
{
    TempDir dir;
    const auto block = dir / "block", dev = dir / "dev";
    for (const char* name : {"sda", "sr", "srx", "sr10", "sr2", "sr0"})
        std::filesystem::create_directories(block / name / "device");
    writeFile(block / "sr0/device/model", "CD/DVD WRITER 12\n");
    writeFile(block / "sr2/device/model", "Slim Drive      \n");
    // A node that exists but that no one, root included, can open as a drive.
    std::filesystem::create_directories(dev / "sr0");

    const auto access = makeLibcdioAccess({true, {}, block, dev});
    const auto drives = access->listDrives();
    ASSERT_GE(drives.size(), 3u);  // this machine's own drives, if any, follow
    EXPECT_EQ(std::make_pair(drives[0].address, drives[0].product),
              std::make_pair((dev / "sr0").string(), "CD/DVD WRITER 12"s));
    EXPECT_EQ(std::make_pair(drives[1].address, drives[1].product),
              std::make_pair((dev / "sr2").string(), "Slim Drive"s));
    EXPECT_EQ(std::make_pair(drives[2].address, drives[2].product), std::make_pair((dev / "sr10").string(), "sr10"s));
    const group* own = getgrgid(getegid());
    ASSERT_TRUE(own);
    EXPECT_EQ(getTracksInfo(*access, 0),
              "ERROR: Could not get handle to CD (" + (dev / "sr0").string() + ", group " + own->gr_name + ")");
    EXPECT_EQ(getTracksInfo(*access, 1), "ERROR: Could not get handle to CD");  // no node: nothing to name
}

TEST(ListingCalls, ASecondAskOfTheSameDriveJoinsTheRunningListing)
{
    const CdToc toc{1, 2, {{0, false}, {500, false}, {800, false}}};
    auto access =
        std::make_shared<FakeCdAccess>(std::vector<FakeDrive>{{.product = "A", .toc = toc}, {.product = "B"}});
    std::atomic<int> opensAsked{0}, wakes{0};
    std::promise<void> spunUp;
    access->onOpen = [&, gate = spunUp.get_future().share()] {
        ++opensAsked;
        gate.wait();
    };
    const auto active = std::make_shared<jobs::ActiveJobs>();
    ListingCalls calls(access, active, [&] { ++wakes; });

    const auto first = calls.tracksInfo(0), again = calls.tracksInfo(0), other = calls.tracksInfo(1);
    EXPECT_EQ(calls.drivesInfo().get(), "A:::B");  // listing the drives opens none
    EXPECT_TRUE(waitUntil([&] { return opensAsked == 2; }));
    EXPECT_FALSE(active->waitUntilIdle(0ms));  // the stop at exit waits for them
    spunUp.set_value();
    EXPECT_EQ(first.get() + " " + again.get() + " " + other.get(), "500:::300 500:::300 ERROR: No CD inserted");
    // Once answered, the same question goes to the drive again.
    EXPECT_EQ(calls.tracksInfo(0).get(), "500:::300");
    EXPECT_EQ(opensAsked, 3);
    // Each listing wakes the waiting thread once, after its answer is set.
    EXPECT_TRUE(waitUntil([&] { return wakes == 4; }));
    EXPECT_TRUE(active->waitUntilIdle(5s));
}

TEST(WavHeader, DescribesSixteenBitStereoAt44100)
{
    EXPECT_EQ(wav(2352000), std::string("RIFF\xA4\xE3\x23\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00"
                                        "\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00"
                                        "data\x80\xE3\x23\x00",
                                        44));
    EXPECT_FALSE(writeWavHeader(nullptr, 0));
}

// Listing and rip side by side; each opens and closes the drive and reads its table once.
TEST(Rip, EveryRequestEndsWithItsCode)
{
    // Audio at 0 and 1000, data from 13400, lead-out at 20000; last session at the given block.
    const auto sessions = [](std::int32_t lastSession) {
        return CdToc{1, 3, {{0, false}, {1000, false}, {13400, true}, {20000, false}}, lastSession};
    };
    const CdToc from3{3, 5, {{0, false}, {100, true}, {300, false}, {350, false}}};
    const std::string listed = "1000:::520:::DATA:::60";
    // The end is a number to the pages, not a name; first and frames: what a finished rip copied.
    struct Request {
        FakeDrive disc;
        std::string listing;
        const char *drive, *track;
        int end;
        std::int32_t first, frames;
    };
    const Request cases[] = {
        {{.toc = kDisc}, listed, "1", "0", 201, 0, 0},
        {{.toc = kShort, .handle = false}, "ERROR: Could not get handle to CD", "0", "0", 202, 0, 0},
        {{}, "ERROR: No CD inserted", "0", "0", 203, 0, 0},
        {{.toc = CdToc{}}, "ERROR: No CD inserted", "0", "0", 203, 0, 0},
        {{.toc = kDisc}, listed, "0", "4", 204, 0, 0},
        {{.toc = kDisc}, listed, "0", "4294967296", 204, 0, 0},
        {{.toc = CdToc{1, 1, {{150, true}, {290, false}}}}, "ERROR: Not an audio CD", "0", "0", 205, 0, 0},
        {{.toc = kDisc}, listed, "0", "2.9", 206, 0, 0},
        {{.toc = CdToc{1, 2, {{100, false}, {100, false}, {400, false}}}}, "0:::300", "0", "0", 209, 0, 0},
        {{.toc = CdToc{1, 2, {{100, false}, {50, false}, {400, false}}}}, "-50:::350", "0", "0", 209, 0, 0},
        {{.toc = kDisc}, listed, "x", " 3abc", 100, 1680, 60},  // leading numbers: drive 0, track 3
        {{.toc = kShort}, "100:::200", "0", "1", 100, 200, 200},
        {{.toc = CdToc{1, 1, {{150, false}, {290, false}}}}, "140", "0", "0", 100, 150, 140},
        {{.toc = from3}, "100:::DATA:::50", "0", "2", 100, 300, 50},  // the disc's first track is track 3
        // An enhanced CD: the track before the data session ends before its gap.
        {{.toc = sessions(13400)}, "1000:::1000:::DATA", "0", "1", 100, 1000, 1000},
        {{.toc = sessions(0)}, "1000:::12400:::DATA", "0", "0", 100, 0, 1000},      // one session
        {{.toc = sessions(30000)}, "1000:::12400:::DATA", "0", "0", 100, 0, 1000},  // data in the audio's session
        {{.toc = sessions(1500)}, "1000:::12400:::DATA", "0", "0", 100, 0, 1000},   // no sane session end
    };
    for (const auto& [disc, listing, drive, track, end, first, frames] : cases) {
        const std::string name = listing + " " + drive + "/" + track;
        TempDir dir;
        FakeCdAccess access({disc});
        EXPECT_EQ(getTracksInfo(access, 0), listing);
        std::string trace;
        EXPECT_EQ(static_cast<int>(rip(access, drive, track, dir / "t.wav", &trace)), end) << name;
        const int opens = disc.handle ? 1 + (end != 201) : 0;
        EXPECT_EQ(std::make_pair(access.closes.load(), access.tocReads.load()), std::make_pair(opens, opens)) << name;
        if (end == 100)
            EXPECT_EQ(readFile(dir / "t.wav"), wav(frames * 2352u, first, frames)) << name;
        else
            EXPECT_FALSE(fs::exists(dir / "t.wav")) << name;
        EXPECT_EQ(trace.empty(), end != 100) << name;
        for (const auto& [block, count] : access.reads())
            EXPECT_TRUE(block >= first && block + count <= first + frames) << name;
    }
}

TEST(Rip, WritesOnlyToARegularFile)
{
    TempDir dir;
    FakeCdAccess access({{.toc = kShort}});
    for (const auto& file : {dir / "victim", dir / "old.wav"}) {
        writeFile(file, "keep me");
        fs::permissions(file, fs::perms(0644));
    }
    fs::create_symlink(dir / "victim", dir / "link.wav");
    fs::create_symlink(dir / "made-through-link", dir / "dangling.wav");
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    const std::pair<fs::path, unsigned> cases[] = {
        {dir / "no-such-folder/t.wav", 0}, {dir.path(), 0},        {dir / "link.wav", 0},
        {dir / "dangling.wav", 0},         {dir / "pipe.wav", 0},     // refused without waiting for a reader
        {dir / "old.wav", 0644},           {dir / "new.wav", 0600}};  // the copy's mode; 0: refused with 208
    for (const auto& [path, mode] : cases) {
        EXPECT_EQ(rip(access, "0", "0", path), mode ? kRipDone : kRipFileFailed) << path;
        if (mode) {
            EXPECT_EQ(readFile(path), wav(100 * 2352, 100, 100)) << path;
            EXPECT_EQ(static_cast<unsigned>(fs::status(path).permissions()), mode) << path;
        }
    }
    EXPECT_EQ(readFile(dir / "victim"), "keep me");
    EXPECT_EQ(fs::status(dir / "victim").permissions(), fs::perms(0644));
    EXPECT_FALSE(fs::exists(dir / "made-through-link"));

    // A disk that fills up: files may grow to 50 frames in this process for a moment.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{rlim_t{50} * 2352, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::int32_t end = rip(access, "0", "0", dir / "full.wav");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(end, kRipFileFailed);
}

// A track of 1000 frames: 38 chunks of 26 frames and one of 12, the trace every fifth read.
TEST(Rip, ReadsInRetriedChunksUntilItEnds)
{
    const auto failing = [](int failures) { return FakeDrive{.toc = kDisc, .failures = {{52, failures}}}; };
    // The frames kept sit behind a header that gives the data size only when done; a stopped copy never shows 100.
    struct Chunked {
        FakeDrive drive;
        std::int32_t end;
        int attemptsAt52;
        std::size_t reads;
        int framesKept, lastProgress;
        std::int32_t breakAt;  // the block whose read sets the break
    };
    const Chunked cases[] = {
        {failing(0), kRipDone, 1, 39, 1000, 98, -1},
        {failing(2), kRipDone, 3, 41, 1000, 98, -1},
        {failing(3), kRipReadFailed, 3, 5, 52, 5, -1},
        {failing(2), kRipStopped, 1, 3, 52, 5, 52},  // tested between attempts
        {failing(0), kRipStopped, 1, 3, 78, 7, 52},  // and after each chunk
        {failing(0), kRipStopped, 1, 39, 1000, 98, 988},
        {{.toc = kDisc, .changeAt = 52}, kRipDiscChanged, 1, 3, 0, 5, -1},
        {{.toc = kDisc, .changeAt = 52, .changedToNothing = true}, kRipDiscChanged, 3, 5, 0, 5, -1},
    };
    for (const auto& c : cases) {
        const auto row = &c - cases;
        const auto& [drive, end, attemptsAt52, readCount, framesKept, lastProgress, breakAt] = c;
        TempDir dir;
        FakeCdAccess access({drive});
        auto fields = std::make_shared<jobs::JobFields>();
        std::vector<std::int32_t> progress;  // before each read
        access.onRead = [&, breakAt = breakAt](std::int32_t block) {
            progress.push_back(fields->ripStatus.value());
            if (block == breakAt)
                fields->requestBreak();
        };
        std::string trace;
        EXPECT_EQ(rip(access, "0", "0", dir / "t.wav", &trace, fields), end) << row;
        const auto reads = access.reads();
        EXPECT_EQ(reads.size(), readCount) << row;
        EXPECT_EQ(std::count(reads.begin(), reads.end(), std::make_pair(52, 26)), attemptsAt52) << row;
        EXPECT_EQ(access.closes, 1);
        EXPECT_EQ(fields->ripStatus.value(), lastProgress) << row;
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()) && progress.at(1) == 2) << row;
        EXPECT_EQ(trace, readCount >= 39
                             ? "0: 1000\n130: 870\n260: 740\n390: 610\n520: 480\n650: 350\n780: 220\n910: 90\n"
                             : "0: 1000\n")
            << row;
        EXPECT_EQ(readFile(dir / "t.wav"), wav(end == kRipDone ? 1000 * 2352 : 0, 0, framesKept)) << row;
    }
}

// A transcode's clean-up of wave files (another.wav gone shows it ran) leaves alone the one a rip is writing.
TEST(Rip, ATranscodeLeavesTheWaveFileARipIsWriting)
{
    TempDir dir;
    const audio::ToolPaths tools{dir.path(), dir / "tmp", ""};
    fs::create_directories(tools.tempDir);
    writeScript(dir / "ffmpeg", "exit 0\n");
    writeFile(tools.tempDir / "another.wav", "RIFF");
    auto access = std::make_shared<FakeCdAccess>(std::vector<FakeDrive>{{.toc = kShort}});
    std::promise<void> reading, go;
    access->onRead = [&, gate = go.get_future().share()](std::int32_t block) {
        if (block == 152)
            reading.set_value(), gate.wait();
    };
    auto fields = std::make_shared<jobs::JobFields>();
    ASSERT_TRUE(startRip(fields, access, "0", "0", (tools.tempDir / "track.wav").string()));
    reading.get_future().wait();
    ASSERT_TRUE(audio::startTranscode(fields, tools, (dir / "ffmpeg").string(), (dir / "clip.mp3").string()));
    EXPECT_TRUE(waitUntil([&] { return !fs::exists(tools.tempDir / "another.wav"); }));
    go.set_value();
    EXPECT_TRUE(waitUntil([&] { return fields->ripStatus.value() == kRipDone; }));
    EXPECT_TRUE(fs::exists(tools.tempDir / "track.wav"));
}

TEST(Rip, ARipStartedDuringASlowReadWaitsForTheOldOneWhichNeverWritesAgain)
{
    TempDir dir;
    auto access = std::make_shared<FakeCdAccess>(std::vector<FakeDrive>{{.toc = kShort}});
    std::promise<void> stalled, released;
    std::atomic<int> readsAt152{0};
    access->onRead = [&, release = released.get_future().share()](std::int32_t block) {
        if (block == 152 && ++readsAt152 == 1) {  // the first read there hangs, as on a scratched disc
            stalled.set_value();
            release.wait();
        }
    };
    auto fields = std::make_shared<jobs::JobFields>();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(startRip(fields, access, "0", "0", (dir / "t.wav").string()));
    stalled.get_future().wait();
    // Cancel, and at once pick the same track again: the new rip starts unbroken.
    fields->requestBreak();
    ASSERT_TRUE(startRip(fields, access, "0", "0", (dir / "t.wav").string()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(access->reads().size(), 2u);  // the new rip has not touched the drive
    released.set_value();
    EXPECT_TRUE(waitUntil([&] { return fields->ripStatus.value() >= 100; }));
    EXPECT_EQ(fields->ripStatus.value(), 100);
    EXPECT_EQ(readFile(dir / "t.wav"), wav(100 * 2352, 100, 100));
    // The old rip's reads end at the stalled one; the new one's start from the track's start.
    EXPECT_EQ(access->reads(), (std::vector<std::pair<std::int32_t, std::int32_t>>{
                                   {100, 26}, {126, 26}, {152, 26}, {100, 26}, {126, 26}, {152, 26}, {178, 22}}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "100: 100\n100: 100\n");
}

}  // namespace
}  // namespace quillon::cd
