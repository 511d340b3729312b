// Which temporary folder a copy gets, that it is private, and what becomes of the
// folders of copies that ended. (Two running copies: e2e desktop_instance_test.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <tuple>

#include "jobs/temp_folder.h"
#include "tests/test_support.h"

using namespace quillon::test;
using quillon::jobs::TempFolder;
namespace fs = std::filesystem;

TEST(TempFolder, ResTmpWhenWritableElseAPrivateCacheFolderNeverThroughALink)
{
    const std::vector<std::tuple<const char*, std::function<void(const fs::path&)>, const char*>> cases{
        {"build or per-user install", [](const fs::path& d) { fs::create_directories(d / "app/res/tmp"); }, "app/res/tmp"},
        {"system install", [](const fs::path&) {}, "cache/quillon/tmp"},
        {"cache folder left open",
         [](const fs::path& d) {
             fs::create_directories(d / "cache/quillon/tmp");
             fs::permissions(d / "cache/quillon/tmp", fs::perms::all);
         },
         "cache/quillon/tmp"},
        {"cache folder is a link",
         [](const fs::path& d) {
             fs::create_directories(d / "cache/quillon");
             fs::create_directory_symlink(d, d / "cache/quillon/tmp");
         },
         nullptr},  // a folder of its own in the system's temporary folder, removed at the end
    };
    for (const auto& [name, setUp, expected] : cases) {
        TempDir dir;
        setUp(dir.path());
        fs::path used;
        {
            const TempFolder folder(dir / "app/res/tmp", dir / "cache");
            used = folder.path();
            if (expected) {
                EXPECT_EQ(used, dir / expected) << name;
            } else {
                EXPECT_TRUE(used.filename().string().starts_with("quillon-")) << name << ": " << used;
            }
            struct stat info {};
            ASSERT_EQ(::lstat(used.c_str(), &info), 0) << name;
            if (!std::string(name).starts_with("build")) {
                EXPECT_EQ(info.st_mode & 07777, 0700u) << name;
            }
        }
        EXPECT_EQ(fs::exists(used), expected != nullptr) << name;
    }
}

TEST(TempFolder, NextHolderRemovesFoldersOfEndedCopiesOnly)
{
    TempDir dir;
    std::optional<TempFolder> first(std::in_place, dir / "res/tmp", dir / "cache");
    const TempFolder running(dir / "res/tmp", dir / "cache");
    EXPECT_EQ(running.path().parent_path(), first->path());
    fs::create_directory(first->path() / "copy-killed");
    writeFile(first->path() / "copy-killed/clip.mp3", "killed");
    writeFile(first->path() / "clip.mp3", "first");
    first.reset();

    const TempFolder next(dir / "res/tmp", dir / "cache");
    EXPECT_EQ(next.path(), dir / "cache/quillon/tmp");
    EXPECT_FALSE(fs::exists(next.path() / "copy-killed"));
    EXPECT_TRUE(fs::is_directory(running.path()));
    EXPECT_EQ(readFile(next.path() / "clip.mp3"), "first");
}
