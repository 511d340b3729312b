// The desktop's colour scheme as the settings portal's values give it.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include "app/desktop_color_scheme.h"

using quillon::app::ColorScheme;

TEST(DesktopColorScheme, IsReadFromTheNumberInWhateverVariantsWrapIt)
{
    // Read wraps the value once more than ReadOne and the change signal do.
    using enum ColorScheme;
    const std::pair<const char*, std::optional<ColorScheme>> cases[] = {
        {"uint32 1", PreferDark},     {"<<uint32 2>>", PreferLight}, {"<uint32 0>", NoPreference},
        {"<uint32 7>", NoPreference}, {"<'dark'>", std::nullopt},    {"int32 1", std::nullopt},
    };
    for (const auto& [text, scheme] : cases) {
        g_autoptr(GVariant) value = g_variant_ref_sink(g_variant_parse(nullptr, text, nullptr, nullptr, nullptr));
        EXPECT_EQ(quillon::app::colorSchemeOf(value), scheme) << text;
    }
}
