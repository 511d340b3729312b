#include <gtest/gtest.h>

#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "cd/cd_listing.h"
#include "cd/fake_cd_access.h"
#include "cd/index_text.h"
#include "cd/libcdio_access.h"
#include "cd/listing_calls.h"
#include "cd/toc_image.h"
#include "cd/wav_header.h"
#include "tests/cd_image_builder.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::cd {
namespace {

using test::ImageTrack;
using test::TempDir;
using test::writeDiscImage;

std::shared_ptr<CdAccess> imagesOnly(const std::vector<test::DiscImage>& images)
{
    std::vector<std::string> paths;
    for (const auto& image : images)
        paths.push_back(image.cue.string());
    return makeLibcdioAccess({false, paths});
}

TEST(IndexText, ReadsTheLeadingDecimalNumberTruncatedTowardZero)
{
    const struct {
        const char* text;
        std::optional<std::int32_t> expected;
    } cases[] = {
        {"0", 0},
        {"3", 3},
        {"1.9", 1},
        {"-1", -1},
        {"-1.9", -1},
        {"-0.5", 0},
        {"+2", 2},
        {"  \t\n7", 7},
        {"12abc", 12},
        {"x", 0},
        {"", 0},
        {"-", 0},
        {"- 1", 0},
        {".5", 0},
        {"5.", 5},
        {"1e2", 100},
        {"2.5E1", 25},
        {"1e", 1},
        {"1e+", 1},
        {"0x10", 0},
        {"1e-400", 0},
        {"2147483647", 2147483647},
        {"2147483647.9", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"1e30", std::nullopt},
        {"1e400", std::nullopt},
        {"inf", std::nullopt},
        {"-Infinity", std::nullopt},
        {"nan", std::nullopt},
        {" NaN(1)", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseIndexText(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ImageList, SplitsOnColonsAndDropsEmptyEntries)
{
    const struct {
        const char* list;
        std::vector<std::string> expected;
    } cases[] = {
        {"", {}},
        {"/a/one.cue", {"/a/one.cue"}},
        {"/a/one.cue:/b/two.toc", {"/a/one.cue", "/b/two.toc"}},
        {":/a/one.cue::/b/two.nrg:", {"/a/one.cue", "/b/two.nrg"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitImageList(c.list), c.expected) << c.list;
}

TEST(ImageList, ProductTextIsTheFileNameCutToSixteenBytes)
{
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {"/discs/short.cue", "short.cue"},
        {"plain.cue", "plain.cue"},
        {"/discs/exactly-16-byte.c", "exactly-16-byte."},
        {"/discs/a-much-longer-name.cue", "a-much-longer-na"},
        // "a" and eight two-byte letters: cutting at 16 bytes would split the last one.
        {"/discs/a\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4.cue",
         "a\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(imageProductText(c.path), c.expected) << c.path;
}

TEST(DrivesInfo, ListsImageDrivesByFileName)
{
    TempDir dir;
    const auto first = writeDiscImage(dir.path(), "first", {{100}, {100}});
    const auto second = writeDiscImage(dir.path(), "second-disc-image", {{100}, {100}});

    EXPECT_EQ(getDrivesInfo(*imagesOnly({})), "ERROR: No drives found");
    EXPECT_EQ(getDrivesInfo(*imagesOnly({first})), "first.cue");
    EXPECT_EQ(getDrivesInfo(*imagesOnly({first, second})), "first.cue:::second-disc-imag");
}

TEST(DrivesInfo, SystemAccessAppendsTheImagesFromTheEnvironment)
{
    TempDir dir;
    const auto first = writeDiscImage(dir.path(), "one", {{100}, {100}});
    const auto second = writeDiscImage(dir.path(), "two", {{100}, {100}});
    const std::string list = first.cue.string() + ":" + second.cue.string();
    ASSERT_EQ(setenv("QUILLON_CD_IMAGES", list.c_str(), 1), 0);
    const auto drives = makeSystemCdAccess()->listDrives();
    unsetenv("QUILLON_CD_IMAGES");

    // Real drives of this machine, if any, come first.
    ASSERT_GE(drives.size(), 2u);
    const CdDrive& one = drives[drives.size() - 2];
    const CdDrive& two = drives[drives.size() - 1];
    EXPECT_EQ(one.address, first.cue.string());
    EXPECT_EQ(one.product, "one.cue");
    EXPECT_EQ(two.address, second.cue.string());
    EXPECT_EQ(two.product, "two.cue");
}

TEST(TracksInfo, ListsLengthsAndDataTracksOfImages)
{
    TempDir dir;
    const auto mixed = writeDiscImage(dir.path(), "mixed", {{1000}, {300}, {200, true}, {150}});
    const auto audioThenData = writeDiscImage(dir.path(), "enhanced", {{400}, {260}, {100, true}});
    const auto single = writeDiscImage(dir.path(), "single", {{500}});
    const auto singleData = writeDiscImage(dir.path(), "single-data", {{500, true}});
    const auto allData = writeDiscImage(dir.path(), "all-data", {{300, true}, {200, true}});
    const auto access = imagesOnly({mixed, audioThenData, single, singleData, allData});

    const struct {
        std::int32_t drive;
        std::string expected;
    } cases[] = {
        {0, "1000:::300:::DATA:::150"},
        {1, "400:::260:::DATA"},  // an audio track runs up to the data track's start
        {2, "500"},  // a one-track audio disc
        {3, "ERROR: Not an audio CD"},
        {4, "DATA:::DATA"},
        {5, "ERROR: Invalid Drive ID"},
        {-1, "ERROR: Invalid Drive ID"},
        {-2147483647 - 1, "ERROR: Invalid Drive ID"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(getTracksInfo(*access, c.drive), c.expected) << "drive " << c.drive;
}

TEST(TracksInfo, AMissingImageGivesNoHandle)
{
    TempDir dir;
    const auto access = makeLibcdioAccess({false, {(dir / "gone.cue").string()}});
    EXPECT_EQ(getDrivesInfo(*access), "gone.cue");
    EXPECT_EQ(getTracksInfo(*access, 0), "ERROR: Could not get handle to CD");
}

// The group a file this process creates belongs to.
std::string ownGroup()
{
    const group* entry = getgrgid(getegid());
    return entry ? entry->gr_name : "";
}

TEST(TracksInfo, ErrorTextsLayoutsAndTheHandleClosedOnEveryPath)
{
    TempDir dir;
    test::writeFile(dir / "sr0", "");
    const std::string deniedNode = (dir / "sr0").string();
    const CdToc twoTracks{1, 2, {{0, false}, {500, false}, {800, false}}};
    // Audio in the first session; the data session starts at 13400.
    const CdToc enhanced{1, 3, {{0, false}, {1000, false}, {13400, true}, {20000, false}}, 13400};
    const struct {
        FakeDriveSetup drive;
        std::string expected;
        int opens;
    } cases[] = {
        {{.product = "NOHANDLE", .handleAvailable = false, .toc = twoTracks}, "ERROR: Could not get handle to CD", 0},
        {{.product = "DENIED", .handleAvailable = false, .toc = twoTracks, .node = deniedNode},
         "ERROR: Could not get handle to CD (" + deniedNode + ", group " + ownGroup() + ")", 0},
        {{.product = "EMPTY", .toc = std::nullopt}, "ERROR: No CD inserted", 1},
        {{.product = "BLANK", .toc = CdToc{}}, "ERROR: No CD inserted", 1},
        {{.product = "SINGLE", .toc = CdToc{1, 1, {{0, false}, {500, false}}}}, "500", 1},
        {{.product = "SINGLEDATA", .toc = CdToc{1, 1, {{0, true}, {500, false}}}}, "ERROR: Not an audio CD", 1},
        {{.product = "FROM3", .toc = CdToc{3, 5, {{0, false}, {100, true}, {300, false}, {350, false}}}},
         "100:::DATA:::50", 1},
        {{.product = "ENHANCED", .toc = enhanced}, "1000:::1000:::DATA", 1},
        {{.product = "AUDIO", .toc = twoTracks}, "500:::300", 1},
    };
    for (const auto& c : cases) {
        FakeCdAccess access({c.drive});
        EXPECT_EQ(getDrivesInfo(access), c.drive.product);
        EXPECT_EQ(getTracksInfo(access, 0), c.expected) << c.drive.product;
        EXPECT_EQ(access.opens(), c.opens) << c.drive.product;
        EXPECT_EQ(access.closes(), c.opens) << c.drive.product;
    }
}

TEST(TrackEnd, AnAudioTrackBeforeADataSessionEndsWithItsSession)
{
    const struct {
        CdToc toc;
        std::vector<std::int64_t> ends;
    } cases[] = {
        {{1, 3, {{0, false}, {1000, false}, {13400, true}, {20000, false}}, 13400}, {1000, 2000, 20000}},
        // Single session: every track runs to the next entry.
        {{1, 3, {{0, false}, {1000, false}, {13400, true}, {20000, false}}, 0}, {1000, 13400, 20000}},
        // The data track in the same session as the audio: no gap to take off.
        {{1, 3, {{0, false}, {1000, false}, {13400, true}, {20000, false}}, 30000}, {1000, 13400, 20000}},
        // A session start too close to give a sane end keeps the table's value.
        {{1, 2, {{0, false}, {5000, true}, {9000, false}}, 5000}, {5000, 9000}},
        // Audio in the second session ends at the lead-out as always.
        {{1, 2, {{0, true}, {11400, false}, {20000, false}}, 11400}, {11400, 20000}},
    };
    for (const auto& c : cases) {
        std::vector<std::int64_t> ends;
        for (int i = 0; i < c.toc.trackCount(); ++i)
            ends.push_back(c.toc.trackEnd(i));
        EXPECT_EQ(ends, c.ends) << "session at " << c.toc.lastSessionStart;
    }
}

// A node that exists but that no one, root included, can open as a drive.
void makeSocketNode(const std::filesystem::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
}

TEST(KernelDrives, DrivesAreListedWithoutOpeningThemAndADeniedOneNamesItsGroup)
{
    TempDir dir;
    const auto block = dir / "block";
    const auto dev = dir / "dev";
    for (const char* name : {"sda", "sr", "srx", "sr10", "sr2", "sr0"})
        std::filesystem::create_directories(block / name / "device");
    test::writeFile(block / "sr0" / "device" / "model", "CD/DVD WRITER 12\n");
    test::writeFile(block / "sr2" / "device" / "model", "Slim Drive      \n");
    std::filesystem::create_directories(dev);
    makeSocketNode(dev / "sr0");

    const auto access = makeLibcdioAccess({true, {}, block, dev});
    const auto drives = access->listDrives();
    // This machine's own drives, if any, follow.
    ASSERT_GE(drives.size(), 3u);
    const std::vector<std::pair<std::string, std::string>> expected{
        {(dev / "sr0").string(), "CD/DVD WRITER 12"}, {(dev / "sr2").string(), "Slim Drive"},
        {(dev / "sr10").string(), "sr10"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(drives[i].address, expected[i].first);
        EXPECT_EQ(drives[i].product, expected[i].second);
    }
    EXPECT_EQ(getTracksInfo(*access, 0),
              "ERROR: Could not get handle to CD (" + (dev / "sr0").string() + ", group " + ownGroup() + ")");
    // No node at all: nothing known to name.
    EXPECT_EQ(getTracksInfo(*access, 1), "ERROR: Could not get handle to CD");
}

TEST(TocImage, RelativeDataFilesAreAnchoredToTheImageFolder)
{
    const struct {
        const char* toc;
        std::optional<std::string> expected;
    } cases[] = {
        {"TRACK AUDIO\nFILE \"a.bin\" 0 00:02:00\n", "TRACK AUDIO\nFILE \"/F/a.bin\" 0 00:02:00\n"},
        {"AUDIOFILE  \"sub/a b.wav\" 0\nDATAFILE \"c.img\"", "AUDIOFILE  \"/F/sub/a b.wav\" 0\nDATAFILE \"/F/c.img\""},
        {"FILE \"/abs/a.bin\" 0", std::nullopt},
        {"// FILE \"not.bin\"\nCD_TEXT { TITLE \"FILE\" }", std::nullopt},
        {"TITLE \"x \\\" FILE \" FILE \"q\\\"r.bin\"", "TITLE \"x \\\" FILE \" FILE \"/F/q\\\"r.bin\""},
        {"FILE 0 \"late.bin\"", std::nullopt},
        {"FILE \"\"", std::nullopt},
        {"FILE \"open", "FILE \"/F/open"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(anchorTocDataFiles(c.toc, "/F"), c.expected) << c.toc;
}

TEST(TocImage, OpensFromAnotherWorkingFolder)
{
    TempDir dir;
    const auto image = test::writeTocImage(dir.path(), "live", {300, 226});
    ASSERT_NE(std::filesystem::current_path(), dir.path());
    const auto access = makeLibcdioAccess({false, {image.cue.string()}});
    EXPECT_EQ(getTracksInfo(*access, 0), "300:::226");
    const auto disc = access->open(access->listDrives().at(0));
    ASSERT_TRUE(disc);
    std::vector<std::uint8_t> buffer(26 * kFrameBytes);
    ASSERT_TRUE(disc->readFrames(290, 26, buffer));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), test::imageFrames(290, 26));
    // The copy of the table made to open it is gone again.
    const auto leftovers = std::count_if(std::filesystem::directory_iterator(std::filesystem::temp_directory_path()),
                                         std::filesystem::directory_iterator(), [](const auto& entry) {
                                             return entry.path().filename().string().rfind("quillon-image-", 0) == 0;
                                         });
    EXPECT_EQ(leftovers, 0);
}

// Opening a drive waits until the test lets it go on.
class GatedAccess final : public CdAccess {
public:
    explicit GatedAccess(std::vector<FakeDriveSetup> drives) : inner_(std::move(drives)) {}
    std::vector<CdDrive> listDrives() const override { return inner_.listDrives(); }
    std::unique_ptr<CdDisc> open(const CdDrive& drive) const override
    {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        return inner_.open(drive);
    }
    void waitForOpens(int count) const
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_ >= count; });
    }
    void letGo()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    int opensAsked() const
    {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

private:
    FakeCdAccess inner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable int waiting_ = 0;
    bool open_ = false;
};

TEST(ListingCalls, ASecondAskOfTheSameDriveJoinsTheRunningListing)
{
    const CdToc toc{1, 2, {{0, false}, {500, false}, {800, false}}};
    auto access = std::make_shared<GatedAccess>(std::vector<FakeDriveSetup>{{.product = "A", .toc = toc}, {.product = "B"}});
    std::atomic<int> wakes{0};
    ListingCalls calls(access, [&] { ++wakes; });

    const auto first = calls.tracksInfo(0);
    const auto again = calls.tracksInfo(0);
    const auto other = calls.tracksInfo(1);
    const auto drives = calls.drivesInfo();
    access->waitForOpens(2);
    EXPECT_EQ(drives.get(), "A:::B");  // listing the drives opens none
    EXPECT_EQ(first.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    access->letGo();
    EXPECT_EQ(first.get(), "500:::300");
    EXPECT_EQ(again.get(), "500:::300");
    EXPECT_EQ(other.get(), "ERROR: No CD inserted");
    EXPECT_EQ(access->opensAsked(), 2);
    // Once answered, the same question is asked of the drive again.
    EXPECT_EQ(calls.tracksInfo(0).get(), "500:::300");
    EXPECT_EQ(access->opensAsked(), 3);
    // Each listing wakes the waiting thread once, after its answer is set.
    EXPECT_TRUE(test::waitUntil([&] { return wakes.load() == 4; }));
}

TEST(ImageReads, DeliverTheImageFramesAndRefuseReadsPastItsEnd)
{
    TempDir dir;
    // The second track claims 300 frames but the .bin stops 100 frames into it.
    const auto cut = writeDiscImage(dir.path(), "cut", {{200}, {300}, {50, true}}, 300);
    const auto access = imagesOnly({cut});
    const auto disc = access->open(access->listDrives().at(0));
    ASSERT_TRUE(disc);
    const auto toc = disc->readToc();
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->firstTrack, 1);
    EXPECT_EQ(toc->lastTrack, 3);
    ASSERT_EQ(toc->trackCount(), 3);
    EXPECT_EQ(toc->entries[1].startBlock, 200);
    EXPECT_EQ(toc->trackFrames(1), 300);

    std::vector<std::uint8_t> buffer(26 * kFrameBytes, 0xEE);
    ASSERT_TRUE(disc->readFrames(274, 26, buffer));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), test::imageFrames(274, 26));
    EXPECT_FALSE(disc->readFrames(280, 26, buffer));  // runs past the end of the .bin
    EXPECT_FALSE(disc->readFrames(300, 1, buffer));
    EXPECT_FALSE(disc->readFrames(0, 27, buffer));    // more than the buffer holds
}

TEST(WavHeader, DescribesSixteenBitStereoAt44100)
{
    const std::string expected("RIFF\xA4\xE3\x23\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00"
                               "\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00"
                               "data\x80\xE3\x23\x00",
                               44);
    const auto header = wavHeader(2352000);
    EXPECT_EQ(std::string(header.begin(), header.end()), expected);

    TempDir dir;
    const auto path = dir / "x.wav";
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "w+b"), std::fclose);
        ASSERT_TRUE(file);
        ASSERT_EQ(std::fwrite("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ", 1, 46, file.get()), 46u);
        EXPECT_TRUE(writeWavHeader(file.get(), 2352000));
    }
    // Rewritten in place at offset 0; what follows the header stays.
    EXPECT_EQ(test::readFile(path), expected + "IJ");
    EXPECT_FALSE(writeWavHeader(nullptr, 0));
}

}  // namespace
}  // namespace quillon::cd
