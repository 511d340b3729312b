#include "app/desktop_color_scheme.h"

#include "delivery/dbus_call.h"

namespace quillon::app {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettings = "org.freedesktop.portal.Settings";
constexpr const char* kNamespace = "org.freedesktop.appearance";
constexpr const char* kKey = "color-scheme";

}  // namespace

std::optional<ColorScheme> colorSchemeOf(GVariant* value)
{
    g_autoptr(GVariant) inner = g_variant_ref(value);
    while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* unwrapped = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = unwrapped;
    }
    if (!g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32))
        return std::nullopt;
    const guint32 scheme = g_variant_get_uint32(inner);
    return scheme == 1 ? ColorScheme::PreferDark : scheme == 2 ? ColorScheme::PreferLight : ColorScheme::NoPreference;
}

DesktopColorScheme::DesktopColorScheme(std::function<void(ColorScheme)> onScheme, std::chrono::milliseconds timeout)
    : onScheme_(std::move(onScheme)), timeout_(timeout)
{
    delivery::sessionBusAsync(cancellable_, [this](GDBusConnection* bus) {
        if (bus)
            watch(bus);
    });
}

DesktopColorScheme::~DesktopColorScheme()
{
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    if (bus_) {
        g_dbus_connection_signal_unsubscribe(bus_, subscription_);
        g_object_unref(bus_);
    }
}

void DesktopColorScheme::watch(GDBusConnection* bus)
{
    bus_ = G_DBUS_CONNECTION(g_object_ref(bus));
    subscription_ = g_dbus_connection_signal_subscribe(bus_, nullptr, kSettings, "SettingChanged", kPortalPath,
                                                       kNamespace, G_DBUS_SIGNAL_FLAGS_NONE, onChanged, this, nullptr);
    // Read, not ReadOne, which older portals lack; it wraps the value in one more variant.
    delivery::callAsync(bus_, {kPortal, kPortalPath, kSettings}, "Read", g_variant_new("(ss)", kNamespace, kKey), "(v)",
                        timeout_, cancellable_, [this](GVariant* reply, const GError*) {
                            if (!reply)
                                return;
                            g_autoptr(GVariant) value = g_variant_get_child_value(reply, 0);
                            tell(value);
                        });
}

void DesktopColorScheme::tell(GVariant* value) const
{
    if (const std::optional<ColorScheme> scheme = colorSchemeOf(value))
        onScheme_(*scheme);
}

void DesktopColorScheme::onChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                   GVariant* parameters, gpointer self)
{
    const gchar* group = nullptr;
    const gchar* key = nullptr;
    g_autoptr(GVariant) value = nullptr;
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)")))
        return;
    g_variant_get(parameters, "(&s&sv)", &group, &key, &value);
    if (g_str_equal(group, kNamespace) && g_str_equal(key, kKey))
        static_cast<const DesktopColorScheme*>(self)->tell(value);
}

}  // namespace quillon::app
