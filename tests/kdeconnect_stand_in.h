#pragma once

// KDE Connect as Debian 12 runs it, on a bus of the test's own: paired, reachable
// devices (by default one, "abc" named "Ann's phone"), which record the URLs shared
// with them as "<id> <url>". An id that cannot name an object is listed only.
// Calls are answered in the main context that is the thread default where the
// stand-in is made; one that never answers holds its calls instead.

#include <gio/gio.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quillon::test {

class KdeConnectStandIn {
public:
    using Devices = std::vector<std::pair<std::string, std::string>>;  // id and name, in listing order

    KdeConnectStandIn(const char* busAddress, bool answers, Devices devices = {{"abc", "Ann's phone"}})
        : answers_(answers), devices_(std::move(devices))
    {
        daemon_ = g_dbus_connection_new_for_address_sync(
            busAddress,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        node_ = g_dbus_node_info_new_for_xml(kXml, nullptr);
        g_dbus_connection_register_object(daemon_, "/modules/kdeconnect", node_->interfaces[0], &kVtable, this, nullptr,
                                          nullptr);
        for (const auto& [id, name] : devices_) {
            const std::string path = "/modules/kdeconnect/devices/" + id;
            if (!g_variant_is_object_path(path.c_str()))
                continue;
            names_[path] = name;
            g_dbus_connection_register_object(daemon_, path.c_str(), node_->interfaces[1], &kVtable, this, nullptr,
                                              nullptr);
            g_dbus_connection_register_object(daemon_, (path + "/share").c_str(), node_->interfaces[2], &kVtable, this,
                                              nullptr, nullptr);
        }
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

    static void onCall(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* call, gpointer data)
    {
        auto* self = static_cast<KdeConnectStandIn*>(data);
        if (!g_str_equal(method, "devices")) {
            const gchar* url = nullptr;
            g_variant_get(parameters, "(&s)", &url);
            const std::string device(path);  // ".../devices/<id>/share"
            const std::size_t end = device.rfind('/'), start = device.rfind('/', end - 1) + 1;
            std::lock_guard lock(self->mutex_);
            self->shared_.push_back(device.substr(start, end - start) + " " + url);
            g_dbus_method_invocation_return_value(call, nullptr);
        } else if (self->answers_) {
            GVariantBuilder ids;
            g_variant_builder_init(&ids, G_VARIANT_TYPE("as"));
            for (const auto& device : self->devices_)
                g_variant_builder_add(&ids, "s", device.first.c_str());
            g_dbus_method_invocation_return_value(call, g_variant_new("(as)", &ids));
        } else {
            self->unanswered_.push_back(call);
        }
    }
    static GVariant* onGet(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*, GError**,
                           gpointer data)
    {
        return g_variant_new_string(static_cast<KdeConnectStandIn*>(data)->names_.at(path).c_str());
    }
    static constexpr GDBusInterfaceVTable kVtable{onCall, onGet, nullptr, {}};

    bool answers_;
    Devices devices_;
    std::map<std::string, std::string> names_;  // by object path
    bool owned_ = false;
    GDBusConnection* daemon_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    std::vector<GDBusMethodInvocation*> unanswered_;
    mutable std::mutex mutex_;
    std::vector<std::string> shared_;
};

}  // namespace quillon::test
