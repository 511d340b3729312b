#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

namespace quillon::app {

// A modal message box after a Windows style word; returns the Windows id of the
// button pressed.
std::int32_t runMessageBox(GtkWindow* owner, const std::string& caption, const std::string& text, std::int32_t style);

}  // namespace quillon::app
