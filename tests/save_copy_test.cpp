// Saving a copy of a clip through GIO.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <numeric>
#include <set>

#include "delivery/clip_copy.h"
#include "delivery/copy_failure.h"
#include "delivery/show_in_folder.h"
#include "tests/bus_stand_in.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::delivery;
using namespace quillon::test;

const std::string kNoSpace = "failed:::There is not enough space there.";
const std::string kUnplugged = "The phone or drive is locked or was unplugged: unlock it, plug it in again and retry.";

// Every byte value, over and over.
std::string noise(std::size_t size)
{
    std::string bytes(size, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    return bytes;
}

std::string copy(const fs::path& from, const fs::path& to, bool replace)
{
    g_autoptr(GFile) source = g_file_new_for_path(from.c_str());
    g_autoptr(GFile) destination = g_file_new_for_path(to.c_str());
    return copyClip(source, destination, replace, nullptr);
}

// "name=bytes;" for each file in folder, hidden ones included, in name order.
std::string contents(const fs::path& folder)
{
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder))
        entries.insert(entry.path().filename().string() + "=" + readFile(entry.path()) + ";");
    return std::accumulate(entries.begin(), entries.end(), std::string());
}

// Copies source to place/ringtone.mp3 (holding old unless empty) on a fresh 64 KiB tmpfs in a child's own mount
// namespace, so the machine's disks are never filled; returns the result and what the place held after.
std::string copyToSmallPrivateMount(const fs::path& source, const fs::path& place, const std::string& old)
{
    const fs::path report = place.parent_path() / "report";
    if (fork() == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", place.c_str(), "tmpfs", 0, "size=64k") != 0)
            _exit(1);
        if (!old.empty())
            writeFile(place / "ringtone.mp3", old);
        writeFile(report, copy(source, place / "ringtone.mp3", !old.empty()) + "|" + contents(place));
        _exit(0);
    }
    int status = 0;
    wait(&status);
    return status == 0 ? readFile(report) : "no private mount";
}

GError* ioError(int code, const char* message) { return g_error_new_literal(G_IO_ERROR, code, message); }

}  // namespace

TEST(CopyFailure, NamesTheCauseInPlainWords)
{
    const std::pair<GError*, std::string> cases[] = {
        {ioError(G_IO_ERROR_NO_SPACE, "x"), "There is not enough space there."},
        {ioError(G_IO_ERROR_PERMISSION_DENIED, "x"), "That place is read-only: choose another folder."},
        {ioError(G_IO_ERROR_NOT_MOUNTED, "x"), kUnplugged},
        {ioError(G_IO_ERROR_NOT_SUPPORTED, "Operation not supported"), "The copy failed: Operation not supported."},
        {ioError(G_IO_ERROR_FAILED, "Ended."), "The copy failed: Ended."},
        // Another domain's code never passes for a GIO one.
        {g_error_new_literal(G_FILE_ERROR, G_IO_ERROR_NO_SPACE, "odd"), "The copy failed: odd."},
    };
    for (const auto& [error, words] : cases) {
        EXPECT_EQ(copyFailureWords(error), words) << error->message;
        g_error_free(error);
    }
}

TEST(ClipCopy, ReplacesAFileOnlyWhenAllowed)
{
    TempDir dir;
    const std::string clip = noise(300000);
    writeFile(dir / "clip.mp3", clip);
    fs::create_directory(dir / "place");
    const fs::path target = dir / "place" / "My song ringtone.mp3";

    EXPECT_EQ(copy(dir / "clip.mp3", target, false), "saved:::" + target.string());
    EXPECT_EQ(readFile(target), clip);
    // Someone else's file that appeared after the choice is kept.
    writeFile(target, "old");
    EXPECT_EQ(copy(dir / "clip.mp3", target, false).substr(0, 25), "failed:::The copy failed:");
    EXPECT_EQ(contents(dir / "place"), "My song ringtone.mp3=old;");
    EXPECT_EQ(copy(dir / "clip.mp3", target, true), "saved:::" + target.string());
    EXPECT_EQ(contents(dir / "place"), "My song ringtone.mp3=" + clip + ";");
}

TEST(ClipCopy, AFailedCopyLeavesThePlaceAsItWas)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small place needs root";
    TempDir dir;
    writeFile(dir / "clip.mp3", noise(1 << 20));
    fs::create_directory(dir / "place");
    // The file already there, and the result with what the place holds afterwards.
    for (const auto& [old, expected] :
         {std::pair<std::string, std::string>{"", kNoSpace + "|"}, {"old", kNoSpace + "|ringtone.mp3=old;"}})
        EXPECT_EQ(copyToSmallPrivateMount(dir / "clip.mp3", dir / "place", old), expected) << old;
    EXPECT_EQ(contents(dir / "place"), "");  // the mounts were the children's alone
}

// The file manager on a private session bus is asked to show the copy; where it refuses, its folder is opened.
TEST(ShowInFolder, OpensTheFolderWhereTheFileManagerRefuses)
{
    using namespace std::chrono_literals;
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    {
        const BusStandIn files(
            g_test_dbus_get_bus_address(bus), "org.freedesktop.FileManager1",
            {{"/org/freedesktop/FileManager1", "org.freedesktop.FileManager1", {{"ShowItems", "error org.test.No"}}}});
        std::vector<std::string> opened;
        showInFolder("/home/me/Music/Evening tune.mp3", 10s,
                     [&](const std::string& folder) { opened.push_back(folder); });
        waitUntil([&] { return g_main_context_iteration(nullptr, FALSE), !opened.empty(); });
        EXPECT_EQ(files.calls("ShowItems"),
                  std::vector<std::string>{"(['file:///home/me/Music/Evening%20tune.mp3'], '')"});
        EXPECT_EQ(opened, std::vector<std::string>{"file:///home/me/Music"});
    }
    g_test_dbus_down(bus);
    g_object_unref(bus);
}
