#include "bridge/app_page.h"

#include <glib.h>

namespace quillon::bridge {

bool isAppPage(const std::string& uri, const std::string& resDir)
{
    if (resDir.empty() || uri.rfind("file://", 0) != 0)
        return false;
    const std::string withoutSuffix = uri.substr(0, uri.find_first_of("?#"));
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(withoutSuffix.c_str(), &host, nullptr);
    const bool remoteHost = host && g_strcmp0(host, "localhost") != 0;
    g_free(host);
    if (!path || remoteHost) {
        g_free(path);
        return false;
    }
    // Resolve "." and ".." so that res/../elsewhere does not pass as inside.
    gchar* canonical = g_canonicalize_filename(path, nullptr);
    g_free(path);
    const std::string page(canonical);
    g_free(canonical);
    const std::string prefix = resDir.back() == '/' ? resDir : resDir + "/";
    return page.size() > prefix.size() && page.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace quillon::bridge
