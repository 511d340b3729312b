#include "delivery/phone_file_name.h"

#include <glib.h>

namespace quillon::delivery {

std::string phoneFileName(const std::string& downloadName)
{
    g_autofree gchar* valid = g_utf8_make_valid(downloadName.c_str(), static_cast<gssize>(downloadName.size()));
    std::string name = valid;
    if (const auto slash = name.find_last_of('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    std::erase_if(name, [](char c) { return static_cast<unsigned char>(c) < 0x20U || c == 0x7F; });
    name.erase(0, name.find_first_not_of(". "));
    const bool mp3 = name.size() > 4 && g_ascii_strcasecmp(name.c_str() + name.size() - 4, ".mp3") == 0;
    if (!mp3)
        name += name.empty() ? "ringtone.mp3" : ".mp3";
    return name;
}

}  // namespace quillon::delivery
