// Paired phones against a stand-in KDE Connect daemon on a private session bus:
// the listing, the URL a share hands over, and a bus with no daemon or with one
// that never answers.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "delivery/paired_phones.h"
#include "tests/test_support.h"

namespace {

using namespace std::chrono_literals;
using quillon::delivery::PairedPhones;
using quillon::test::TempDir;
using quillon::test::writeFile;
using Clock = std::chrono::steady_clock;

constexpr const char* kDaemonXml =
    "<node><interface name='org.kde.kdeconnect.daemon'><method name='devices'><arg type='b' direction='in'/>"
    "<arg type='b' direction='in'/><arg type='as' direction='out'/></method></interface>"
    "<interface name='org.kde.kdeconnect.device'><property name='name' type='s' access='read'/></interface>"
    "<interface name='org.kde.kdeconnect.device.share'><method name='shareUrl'><arg type='s' direction='in'/>"
    "</method></interface></node>";

// A private session bus, and on it, when started, KDE Connect as Debian 12 runs
// it with one paired, reachable device "abc", which records what is shared with it.
class PairedPhonesTest : public ::testing::Test {
protected:
    PairedPhonesTest() { g_test_dbus_up(bus_); }
    ~PairedPhonesTest() override
    {
        phones_.reset();
        for (GDBusMethodInvocation* call : unanswered_)
            g_dbus_method_invocation_return_dbus_error(call, "org.test.Gone", "gone");
        if (daemon_) {
            g_dbus_connection_close_sync(daemon_, nullptr, nullptr);
            g_object_unref(daemon_);
            g_dbus_node_info_unref(node_);
        }
        g_test_dbus_down(bus_);
        g_object_unref(bus_);
    }

    void startDaemon(bool answers)
    {
        answers_ = answers;
        daemon_ = g_dbus_connection_new_for_address_sync(
            g_test_dbus_get_bus_address(bus_),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        node_ = g_dbus_node_info_new_for_xml(kDaemonXml, nullptr);
        const char* paths[] = {"/modules/kdeconnect", "/modules/kdeconnect/devices/abc",
                               "/modules/kdeconnect/devices/abc/share"};
        for (int i = 0; i < 3; ++i)
            g_dbus_connection_register_object(daemon_, paths[i], node_->interfaces[i], &kVtable, this, nullptr,
                                              nullptr);
        g_autoptr(GVariant) owned = g_dbus_connection_call_sync(
            daemon_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.kde.kdeconnect", 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        ASSERT_TRUE(owned);
    }
    // Serves the main context, as the window does, until done or past limit.
    static bool serveUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
    {
        const auto end = Clock::now() + limit;
        while (!done() && Clock::now() < end)
            g_main_context_iteration(nullptr, FALSE);
        return done();
    }
    bool listed()
    {
        return serveUntil([this] { return phones_->findStatus() == PairedPhones::kDone; });
    }

    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* call, gpointer data)
    {
        auto* self = static_cast<PairedPhonesTest*>(data);
        const char* ids[] = {"abc", nullptr};
        if (!g_str_equal(method, "devices")) {
            const gchar* url = nullptr;
            g_variant_get(parameters, "(&s)", &url);
            self->shared_.emplace_back(url);
            g_dbus_method_invocation_return_value(call, nullptr);
        } else if (self->answers_) {
            g_dbus_method_invocation_return_value(call, g_variant_new("(^as)", ids));
        } else {
            self->unanswered_.push_back(call);
        }
    }
    static GVariant* onGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**, gpointer)
    {
        return g_variant_new_string("Ann's phone");
    }
    static constexpr GDBusInterfaceVTable kVtable{onCall, onGet, nullptr, {}};

    GTestDBus* bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    GDBusConnection* daemon_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    bool answers_ = true;
    std::vector<GDBusMethodInvocation*> unanswered_;
    std::vector<std::string> shared_;
    TempDir temp_;
    std::unique_ptr<PairedPhones> phones_ = std::make_unique<PairedPhones>(temp_.path());
};

}  // namespace

TEST_F(PairedPhonesTest, ListsThePairedDeviceAndSharesTheClipsFileUrl)
{
    startDaemon(true);
    const std::string clip = (temp_ / "Ann & Bob ringtone.mp3").string();
    writeFile(clip, "ID3");
    writeFile(temp_.path().parent_path() / "elsewhere.mp3", "ID3");
    EXPECT_FALSE(phones_->send("kdeconnect/abc", clip));  // nothing listed yet
    EXPECT_EQ(phones_->findStatus(), 0);
    ASSERT_TRUE(phones_->find());
    EXPECT_EQ(phones_->findStatus(), 1);
    ASSERT_TRUE(listed());
    EXPECT_EQ(phones_->listing(), "kdeconnect/abc:::Ann's phone");

    // An id not listed, a file outside the temporary folder, the folder itself.
    for (const auto& [id, path] : {std::pair<std::string, std::string>{"gsconnect/abc", clip},
                                   {"kdeconnect/abc", temp_.path().parent_path() / "elsewhere.mp3"},
                                   {"kdeconnect/abc", temp_.path()}})
        EXPECT_FALSE(phones_->send(id, path)) << id << " " << path;
    EXPECT_EQ(phones_->sendStatus(), 0);
    ASSERT_TRUE(phones_->send("kdeconnect/abc", clip));
    EXPECT_EQ(phones_->sendStatus(), 1);
    EXPECT_TRUE(serveUntil([this] { return phones_->sendStatus() == PairedPhones::kDone; }));
    g_autofree gchar* url = g_filename_to_uri(clip.c_str(), nullptr, nullptr);
    EXPECT_EQ(shared_, std::vector<std::string>{url});
}

TEST_F(PairedPhonesTest, NoServiceRunningListsNoPhoneWithoutError)
{
    ASSERT_TRUE(phones_->find());
    ASSERT_TRUE(listed());
    EXPECT_EQ(phones_->listing(), "");
}

TEST_F(PairedPhonesTest, ADaemonThatNeverAnswersEndsWithinTheTimeOutWhileTheLoopRuns)
{
    startDaemon(false);
    int ticks = 0;
    const guint ticker = g_timeout_add(
        100, [](gpointer n) -> gboolean { return ++*static_cast<int*>(n) > 0; }, &ticks);
    const auto start = Clock::now();
    ASSERT_TRUE(phones_->find());
    ASSERT_TRUE(listed());
    const auto took = Clock::now() - start;
    g_source_remove(ticker);
    EXPECT_EQ(phones_->listing(), "");
    // One stalled call per name the daemon answers under; the other name fails at once.
    EXPECT_GE(took, PairedPhones::kCallTimeout);
    EXPECT_LT(took, PairedPhones::kCallTimeout + 1s);
    EXPECT_GE(ticks, 10);
}
