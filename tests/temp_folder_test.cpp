// Which temporary folder a copy gets, that it is private, and that copies sharing
// an app folder or a user never clean up each other's files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "jobs/temp_folder.h"
#include "tests/test_support.h"

using namespace quillon::test;
using quillon::jobs::TempFolder;
namespace fs = std::filesystem;

namespace {

unsigned modeOf(const fs::path& folder)
{
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

}  // namespace

TEST(TempFolder, WritableAppFolderKeepsResTmpElseAPrivateCacheFolder)
{
    struct Case {
        const char* name;
        bool appTmp;          // the app folder has res/tmp
        int cacheTmpMode;     // an existing <cache>/quillon/tmp with this mode, 0 for none
        const char* expected;  // relative to the test folder
    };
    const std::vector<Case> cases{
        {"build or per-user install", true, 0, "app/res/tmp"},
        {"system install, first start", false, 0, "cache/quillon/tmp"},
        {"system install, folder left open", false, 0755, "cache/quillon/tmp"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.appTmp)
            fs::create_directories(dir / "app/res/tmp");
        if (c.cacheTmpMode) {
            fs::create_directories(dir / "cache/quillon/tmp");
            ::chmod((dir / "cache/quillon/tmp").c_str(), c.cacheTmpMode);
        }
        const TempFolder folder(dir / "app/res/tmp", dir / "cache");
        EXPECT_EQ(folder.path(), dir / c.expected) << c.name;
        EXPECT_EQ(fs::exists(dir / "cache"), !c.appTmp) << c.name;
        if (!c.appTmp) {
            EXPECT_EQ(modeOf(dir / "cache/quillon/tmp"), 0700u) << c.name;
        }
    }
}

TEST(TempFolder, LaterCopiesWorkApartAndRemoveOnlyTheirOwnFolder)
{
    TempDir dir;
    auto first = std::make_unique<TempFolder>(dir / "res/tmp", dir / "cache");
    ASSERT_EQ(first->path(), dir / "cache/quillon/tmp");
    writeFile(first->path() / "clip-1.mp3", "first");

    auto second = std::make_unique<TempFolder>(dir / "res/tmp", dir / "cache");
    auto third = std::make_unique<TempFolder>(dir / "res/tmp", dir / "cache");
    for (const TempFolder* later : {second.get(), third.get()}) {
        EXPECT_EQ(later->path().parent_path(), first->path());
        EXPECT_TRUE(later->path().filename().string().starts_with("copy-")) << later->path();
        EXPECT_EQ(modeOf(later->path()), 0700u);
    }
    EXPECT_NE(second->path(), third->path());
    writeFile(second->path() / "clip-2.mp3", "second");
    const fs::path secondPath = second->path();
    second.reset();
    EXPECT_FALSE(fs::exists(secondPath));
    EXPECT_EQ(readFile(first->path() / "clip-1.mp3"), "first");

    // A copy that was killed left its folder; the next copy to hold the shared
    // folder removes it, but not the folder of a copy still running.
    fs::create_directory(first->path() / "copy-killed");
    writeFile(first->path() / "copy-killed/clip-3.mp3", "killed");
    first.reset();
    const TempFolder next(dir / "res/tmp", dir / "cache");
    EXPECT_EQ(next.path(), dir / "cache/quillon/tmp");
    EXPECT_FALSE(fs::exists(next.path() / "copy-killed"));
    EXPECT_TRUE(fs::is_directory(third->path()));
    EXPECT_EQ(readFile(next.path() / "clip-1.mp3"), "first");
}

TEST(TempFolder, CacheFolderThatIsALinkIsNotFollowed)
{
    TempDir dir;
    fs::create_directories(dir / "cache/quillon");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "cache/quillon/tmp");
    fs::path used;
    {
        const TempFolder folder(dir / "res/tmp", dir / "cache");
        used = folder.path();
        EXPECT_TRUE(used.filename().string().starts_with("quillon-")) << used;
        EXPECT_EQ(modeOf(used), 0700u);
    }
    EXPECT_FALSE(fs::exists(used));
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}
