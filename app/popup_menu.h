#pragma once

#include <gtk/gtk.h>

namespace quillon::app {

class MainWindow;

// The app's right-click menu, shown in place of the page's own.
void showPopupMenu(MainWindow& window, GdkEvent* trigger);

// The window's menu, for its header bar: a button with "About Quillon...", which
// F10 opens as well, as in other desktop programs.
[[nodiscard]] GtkWidget* windowMenuButton(MainWindow& window, GtkAccelGroup* keys);

}  // namespace quillon::app
