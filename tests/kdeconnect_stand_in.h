#pragma once

// KDE Connect as Debian 12 runs it, on a bus of the test's own: paired, reachable
// devices (by default one, "abc" named "Ann's phone"), which record the URLs shared
// with them as "<id> <url>". An id that cannot name an object is listed only. One
// that never answers holds the call that lists its devices.

#include <gio/gio.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/bus_stand_in.h"

namespace quillon::test {

class KdeConnectStandIn {
public:
    using Devices = std::vector<std::pair<std::string, std::string>>;  // id and name, in listing order

    KdeConnectStandIn(const char* busAddress, bool answers, const Devices& devices = {{"abc", "Ann's phone"}})
        : daemon_(busAddress, "org.kde.kdeconnect", objects(answers, devices))
    {}

    [[nodiscard]] bool owned() const { return daemon_.owned(); }
    [[nodiscard]] std::vector<std::string> shared() const
    {
        std::lock_guard lock(mutex_);
        return shared_;
    }

private:
    std::vector<StandInObject> objects(bool answers, const Devices& devices)
    {
        std::string ids;
        for (const auto& device : devices)
            ids += (ids.empty() ? "" : ", ") + std::string("'") + device.first + "'";
        std::vector<StandInObject> made{{.path = "/modules/kdeconnect",
                                         .interface = "org.kde.kdeconnect.daemon",
                                         .answers = {{"devices", "(@as [" + ids + "],)"}},
                                         .hangs = !answers}};
        for (const auto& [id, name] : devices) {
            const std::string path = "/modules/kdeconnect/devices/" + id;
            if (!g_variant_is_object_path(path.c_str()))
                continue;
            g_autoptr(GVariant) text = g_variant_ref_sink(g_variant_new_string(name.c_str()));
            g_autofree gchar* quoted = g_variant_print(text, FALSE);
            made.push_back({.path = path, .interface = "org.kde.kdeconnect.device", .answers = {{"name", quoted}}});
            made.push_back({.path = path + "/share",
                            .interface = "org.kde.kdeconnect.device.share",
                            .handler = [this, id = id](const std::string&, GVariant* arguments) {
                                const gchar* url = "";
                                g_variant_get(arguments, "(&s)", &url);
                                std::lock_guard lock(mutex_);
                                shared_.push_back(id + " " + url);
                                return g_variant_new("()");
                            }});
        }
        return made;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> shared_;
    BusStandIn daemon_;  // last: its thread stops before what its handlers touch goes
};

}  // namespace quillon::test
