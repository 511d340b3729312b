// Which temporary folder a copy gets, and that it is private to the user. Two
// copies at once, and the folders of ended ones: e2e desktop_instance_test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "jobs/temp_folder.h"
#include "tests/test_support.h"

using namespace quillon::test;
using quillon::jobs::TempFolder;
namespace fs = std::filesystem;

TEST(TempFolder, ResTmpWhenWritableElseAPrivateCacheFolderNeverThroughALink)
{
    enum Setup { kAppTmp, kNothing, kOpenCacheFolder, kCacheFolderIsALink };
    // Expected: relative to the test folder; empty for a folder of the copy's own in
    // the system's temporary folder, removed when the copy ends.
    const std::vector<std::pair<Setup, std::string>> cases{{kAppTmp, "app/res/tmp"},
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
        EXPECT_TRUE(S_ISDIR(info.st_mode)) << setup;
        if (setup != kAppTmp) {
            EXPECT_EQ(info.st_mode & 07777, 0700u) << setup;
        }
    }
}
