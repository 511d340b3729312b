#pragma once

// A service on a test's own bus: it owns a name and answers the methods of one
// object, in the main context that is the thread default where it is made.

#include <gio/gio.h>

#include <functional>
#include <string>

namespace quillon::test {

class BusStandIn {
public:
    // answer(method, parameters): the reply's value tuple (nullptr for none).
    using Answer = std::function<GVariant*(const std::string& method, GVariant* parameters)>;

    BusStandIn(const char* busAddress, const char* name, const char* path, const char* interfaceXml, Answer answer)
        : path_(path), answer_(std::move(answer))
    {
        bus_ = g_dbus_connection_new_for_address_sync(
            busAddress,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        node_ = g_dbus_node_info_new_for_xml(("<node>" + std::string(interfaceXml) + "</node>").c_str(), nullptr);
        interface_ = node_->interfaces[0]->name;
        g_dbus_connection_register_object(bus_, path, node_->interfaces[0], &kVtable, this, nullptr, nullptr);
        g_autoptr(GVariant) owned = g_dbus_connection_call_sync(
            bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", name, 4u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        owned_ = owned != nullptr;
    }
    ~BusStandIn()
    {
        g_dbus_connection_close_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
        g_dbus_node_info_unref(node_);
    }
    BusStandIn(const BusStandIn&) = delete;
    BusStandIn& operator=(const BusStandIn&) = delete;

    [[nodiscard]] bool owned() const { return owned_; }
    // Emits a signal of the object's interface.
    void emit(const char* signal, GVariant* parameters) const
    {
        g_dbus_connection_emit_signal(bus_, nullptr, path_.c_str(), interface_.c_str(), signal, parameters, nullptr);
    }

private:
    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* call, gpointer self)
    {
        g_dbus_method_invocation_return_value(call, static_cast<BusStandIn*>(self)->answer_(method, parameters));
    }
    static constexpr GDBusInterfaceVTable kVtable{onCall, nullptr, nullptr, {}};

    std::string path_;
    std::string interface_;
    Answer answer_;
    GDBusConnection* bus_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    bool owned_ = false;
};

}  // namespace quillon::test
