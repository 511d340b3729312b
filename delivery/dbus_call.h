#pragma once

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <string>

namespace quillon::delivery {

// One interface of one object of a service on the bus.
struct DBusTarget {
    std::string name;
    std::string path;
    std::string interface;
};

// The reply (nullptr on failure) or the error (nullptr on success).
using DBusReply = std::function<void(GVariant* reply, const GError* error)>;

// Calls method without waiting: onReply runs later on the calling thread's main
// context, with the error G_IO_ERROR_TIMED_OUT when no answer came within timeout.
// It never runs once cancellable is cancelled, so it may hold on to an owner that
// cancels when it goes. By default a service that is not running is never started
// for the call; flags may allow that, or let the service ask for a password.
void callAsync(GDBusConnection* bus, const DBusTarget& target, const char* method, GVariant* parameters,
               const char* replyType, std::chrono::milliseconds timeout, GCancellable* cancellable, DBusReply onReply,
               GDBusCallFlags flags = G_DBUS_CALL_FLAGS_NO_AUTO_START);

// Connects to the session bus without waiting; onBus gets nullptr when there is
// none. Never runs once cancellable is cancelled.
void sessionBusAsync(GCancellable* cancellable, std::function<void(GDBusConnection* bus)> onBus);
// The same for the system bus.
void systemBusAsync(GCancellable* cancellable, std::function<void(GDBusConnection* bus)> onBus);

}  // namespace quillon::delivery
