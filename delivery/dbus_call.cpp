#include "delivery/dbus_call.h"

#include <memory>

namespace quillon::delivery {

namespace {

void onCallDone(GObject* bus, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<DBusReply> onReply(static_cast<DBusReply*>(data));
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    // A cancelled call reports so even when its answer had come: the owner is gone.
    if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        (*onReply)(reply, error);
}

void onBusDone(GObject*, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<std::function<void(GDBusConnection*)>> onBus(
        static_cast<std::function<void(GDBusConnection*)>*>(data));
    g_autoptr(GError) error = nullptr;
    g_autoptr(GDBusConnection) bus = g_bus_get_finish(result, &error);
    if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        (*onBus)(bus);
}

}  // namespace

void callAsync(GDBusConnection* bus, const DBusTarget& target, const char* method, GVariant* parameters,
               const char* replyType, std::chrono::milliseconds timeout, GCancellable* cancellable, DBusReply onReply,
               GDBusCallFlags flags)
{
    g_dbus_connection_call(bus, target.name.c_str(), target.path.c_str(), target.interface.c_str(), method, parameters,
                           G_VARIANT_TYPE(replyType), flags, static_cast<int>(timeout.count()), cancellable, onCallDone,
                           new DBusReply(std::move(onReply)));
}

void sessionBusAsync(GCancellable* cancellable, std::function<void(GDBusConnection* bus)> onBus)
{
    g_bus_get(G_BUS_TYPE_SESSION, cancellable, onBusDone, new std::function<void(GDBusConnection*)>(std::move(onBus)));
}

void systemBusAsync(GCancellable* cancellable, std::function<void(GDBusConnection* bus)> onBus)
{
    g_bus_get(G_BUS_TYPE_SYSTEM, cancellable, onBusDone, new std::function<void(GDBusConnection*)>(std::move(onBus)));
}

}  // namespace quillon::delivery
