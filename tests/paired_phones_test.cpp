// Paired phones against a stand-in daemon on a private session bus.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "delivery/paired_phones.h"
#include "tests/bus_stand_in.h"
#include "tests/kdeconnect_stand_in.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace {

using namespace std::chrono_literals;
using quillon::delivery::PairedPhones;
using namespace quillon::test;

// A private session bus, for the stand-in daemons of each test.
class PairedPhonesTest : public ::testing::Test {
protected:
    PairedPhonesTest() { g_test_dbus_up(bus); }
    ~PairedPhonesTest() override
    {
        phones.reset();
        daemon.reset();
        g_test_dbus_down(bus);
        g_object_unref(bus);
    }

    // Serves the main context, as the window does, until done.
    static bool serveUntil(const std::function<bool()>& done)
    {
        return waitUntil([&] { return g_main_context_iteration(nullptr, FALSE), done(); });
    }
    bool listed()
    {
        return serveUntil([this] { return phones->findStatus() == PairedPhones::kDone; });
    }

    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    std::unique_ptr<KdeConnectStandIn> daemon;
    TempDir temp;
    std::unique_ptr<PairedPhones> phones = std::make_unique<PairedPhones>(temp.path());
};

}  // namespace

TEST_F(PairedPhonesTest, AKdeConnectPhoneGetsTheClipsFileUrl)
{
    daemon = std::make_unique<KdeConnectStandIn>(g_test_dbus_get_bus_address(bus), true);
    ASSERT_TRUE(daemon->owned());
    const std::string clip = (temp / "Ann & Bob ringtone.mp3").string();
    writeFile(clip, "ID3");
    writeFile(temp.path().parent_path() / "elsewhere.mp3", "ID3");
    EXPECT_FALSE(phones->send("kdeconnect/abc", clip));  // nothing listed yet
    ASSERT_TRUE(phones->find());
    EXPECT_EQ(phones->findStatus(), 1);
    ASSERT_TRUE(listed());
    EXPECT_EQ(phones->listing(), "kdeconnect/abc:::Ann's phone");

    // An id not listed; a file outside the temporary folder (the clip server's refusals show the rest).
    EXPECT_FALSE(phones->send("gsconnect/abc", clip));
    EXPECT_FALSE(phones->send("kdeconnect/abc", temp.path().parent_path() / "elsewhere.mp3"));
    EXPECT_EQ(phones->sendStatus(), 0);
    ASSERT_TRUE(phones->send("kdeconnect/abc", clip));
    EXPECT_EQ(phones->sendStatus(), 1);
    EXPECT_TRUE(serveUntil([this] { return phones->sendStatus() == PairedPhones::kDone; }));
    g_autofree gchar* url = g_filename_to_uri(clip.c_str(), nullptr, nullptr);
    EXPECT_EQ(daemon->shared(), std::vector<std::string>{"abc " + std::string(url)});
}

TEST_F(PairedPhonesTest, AGsConnectPhoneGetsTheClipByAFileAction)
{
    // GSConnect lists its devices through an object manager; a device shares by its "shareFile" action.
    const std::string device = "/org/gnome/Shell/Extensions/GSConnect/Device/c0ffee";
    const BusStandIn gsconnect(
        g_test_dbus_get_bus_address(bus), "org.gnome.Shell.Extensions.GSConnect",
        {{.path = "/org/gnome/Shell/Extensions/GSConnect",
          .interface = "org.freedesktop.DBus.ObjectManager",
          .answers = {{"GetManagedObjects", "({objectpath '" + device +
                                                "': {'org.gnome.Shell.Extensions.GSConnect.Device': {'Name': "
                                                "<\"Bob's phone\">, 'Paired': <true>, 'Connected': <true>}}},)"}}},
         {.path = device, .interface = "org.gtk.Actions", .answers = {{"Activate", "()"}}}});
    ASSERT_TRUE(gsconnect.owned());
    const std::string clip = (temp / "clip.mp3").string();
    writeFile(clip, "ID3");
    ASSERT_TRUE(phones->find());
    ASSERT_TRUE(listed());
    EXPECT_EQ(phones->listing(), "gsconnect/c0ffee:::Bob's phone");
    ASSERT_TRUE(phones->send("gsconnect/c0ffee", clip));
    EXPECT_TRUE(serveUntil([this] { return phones->sendStatus() == PairedPhones::kDone; }));
    g_autofree gchar* url = g_filename_to_uri(clip.c_str(), nullptr, nullptr);
    EXPECT_EQ(gsconnect.calls("Activate"),
              std::vector<std::string>{"('shareFile', [<('" + std::string(url) + "', false)>], {})"});
}

TEST_F(PairedPhonesTest, ADaemonThatNeverAnswersEndsWithinTheTimeOutWhileTheLoopRuns)
{
    daemon = std::make_unique<KdeConnectStandIn>(g_test_dbus_get_bus_address(bus), false);
    ASSERT_TRUE(daemon->owned());
    int ticks = 0;
    const guint ticker = g_timeout_add(
        100, [](gpointer n) -> gboolean { return ++*static_cast<int*>(n) > 0; }, &ticks);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(phones->find());
    ASSERT_TRUE(listed());
    const auto took = std::chrono::steady_clock::now() - start;
    g_source_remove(ticker);
    EXPECT_EQ(phones->listing(), "");
    // One stalled call per name the daemon answers under; the other name fails at once.
    EXPECT_GE(took, PairedPhones::kCallTimeout);
    EXPECT_LT(took, PairedPhones::kCallTimeout + 1s);
    EXPECT_GE(ticks, 10);
}
