// Whether the firewall lets phones reach the served port: firewalld's entries, and
// ufw where firewalld does not run.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>

#include "delivery/firewall_port.h"
#include "delivery/firewall_rules.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace {

using namespace quillon::delivery;
using namespace quillon::test;
using namespace std::chrono_literals;

TEST(FirewallRules, AnEntryCoversThePortOnlyForTcpWithinItsRange)
{
    struct Case {
        const char* port;
        const char* protocol;
        bool covered;
    };
    // The whole high range, as zones that let phones in hold it, is the phone routes' road.
    for (const Case& c : {Case{.port = "41234", .protocol = "tcp", .covered = true},
                          Case{.port = "1025-65535", .protocol = "udp", .covered = false},
                          Case{.port = "41235-65535", .protocol = "tcp", .covered = false},
                          Case{.port = "412340", .protocol = "tcp", .covered = false},
                          Case{.port = "4123x", .protocol = "tcp", .covered = false},
                          Case{.port = "", .protocol = "tcp", .covered = false}})
        EXPECT_EQ(tcpPortCovered(c.port, c.protocol, 41234), c.covered) << c.port << "/" << c.protocol;
}

TEST(FirewallRules, UfwIsOnWhenItsConfigurationSaysYes)
{
    struct Case {
        const char* configuration;
        bool enabled;
    };
    for (const Case& c :
         {Case{.configuration = "# comment\nENABLED=yes\nLOGLEVEL=low\n", .enabled = true},
          Case{.configuration = "  ENABLED=\"yes\"\r\n", .enabled = true},
          Case{.configuration = "ENABLED=yes\nENABLED=no\n", .enabled = false},
          Case{.configuration = "#ENABLED=yes\n", .enabled = false}, Case{.configuration = "", .enabled = false}})
        EXPECT_EQ(ufwEnabled(c.configuration), c.enabled) << c.configuration;
}

TEST(FirewallPortTest, WithoutFirewalldAnActiveUfwIsNamedWithItsCommand)
{
    g_autoptr(GTestDBus) bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", g_test_dbus_get_bus_address(bus), 1);
    const TempDir temp;
    writeFile(temp / "ufw.conf", "ENABLED=yes\n");
    {
        FirewallPort firewall(temp / "ufw.conf");
        firewall.check(41234, "wlan0", std::chrono::steady_clock::now() + 15min);
        EXPECT_EQ(firewall.status(), FirewallPort::kChecking);
        waitUntil(
            [&] { return g_main_context_iteration(nullptr, FALSE), firewall.status() != FirewallPort::kChecking; });
        EXPECT_EQ(firewall.status(), FirewallPort::kUfwOn);
        EXPECT_EQ(firewall.response(), "sudo ufw allow 41234/tcp");
        EXPECT_FALSE(firewall.allow());  // ufw is the user's to open
    }
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_test_dbus_down(bus);
}

}  // namespace
