#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>

#include "cd/cd_listing.h"
#include "cd/index_text.h"
#include "cd/libcdio_access.h"
#include "cd/listing_calls.h"
#include "cd/toc_image.h"
#include "cd/wav_header.h"
#include "tests/cd_image_builder.h"
#include "tests/fake_cd_access.h"
#include "tests/process_probe.h"

namespace quillon::cd {
namespace {

using namespace std::string_literals;
using test::TempDir;
using test::writeDiscImage;

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

TEST(TracksInfo, ListsLengthsAndDataTracksOfImages)
{
    TempDir dir;
    const std::pair<std::vector<test::ImageTrack>, std::string> discs[] = {
        {{{1000}, {300}, {200, true}, {150}}, "1000:::300:::DATA:::150"},
        {{{400}, {260}, {100, true}}, "400:::260:::DATA"},  // an audio track runs up to the data track's start
        {{{500}}, "500"},                                   // a one-track audio disc
        {{{500, true}}, "ERROR: Not an audio CD"},
        {{{300, true}, {200, true}}, "DATA:::DATA"}};
    std::vector<std::string> images;
    for (const auto& [tracks, listing] : discs)
        images.push_back(writeDiscImage(dir.path(), std::to_string(images.size()), tracks).cue.string());
    // A .toc naming its data file relative to itself opens from another working folder.
    images.push_back(writeDiscImage(dir.path(), "toc", {{300}, {226}}, {}, true).cue.string());
    ASSERT_NE(std::filesystem::current_path(), dir.path());
    const auto access = makeLibcdioAccess({false, images});
    for (std::size_t drive = 0; drive < 5; ++drive)
        EXPECT_EQ(getTracksInfo(*access, static_cast<std::int32_t>(drive)), discs[drive].second) << drive;
    EXPECT_EQ(getTracksInfo(*access, 5), "300:::226");
    for (const std::int32_t drive : {6, -1, INT32_MIN})
        EXPECT_EQ(getTracksInfo(*access, drive), "ERROR: Invalid Drive ID") << drive;
}

TEST(TocImage, RelativeDataFilesAreAnchoredToTheImageFolder)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"FILE \"a.bin\" 0 00:02:00\n", "FILE \"/F/a.bin\" 0 00:02:00\n"},
        {"AUDIOFILE  \"sub/a b\" 0\nDATAFILE \"c\"", "AUDIOFILE  \"/F/sub/a b\" 0\nDATAFILE \"/F/c\""},
        {"FILE \"/abs.bin\" // FILE \"x\"\nTITLE \"FILE\" FILE 0 \"y\" FILE \"\"", std::nullopt},
        {"TITLE \"x \\\" FILE \" FILE \"q\\\"r\"", "TITLE \"x \\\" FILE \" FILE \"/F/q\\\"r\""},
    };
    for (const auto& [toc, expected] : cases)
        EXPECT_EQ(anchorTocDataFiles(toc, "/F"), expected) << toc;
}

TEST(KernelDrives, DrivesAreListedWithoutOpeningThemAndADeniedOneNamesItsGroup)
{
    TempDir dir;
    const auto block = dir / "block", dev = dir / "dev";
    for (const char* name : {"sda", "sr", "srx", "sr10", "sr2", "sr0"})
        std::filesystem::create_directories(block / name / "device");
    test::writeFile(block / "sr0/device/model", "CD/DVD WRITER 12\n");
    test::writeFile(block / "sr2/device/model", "Slim Drive      \n");
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
    ListingCalls calls(access, [&] { ++wakes; });

    const auto first = calls.tracksInfo(0), again = calls.tracksInfo(0), other = calls.tracksInfo(1);
    EXPECT_EQ(calls.drivesInfo().get(), "A:::B");  // listing the drives opens none
    EXPECT_TRUE(test::waitUntil([&] { return opensAsked == 2; }));
    spunUp.set_value();
    EXPECT_EQ(first.get(), "500:::300");
    EXPECT_EQ(again.get(), "500:::300");
    EXPECT_EQ(other.get(), "ERROR: No CD inserted");
    // Once answered, the same question goes to the drive again.
    EXPECT_EQ(calls.tracksInfo(0).get(), "500:::300");
    EXPECT_EQ(opensAsked, 3);
    // Each listing wakes the waiting thread once, after its answer is set.
    EXPECT_TRUE(test::waitUntil([&] { return wakes == 4; }));
}

TEST(WavHeader, DescribesSixteenBitStereoAt44100)
{
    const std::string expected("RIFF\xA4\xE3\x23\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00"
                               "\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00"
                               "data\x80\xE3\x23\x00",
                               44);
    const auto header = wavHeader(2352000);
    EXPECT_EQ(std::string(header.begin(), header.end()), expected);

    EXPECT_FALSE(writeWavHeader(nullptr, 0));
}

}  // namespace
}  // namespace quillon::cd
