#pragma once

#include <gtk/gtk.h>

#include <string>

namespace quillon::app {

// A modal chooser for one existing audio file. Returns its absolute path, or the
// empty text when the user cancels, the path is too long for the pages (512 bytes
// with its terminator) or its name is not UTF-8 (the user is told so first).
std::string chooseMediaFile(GtkWindow* owner);

}  // namespace quillon::app
