#pragma once

#include <gtk/gtk.h>

namespace quillon::app {

class MainWindow;

// The app's right-click menu, shown in place of the page's own.
void showPopupMenu(MainWindow& window, GdkEvent* trigger);

}  // namespace quillon::app
