#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "service_endpoint/default_browser.h"

namespace quillon::service_endpoint {

// Opens an address somewhere (the default browser, or a recorder in tests).
// Returns whether the launch started.
using UriLauncher = std::function<bool(const std::string& uri)>;

// The service's redirect address for where:
// "http://" host "/redir.php?pid=" kProductCode "&ver=" kVersionCode "&aff=" kAffiliateCode
// "&where=" urlEncode(where).
[[nodiscard]] std::string homepageAddress(std::string_view where);

// Opens homepageAddress(where) through launch. A failed launch shows nothing and is
// not reported to the page. UI thread.
void navigateUrl(std::string_view where, const UriLauncher& launch = openInDefaultBrowser);

}  // namespace quillon::service_endpoint
