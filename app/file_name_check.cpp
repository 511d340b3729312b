#include "app/file_name_check.h"

#include <glib.h>

namespace quillon::app {

std::optional<std::string> unusableFileNameMessage(const std::string& path)
{
    if (g_utf8_validate(path.data(), static_cast<gssize>(path.size()), nullptr))
        return std::nullopt;
    // A NUL cannot reach us from a command line or a chooser; the display form
    // stops there like every C consumer of the name would.
    g_autofree gchar* shown = g_filename_display_name(path.c_str());
    return "Quillon cannot use this file because its name is not valid UTF-8 text:\n\n" + std::string(shown) +
           "\n\nRename the file (for example in your file manager), then open it again.";
}

}  // namespace quillon::app
