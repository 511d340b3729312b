#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace quillon::app {

// The desktop's colour scheme, as the settings portal tells it
// (org.freedesktop.appearance color-scheme).
enum class ColorScheme : std::uint8_t { NoPreference, PreferDark, PreferLight };

// The scheme in a value the portal gives (a number, in as many variants as it
// wraps it in); nothing for any other value.
[[nodiscard]] std::optional<ColorScheme> colorSchemeOf(GVariant* value);

// Follows the desktop's colour scheme over the session bus: asks the settings
// portal once, without waiting and with a time-out, and listens for its changes.
// onScheme runs on the main context of the thread that made the watch, with the
// first answer and with every change; never when the portal is not there or
// after the watch is gone. GTK 3 reads the GTK theme only, so the window passes
// this on to it (and so to the pages' prefers-color-scheme).
class DesktopColorScheme {
public:
    static constexpr std::chrono::milliseconds kCallTimeout{2000};

    explicit DesktopColorScheme(std::function<void(ColorScheme)> onScheme,
                                std::chrono::milliseconds timeout = kCallTimeout);
    ~DesktopColorScheme();
    DesktopColorScheme(const DesktopColorScheme&) = delete;
    DesktopColorScheme& operator=(const DesktopColorScheme&) = delete;

private:
    void watch(GDBusConnection* bus);
    void tell(GVariant* value) const;
    static void onChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer self);

    std::function<void(ColorScheme)> onScheme_;
    std::chrono::milliseconds timeout_;
    GCancellable* cancellable_ = g_cancellable_new();
    GDBusConnection* bus_ = nullptr;
    guint subscription_ = 0;
};

}  // namespace quillon::app
