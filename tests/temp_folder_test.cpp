// Which temporary folder a copy gets, that it is private to the user, and that no
// copy's clean-up reaches another live copy's folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "jobs/temp_folder.h"
#include "tests/test_support.h"

using namespace quillon::test;
using quillon::jobs::TempFolder;
namespace fs = std::filesystem;

TEST(TempFolder, ResTmpWhenWritableElseAPrivateCacheFolderNeverThroughALink)
{
    enum Setup { kAppTmp, kNothing, kOpenCacheFolder, kCacheFolderIsALink };
    // Relative to the test folder; empty for a folder of the copy's own in the
    // system's temporary folder, removed when the copy ends.
    const std::pair<Setup, std::string> cases[] = {{kAppTmp, "app/res/tmp"},
                                                   {kNothing, "cache/quillon/tmp"},
                                                   {kOpenCacheFolder, "cache/quillon/tmp"},
                                                   {kCacheFolderIsALink, ""}};
    for (const auto& [setup, expected] : cases) {
        TempDir dir;
        fs::create_directories(setup == kAppTmp ? dir / "app/res/tmp" : dir / "cache/quillon");
        if (setup == kOpenCacheFolder) {
            fs::create_directory(dir / "cache/quillon/tmp");
            fs::permissions(dir / "cache/quillon/tmp", fs::perms::all);
        }
        if (setup == kCacheFolderIsALink)
            fs::create_directory_symlink(dir.path(), dir / "cache/quillon/tmp");
        fs::path used;
        struct stat info {};
        {
            const TempFolder folder(dir / "app/res/tmp", dir / "cache");
            used = folder.path();
            ASSERT_EQ(::lstat(used.c_str(), &info), 0) << setup;
        }
        EXPECT_EQ(expected.empty() ? used.filename().string().substr(0, 8) : used.string(),
                  expected.empty() ? "quillon-" : (dir / expected).string())
            << setup;
        EXPECT_EQ(fs::exists(used), !expected.empty()) << setup;
        EXPECT_TRUE(S_ISDIR(info.st_mode) && (setup == kAppTmp || (info.st_mode & 07777) == 0700)) << setup;
    }
}

TEST(TempFolder, ASecondCopyWorksInAFolderOfItsOwnThatOnlyItsEndRemoves)
{
    TempDir dir;
    const fs::path shared = dir / "res/tmp";
    fs::create_directories(shared / "copy-killed");  // left by a copy that was killed
    std::optional<TempFolder> first(std::in_place, shared, dir / "cache");
    EXPECT_EQ(first->path(), shared);
    EXPECT_FALSE(fs::exists(shared / "copy-killed"));
    std::optional<TempFolder> second(std::in_place, shared, dir / "cache");
    const fs::path own = second->path();
    EXPECT_EQ(own.parent_path(), shared);
    EXPECT_TRUE(own.filename().string().starts_with("copy-"));
    // The next copy to hold the shared folder sweeps it, but the second copy still runs.
    first.reset();
    const TempFolder third(shared, dir / "cache");
    EXPECT_EQ(third.path(), shared);
    EXPECT_TRUE(fs::is_directory(own));
    second.reset();
    EXPECT_FALSE(fs::exists(own));
}
