#pragma once

// A stand-in service on a bus of the test's own, answering on a thread of its own
// the methods and properties of tests/stand_ins/interfaces.xml, and recording every
// call as "member (arguments as GVariant text)".

#include <gio/gio.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

struct StandInObject {
    std::string path;
    std::string interface;
    // Each member's answer as GVariant text (a method's as the tuple of its results), or
    // "error <D-Bus error name>" for a method that fails.
    std::map<std::string, std::string> answers = {};
    // Answers the other members, from the stand-in's thread (arguments nullptr for a property).
    std::function<GVariant*(const std::string& member, GVariant* arguments)> handler = nullptr;
    // Members whose calls get no answer while the stand-in is up, as of a service that hangs.
    bool hangs = false;
};

class BusStandIn {
public:
    BusStandIn(const std::string& busAddress, const char* busName, std::vector<StandInObject> objects);
    ~BusStandIn();
    BusStandIn(const BusStandIn&) = delete;
    BusStandIn& operator=(const BusStandIn&) = delete;

    [[nodiscard]] bool owned() const { return owned_; }
    // The arguments of each call to member, in order.
    [[nodiscard]] std::vector<std::string> calls(const std::string& member) const;
    // Runs fn on the stand-in's thread after ms: from a handler, after its answer has gone.
    void later(unsigned ms, std::function<void()> fn) const;
    void emitPropertiesChanged(const std::string& path, const char* interface, const std::string& changed) const;

private:
    struct Registered {
        BusStandIn* owner;
        StandInObject object;
        GDBusInterfaceInfo* info;
    };
    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* arguments, GDBusMethodInvocation* call, gpointer object);
    static GVariant* onGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property, GError**,
                           gpointer object);
    static GVariant* answer(const Registered& object, const std::string& member, GVariant* arguments);

    GMainContext* context_ = g_main_context_new();
    GDBusConnection* connection_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    std::vector<std::unique_ptr<Registered>> objects_;
    bool owned_ = false;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> calls_;
    std::vector<GDBusMethodInvocation*> held_;
};

}  // namespace quillon::test
