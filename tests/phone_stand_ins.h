#pragma once

// A desktop's phone services as stand-ins: firewalld and BlueZ on a system bus of
// the test's own, BlueZ's OBEX service on a session bus. BlueZ knows one paired
// phone that takes files ("Ann's phone") and one paired headset that does not;
// OBEX keeps the file pushed to it and ends the transfer as told.

#include <filesystem>
#include <mutex>
#include <string>
#include <utility>

#include "tests/bus_stand_in.h"
#include "tests/test_support.h"

namespace quillon::test {

inline constexpr const char* kPhoneAddress = "5C:E9:1E:00:00:01";

struct PhoneServicesSetup {
    std::string zonePorts = "[['22', 'tcp']]";  // as getPorts answers
    std::string addPort = "('public',)";        // or firewalld's refusal
    std::string transferEnd = "complete";       // or "error"
    unsigned transferMs = 600;                  // from SendFile to the transfer's end
};

class PhoneServices {
    // First: the stand-ins' threads write it until they stop.
    std::mutex mutex_;
    std::pair<std::string, std::string> pushed_;  // the file's name and bytes

public:
    static constexpr const char* kTransfer = "/org/bluez/obex/client/session0/transfer0";

    PhoneServices(const std::string& systemBus, const std::string& sessionBus, const PhoneServicesSetup& setup)
        : firewalld(systemBus, "org.fedoraproject.FirewallD1",
                    {{.path = "/org/fedoraproject/FirewallD1",
                      .interface = "org.fedoraproject.FirewallD1",
                      .answers = {{"getDefaultZone", "('public',)"},
                                  {"getServiceSettings2", "({'ports': <[('22', 'tcp')]>},)"}}},
                     {.path = "/org/fedoraproject/FirewallD1",
                      .interface = "org.fedoraproject.FirewallD1.zone",
                      .answers = {{"getZoneOfInterface", "('',)"},  // in the default zone
                                  {"getPorts", "(" + setup.zonePorts + ",)"},
                                  {"getServices", "(['ssh'],)"},
                                  {"addPort", setup.addPort},
                                  {"removePort", "('public',)"}}}}),
          bluez(
              systemBus, "org.bluez",
              {{.path = "/",
                .interface = "org.freedesktop.DBus.ObjectManager",
                .answers = {{"GetManagedObjects", "(" + readFile(QUILLON_STAND_INS_DIR "/bluez_objects.txt") + ",)"}}},
               {.path = "/org/bluez/hci0", .interface = "org.bluez.Adapter1", .answers = {{"Powered", "true"}}}}),
          obex(sessionBus, "org.bluez.obex",
               {{.path = "/org/bluez/obex",
                 .interface = "org.bluez.obex.Client1",
                 .answers = {{"CreateSession", "(objectpath '/org/bluez/obex/client/session0',)"},
                             {"RemoveSession", "()"}}},
                {.path = "/org/bluez/obex/client/session0",
                 .interface = "org.bluez.obex.ObjectPush1",
                 .handler = [this, setup](const std::string&,
                                          GVariant* arguments) { return sendFile(arguments, setup); }},
                {.path = kTransfer, .interface = "org.bluez.obex.Transfer1", .answers = {{"Cancel", "()"}}}})
    {}

    [[nodiscard]] bool owned() const { return firewalld.owned() && bluez.owned() && obex.owned(); }
    [[nodiscard]] std::pair<std::string, std::string> pushed()
    {
        const std::lock_guard lock(mutex_);
        return pushed_;
    }

    BusStandIn firewalld;
    BusStandIn bluez;
    BusStandIn obex;

private:
    // Takes the file as the phone would, then reports the transfer half done, and ended.
    GVariant* sendFile(GVariant* arguments, const PhoneServicesSetup& setup)
    {
        const gchar* path = nullptr;
        g_variant_get(arguments, "(&s)", &path);
        const std::string bytes = readFile(path);
        {
            const std::lock_guard lock(mutex_);
            pushed_ = {std::filesystem::path(path).filename(), bytes};
        }
        const auto step = [this](const std::string& status, std::size_t done) {
            obex.emitPropertiesChanged(kTransfer, "org.bluez.obex.Transfer1",
                                       "{'Status': <'" + status + "'>, 'Transferred': <uint64 " + std::to_string(done) +
                                           ">}");
        };
        obex.later(setup.transferMs / 2, [step, half = bytes.size() / 2] { step("active", half); });
        obex.later(setup.transferMs, [step, end = setup.transferEnd, whole = bytes.size()] { step(end, whole); });
        return g_variant_new_parsed("(%o, {'Status': <'queued'>, 'Size': <%t>})", kTransfer,
                                    static_cast<guint64>(bytes.size()));
    }
};

}  // namespace quillon::test
