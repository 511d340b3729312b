#pragma once

#include <string>

namespace quillon::service_endpoint {

// Opens uri with the desktop's default handler for its scheme (for http: the
// default browser) without waiting for it. Returns false, with the reason on
// standard error, when no handler could be started. UI thread.
[[nodiscard]] bool openInDefaultBrowser(const std::string& uri);

}  // namespace quillon::service_endpoint
