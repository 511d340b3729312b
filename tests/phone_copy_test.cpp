// Copying a clip onto a plugged-in phone, through the mounts interface with a
// stand-in phone whose root is a local folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "delivery/clip_file_name.h"
#include "delivery/phone_copy.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::delivery;
using namespace quillon::test;

struct StandInMounts : PhoneMounts {
    explicit StandInMounts(const fs::path& root) : uri(g_filename_to_uri(root.c_str(), nullptr, nullptr)) {}
    ~StandInMounts() override { g_free(uri); }
    std::vector<PhoneMount> list() override { return {{"Ann's phone", uri}}; }
    gchar* uri;
};

class PhoneCopyTest : public ::testing::Test {
protected:
    PhoneCopyTest() { writeFile(clip, "ID3 the clip's bytes"); }

    TempDir temp;
    fs::path phone = (fs::create_directories(temp / "phone"), temp / "phone");
    fs::path clip = (fs::create_directories(temp / "tmp"), temp / "tmp" / "clip-1.mp3");
    PhoneCopy copier{temp / "tmp", [this] { return std::make_unique<StandInMounts>(phone); }};
    std::string id = copier.find().substr(0, copier.find().find(":::"));
};

}  // namespace

TEST_F(PhoneCopyTest, TheClipLandsInTheFolderOfItsKindMadeWhereMissing)
{
    struct Case {
        std::string kind;
        fs::path expected;
    };
    for (const Case& c : {Case{.kind = "ringtone", .expected = "Ringtones/My Song ringtone.mp3"},
                          Case{.kind = "alarm", .expected = "Alarms/My Song ringtone.mp3"},
                          // Already there: the phone's own file stays.
                          Case{.kind = "ringtone", .expected = "Ringtones/My Song ringtone (2).mp3"}}) {
        ASSERT_TRUE(copier.copy(id, clip.string(), "My Song ringtone.mp3", c.kind));
        waitUntil([this] { return copier.status() != PhoneCopy::kCopying; });
        ASSERT_EQ(copier.status(), PhoneCopy::kCopied) << copier.response();
        EXPECT_EQ(readFile(phone / c.expected), readFile(clip)) << c.expected;
        EXPECT_EQ(copier.response(), "saved:::" + (phone / c.expected).string());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(phone / "Ringtones"), {}), 2);
}

TEST_F(PhoneCopyTest, OnlyTheAppsClipsGoToAListedPhone)
{
    EXPECT_EQ(copier.find(), id + ":::Ann's phone");
    writeFile(temp / "private.mp3", "ID3 private");
    EXPECT_FALSE(copier.copy(id, (temp / "private.mp3").string(), "a.mp3", "ringtone"));
    EXPECT_FALSE(copier.copy("mtp://elsewhere/", clip.string(), "a.mp3", "ringtone"));
    EXPECT_EQ(copier.status(), 0);
    EXPECT_TRUE(fs::is_empty(phone));
}

TEST(ClipFileName, ThePhoneGetsAPlainVisibleMp3Name)
{
    struct Case {
        std::string given, expected;
    };
    for (const Case& c : {Case{"Song.MP3", "Song.MP3"}, Case{"AC/DC alarm.mp3", "AC-DC alarm.mp3"},
                          Case{"../../etc/Song ringtone", "etc-Song ringtone.mp3"}, Case{".hidden\n.mp3", "hidden.mp3"},
                          Case{"../", "ringtone.mp3"}})
        EXPECT_EQ(clipFileName(c.given), c.expected) << c.given;
}
