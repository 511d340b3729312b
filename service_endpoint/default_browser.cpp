#include "settings/default_browser.h"

#include <gio/gio.h>

#include <memory>

namespace quillon::settings {
namespace {

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

}  // namespace

bool openInDefaultBrowser(const std::string& uri)
{
    GError* raw = nullptr;
    const bool launched = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &raw);
    const std::unique_ptr<GError, ErrorFree> error(raw);
    if (!launched)
        g_printerr("cannot open %s: %s\n", uri.c_str(), error ? error->message : "no handler");
    return launched;
}

}  // namespace quillon::settings
