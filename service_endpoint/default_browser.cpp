#include "service_endpoint/default_browser.h"

#include <gio/gio.h>

namespace quillon::service_endpoint {

bool openInDefaultBrowser(const std::string& uri)
{
    g_autoptr(GError) error = nullptr;
    const bool launched = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
    if (!launched)
        g_printerr("cannot open %s: %s\n", uri.c_str(), error ? error->message : "no handler");
    return launched;
}

}  // namespace quillon::service_endpoint
