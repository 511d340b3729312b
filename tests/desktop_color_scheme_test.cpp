// The desktop's colour scheme read from a stand-in settings portal on a private session bus.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "app/desktop_color_scheme.h"
#include "tests/bus_stand_in.h"

using namespace std::chrono_literals;
using quillon::app::ColorScheme;
using quillon::app::DesktopColorScheme;

TEST(DesktopColorScheme, FollowsThePortalsFirstAnswerAndEachChangeOfItsKeyAlone)
{
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    {
        const quillon::test::BusStandIn portal(
            g_test_dbus_get_bus_address(bus), "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "<interface name='org.freedesktop.portal.Settings'><method name='Read'><arg type='s' direction='in'/>"
            "<arg type='s' direction='in'/><arg type='v' direction='out'/></method>"
            "<signal name='SettingChanged'><arg type='s'/><arg type='s'/><arg type='v'/></signal></interface>",
            [](const std::string&, GVariant* parameters) {
                const gchar* group = nullptr;
                const gchar* key = nullptr;
                g_variant_get(parameters, "(&s&s)", &group, &key);
                const bool asked = g_str_equal(group, "org.freedesktop.appearance") && g_str_equal(key, "color-scheme");
                return g_variant_new("(v)", g_variant_new_variant(g_variant_new_uint32(asked ? 1 : 9)));
            });
        ASSERT_TRUE(portal.owned());
        std::vector<ColorScheme> told;
        const DesktopColorScheme watch([&](ColorScheme scheme) { told.push_back(scheme); }, 10s);
        // Serves the main context, as the window does, until count schemes are told.
        const auto serveUntil = [&](std::size_t count) {
            const auto end = std::chrono::steady_clock::now() + 10s;
            while (told.size() < count && std::chrono::steady_clock::now() < end)
                g_main_context_iteration(nullptr, FALSE);
            return told.size() >= count;
        };
        ASSERT_TRUE(serveUntil(1));
        portal.emit("SettingChanged",
                    g_variant_new("(ssv)", "org.freedesktop.appearance", "accent-color", g_variant_new_uint32(2)));
        portal.emit("SettingChanged",
                    g_variant_new("(ssv)", "org.freedesktop.appearance", "color-scheme", g_variant_new_uint32(2)));
        portal.emit("SettingChanged",
                    g_variant_new("(ssv)", "org.freedesktop.appearance", "color-scheme", g_variant_new_uint32(0)));
        ASSERT_TRUE(serveUntil(3));
        EXPECT_EQ(told, (std::vector<ColorScheme>{ColorScheme::PreferDark, ColorScheme::PreferLight,
                                                  ColorScheme::NoPreference}));
    }
    g_test_dbus_down(bus);
    g_object_unref(bus);
}
