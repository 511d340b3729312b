#pragma once

// KDE Connect as Debian 12 runs it, on a bus of the test's own: one paired,
// reachable device "abc" named "Ann's phone", which records the URLs shared
// with it. One that never answers holds the call that lists its devices.

#include <gio/gio.h>

#include <string>
#include <vector>

#include "tests/bus_stand_in.h"

namespace quillon::test {

class KdeConnectStandIn {
public:
    KdeConnectStandIn(const char* busAddress, bool answers)
        : daemon_(busAddress, "org.kde.kdeconnect",
                  {{.path = "/modules/kdeconnect",
                    .interface = "org.kde.kdeconnect.daemon",
                    .answers = {{"devices", "(['abc'],)"}},
                    .hangs = !answers},
                   {.path = "/modules/kdeconnect/devices/abc",
                    .interface = "org.kde.kdeconnect.device",
                    .answers = {{"name", "\"Ann's phone\""}}},
                   {.path = "/modules/kdeconnect/devices/abc/share",
                    .interface = "org.kde.kdeconnect.device.share",
                    .answers = {{"shareUrl", "()"}}}})
    {}

    [[nodiscard]] bool owned() const { return daemon_.owned(); }
    [[nodiscard]] std::vector<std::string> shared() const
    {
        std::vector<std::string> urls;
        for (const std::string& call : daemon_.calls("shareUrl")) {
            g_autoptr(GVariant) arguments =
                g_variant_parse(G_VARIANT_TYPE("(s)"), call.c_str(), nullptr, nullptr, nullptr);
            const gchar* url = "";
            if (arguments)
                g_variant_get(arguments, "(&s)", &url);
            urls.emplace_back(url);
        }
        return urls;
    }

private:
    BusStandIn daemon_;
};

}  // namespace quillon::test
