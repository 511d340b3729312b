// What every job shares: results that land only for their own start, and the temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "audio/waveform_job.h"
#include "jobs/temp_cleanup.h"
#include "jobs/temp_folder.h"
#include "tests/test_support.h"

using namespace quillon::audio;
using namespace quillon::jobs;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

TEST(JobFields, AResultOfAStartCutOffNeverLands)
{
    JobFields fields;
    const std::uint32_t older = fields.wfStatus.restart(), newer = fields.wfStatus.restart();
    EXPECT_TRUE(fields.wfResponse.set(fields.wfStatus, newer, "new"));
    EXPECT_FALSE(fields.wfResponse.set(fields.wfStatus, older, "old"));
    ASSERT_TRUE(fields.wfStatus.store(newer, kWaveformDone));
    EXPECT_EQ(waveformResponse(fields), "new");
}

// The last resort is a folder of the copy's own in the system's temporary folder, removed at its end.
TEST(TempFolder, IsResTmpWhenWritableElseAPrivateCacheFolderNeverThroughALink)
{
    enum Setup { AppTmp, Nothing, OpenCacheFolder, CacheFolderIsALink, ForeignCacheFolder };
    // The folder used, relative to the test's folder; "": one of the system's temporary folder.
    const std::pair<Setup, std::string> cases[] = {{AppTmp, "app/res/tmp"},
                                                   {Nothing, "cache/quillon/tmp"},
                                                   {OpenCacheFolder, "cache/quillon/tmp"},
                                                   {CacheFolderIsALink, ""},
                                                   {ForeignCacheFolder, ""}};
    for (const auto& [setup, expected] : cases) {
        if (setup == ForeignCacheFolder && ::geteuid() != 0)
            GTEST_SKIP() << "giving a folder to another user takes root";
        TempDir dir;
        const fs::path cache = dir / "cache/quillon";
        fs::create_directories(setup == AppTmp ? dir / "app/res/tmp" : cache);
        if (setup == OpenCacheFolder && fs::create_directory(cache / "tmp"))
            fs::permissions(cache / "tmp", fs::perms::all);
        if (setup == CacheFolderIsALink)
            fs::create_directory_symlink(dir.path(), cache / "tmp");
        if (setup == ForeignCacheFolder) {
            fs::permissions(cache, fs::perms::all);
            ASSERT_EQ(::chown(cache.c_str(), 4321, 4321), 0);
        }
        writeFile(dir / "song.mp3", "music");
        removeFilesByExtension(cache / "tmp", ".mp3", {});
        EXPECT_EQ(readFile(dir / "song.mp3"), "music") << setup;
        fs::path used;
        struct stat info {};
        {
            const TempFolder folder(dir / "app/res/tmp", dir / "cache", dir.path());
            used = folder.path();
            ASSERT_EQ(::lstat(used.c_str(), &info), 0) << setup;
        }
        EXPECT_EQ(expected.empty() ? used.filename().string().substr(0, 8) : used.string(),
                  expected.empty() ? "quillon-" : (dir / expected).string());
        EXPECT_EQ(fs::exists(used), !expected.empty()) << setup;
        EXPECT_TRUE(S_ISDIR(info.st_mode) && (setup == AppTmp || (info.st_mode & 07777) == 0700)) << setup;
    }
}

TEST(TempFolder, ASecondCopyWorksInAFolderOfItsOwnThatOnlyItsEndRemoves)
{
    TempDir dir;
    const fs::path shared = dir / "res/tmp";
    fs::create_directories(shared / "copy-killed");  // left by a copy that was killed
    std::optional<TempFolder> first(std::in_place, shared, dir / "cache", dir.path());
    EXPECT_EQ(first->path(), shared);
    EXPECT_FALSE(fs::exists(shared / "copy-killed"));
    const TempFolder second(shared, dir / "cache", dir.path());
    const fs::path& own = second.path();
    EXPECT_TRUE(own.filename().string().starts_with("copy-"));
    // The first copy's clips go at its end; the second copy still runs, so the next
    // copy to hold the shared folder leaves its folder too.
    writeFile(shared / "clip.mp3", "ID3");
    first.reset();
    EXPECT_FALSE(fs::exists(shared / "clip.mp3"));
    const TempFolder third(shared, dir / "cache", dir.path());
    EXPECT_EQ(third.path(), shared);
    EXPECT_TRUE(fs::is_directory(own));
}

}  // namespace
