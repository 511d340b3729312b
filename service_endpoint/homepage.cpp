#include "service_endpoint/homepage.h"

#include "base/version.h"
#include "service_endpoint/service_host.h"
#include "service_endpoint/url_encode.h"

namespace quillon::service_endpoint {
namespace {

// Fixed, deliberately not the stored TEAid setting.
constexpr std::string_view kAffiliateCode = "2";

}  // namespace

std::string homepageAddress(std::string_view where)
{
    return "http://" + serviceHost().authority() + "/redir.php?pid=2&ver=" + urlEncode(kVersionCode) +
           "&aff=" + urlEncode(kAffiliateCode) + "&where=" + urlEncode(where);
}

void navigateUrl(std::string_view where, const UriLauncher& launch) { (void)launch(homepageAddress(where)); }

}  // namespace quillon::service_endpoint
