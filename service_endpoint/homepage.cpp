#include "service_endpoint/homepage.h"

#include "base/service_api.h"
#include "base/version.h"
#include "service_endpoint/service_codes.h"
#include "service_endpoint/service_host.h"
#include "service_endpoint/url_encode.h"

namespace quillon::service_endpoint {
std::string homepageAddress(std::string_view where)
{
    return "http://" + serviceHost().authority() + base::kServiceRedirectPath + "?pid=" + urlEncode(kProductCode) +
           "&ver=" + urlEncode(base::kVersionCode) + "&aff=" + urlEncode(kAffiliateCode) + "&where=" + urlEncode(where);
}

void navigateUrl(std::string_view where, const UriLauncher& launch) { (void)launch(homepageAddress(where)); }

}  // namespace quillon::service_endpoint
