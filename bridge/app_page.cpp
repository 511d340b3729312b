#include "bridge/app_page.h"

#include <glib.h>

namespace quillon::bridge {

bool isAppPage(const std::string& uri, const std::string& resDir)
{
    if (resDir.empty() || uri.rfind("file://", 0) != 0)
        return false;
    const std::string withoutSuffix = uri.substr(0, uri.find_first_of("?#"));
    g_autofree gchar* host = nullptr;
    g_autofree gchar* path = g_filename_from_uri(withoutSuffix.c_str(), &host, nullptr);
    if (!path || (host && g_strcmp0(host, "localhost") != 0))
        return false;
    // Resolve "." and ".." so that res/../elsewhere does not pass as inside.
    g_autofree gchar* canonical = g_canonicalize_filename(path, nullptr);
    const std::string page(canonical);
    const std::string prefix = resDir.back() == '/' ? resDir : resDir + "/";
    return page.size() > prefix.size() && page.compare(0, prefix.size(), prefix) == 0;
}

bool AppPageCheck::operator()(const char* uri)
{
    if (!uri)
        return false;
    if (lastUri_ != uri) {
        lastUri_ = uri;
        lastAnswer_ = isAppPage(lastUri_, resDir_);
    }
    return lastAnswer_;
}

}  // namespace quillon::bridge
