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
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::delivery;
using quillon::test::readFile;
using quillon::test::TempDir;
using quillon::test::writeFile;

const std::string kNoSpace = "failed:::There is not enough space there.";
const std::string kReadOnly = "failed:::That place is read-only: choose another folder.";
const std::string kUnplugged = "The phone or drive is locked or was unplugged: unlock it, plug it in again and retry.";

// Every byte value, over and over.
std::string noise(std::size_t size)
{
    std::string bytes(size, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    return bytes;
}

// The file manager's ShowItems: says in told which copy it was asked to show, and refuses one named "refused.mp3".
void showItems(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               GDBusMethodInvocation* call, gpointer told)
{
    const gchar* uri = nullptr;
    g_autoptr(GVariant) uris = g_variant_get_child_value(parameters, 0);
    g_variant_get_child(uris, 0, "&s", &uri);
    static_cast<std::vector<std::string>*>(told)->push_back("asked " + std::string(uri));
    if (g_str_has_suffix(uri, "refused.mp3"))
        g_dbus_method_invocation_return_dbus_error(call, "org.test.Refused", "refused");
    else
        g_dbus_method_invocation_return_value(call, nullptr);
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

// Copies source to place/ringtone.mp3 (holding old unless empty) on a fresh tmpfs in a child's own mount
// namespace, so the machine's disks are never filled; returns the result and what the place held after.
std::string copyInPrivateMount(const fs::path& source, const fs::path& place, const char* options,
                               const std::string& old)
{
    const fs::path report = place.parent_path() / "report";
    if (fork() == 0) {
        const bool readOnly = std::string(options) == "ro";
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", place.c_str(), "tmpfs", 0, readOnly ? nullptr : options) != 0)
            _exit(1);
        if (!old.empty())
            writeFile(place / "ringtone.mp3", old);
        if (readOnly)
            (void)mount("tmpfs", place.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr);
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

TEST(ClipCopy, CopiesByteForByteAndReplacesOnlyWhenAllowed)
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

TEST(ClipCopy, AFailedCopyLeavesNothingBehindAndTheOldFileWhole)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small or read-only place needs root";
    TempDir dir;
    writeFile(dir / "clip.mp3", noise(1 << 20));
    fs::create_directory(dir / "place");
    // Mount options, the file already there, and the result with what the place holds afterwards.
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"size=64k", "", kNoSpace + "|"},
        {"size=64k", "old", kNoSpace + "|ringtone.mp3=old;"},
        {"ro", "", kReadOnly + "|"},
    };
    for (const auto& [options, old, expected] : cases)
        EXPECT_EQ(copyInPrivateMount(dir / "clip.mp3", dir / "place", options, old), expected) << options << old;
    EXPECT_EQ(contents(dir / "place"), "");  // the mounts were the children's alone
}

// The file manager on a private session bus selects the copy; where it refuses, the copy's folder is opened.
TEST(ShowInFolder, SelectsTheCopyInTheFileManagerElseOpensItsFolder)
{
    using namespace std::chrono_literals;
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    {
        std::vector<std::string> told;  // "asked <uri>" by the file manager, "opened <uri>" by the default handler
        const GDBusInterfaceVTable answers{showItems, nullptr, nullptr, {}};
        g_autoptr(GDBusConnection) manager = g_dbus_connection_new_for_address_sync(
            g_test_dbus_get_bus_address(bus),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'><arg type='as'/>"
            "<arg type='s'/></method></interface></node>",
            nullptr);
        g_dbus_connection_register_object(manager, "/org/freedesktop/FileManager1", node->interfaces[0], &answers,
                                          &told, nullptr, nullptr);
        g_autoptr(GVariant) owned = g_dbus_connection_call_sync(
            manager, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.freedesktop.FileManager1", 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
            nullptr);
        // One at a time: the first answered before the second is asked.
        for (const auto& [copy, count] :
             {std::pair{"/home/me/Music/Evening tune.mp3", 1u}, {"/home/me/Ringtones/refused.mp3", 3u}}) {
            showInFolder(copy, 10s, [&](const std::string& folder) { told.push_back("opened " + folder); });
            for (const auto end = std::chrono::steady_clock::now() + 10s;
                 told.size() < count && std::chrono::steady_clock::now() < end;)
                g_main_context_iteration(nullptr, FALSE);
        }
        EXPECT_EQ(told, (std::vector<std::string>{"asked file:///home/me/Music/Evening%20tune.mp3",
                                                  "asked file:///home/me/Ringtones/refused.mp3",
                                                  "opened file:///home/me/Ringtones"}));
    }
    g_test_dbus_down(bus);
    g_object_unref(bus);
}
