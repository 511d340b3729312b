#pragma once

// KDE Connect as Debian 12 runs it, on a bus of the test's own: one paired,
// reachable device "abc" named "Ann's phone", which records the URLs shared
// with it. Calls are answered in the main context that is the thread default
// where the stand-in is made; one that never answers holds its calls instead.

#include <gio/gio.h>

#include <mutex>
#include <string>
#include <vector>

namespace quillon::test {

class KdeConnectStandIn {
public:
    KdeConnectStandIn(const char* busAddress, bool answers) : answers_(answers)
    {
        daemon_ = g_dbus_connection_new_for_address_sync(
            busAddress,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        node_ = g_dbus_node_info_new_for_xml(kXml, nullptr);
        const char* paths[] = {"/modules/kdeconnect", "/modules/kdeconnect/devices/abc",
                               "/modules/kdeconnect/devices/abc/share"};
        for (int i = 0; i < 3; ++i)
            g_dbus_connection_register_object(daemon_, paths[i], node_->interfaces[i], &kVtable, this, nullptr,
                                              nullptr);
        g_autoptr(GVariant) owned = g_dbus_connection_call_sync(
            daemon_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.kde.kdeconnect", 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        owned_ = owned != nullptr;
    }
    ~KdeConnectStandIn()
    {
        for (GDBusMethodInvocation* call : unanswered_)
            g_dbus_method_invocation_return_dbus_error(call, "org.test.Gone", "gone");
        g_dbus_connection_close_sync(daemon_, nullptr, nullptr);
        g_object_unref(daemon_);
        g_dbus_node_info_unref(node_);
    }
    KdeConnectStandIn(const KdeConnectStandIn&) = delete;
    KdeConnectStandIn& operator=(const KdeConnectStandIn&) = delete;

    [[nodiscard]] bool owned() const { return owned_; }
    [[nodiscard]] std::vector<std::string> shared() const
    {
        std::lock_guard lock(mutex_);
        return shared_;
    }

private:
    static constexpr const char* kXml =
        "<node><interface name='org.kde.kdeconnect.daemon'><method name='devices'><arg type='b' direction='in'/>"
        "<arg type='b' direction='in'/><arg type='as' direction='out'/></method></interface>"
        "<interface name='org.kde.kdeconnect.device'><property name='name' type='s' access='read'/></interface>"
        "<interface name='org.kde.kdeconnect.device.share'><method name='shareUrl'><arg type='s' direction='in'/>"
        "</method></interface></node>";

    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* call, gpointer data)
    {
        auto* self = static_cast<KdeConnectStandIn*>(data);
        const char* ids[] = {"abc", nullptr};
        if (!g_str_equal(method, "devices")) {
            const gchar* url = nullptr;
            g_variant_get(parameters, "(&s)", &url);
            std::lock_guard lock(self->mutex_);
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

    bool answers_;
    bool owned_ = false;
    GDBusConnection* daemon_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    std::vector<GDBusMethodInvocation*> unanswered_;
    mutable std::mutex mutex_;
    std::vector<std::string> shared_;
};

}  // namespace quillon::test
