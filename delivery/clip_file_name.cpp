#include "delivery/clip_file_name.h"

#include <glib.h>

#include <algorithm>

namespace quillon::delivery {

std::string clipFileName(const std::string& givenName)
{
    g_autofree gchar* valid = g_utf8_make_valid(givenName.c_str(), static_cast<gssize>(givenName.size()));
    std::string name = valid;
    std::replace(name.begin(), name.end(), '/', '-');
    std::erase_if(name, [](char c) { return static_cast<unsigned char>(c) < 0x20U || c == 0x7F; });
    name.erase(0, name.find_first_not_of(". -"));
    const bool mp3 = name.size() > 4 && g_ascii_strcasecmp(name.c_str() + name.size() - 4, ".mp3") == 0;
    if (!mp3)
        name += name.empty() ? "ringtone.mp3" : ".mp3";
    return name;
}

}  // namespace quillon::delivery
