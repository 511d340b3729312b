// The service's addresses as the app builds them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/version.h"
#include "service_endpoint/homepage.h"
#include "service_endpoint/service_codes.h"
#include "service_endpoint/url_encode.h"

namespace quillon::service_endpoint {
namespace {

// Every byte outside [A-Za-z0-9] is escaped one by one (UTF-8 included); white space becomes "+".
TEST(Homepage, AddressEncodesItsTargetByteByByte)
{
    EXPECT_EQ(urlEncode(std::string("AZaz09 \t\n\v\f\r-_.~/?=%+&\0\x01\x1f\x7f\xc3\xa9", 28)),
              "AZaz09++++++%2D%5F%2E%7E%2F%3F%3D%25%2B%26%00%01%1F%7F%C3%A9");
    for (const char* service : {"10.0.0.7:80", "10.0.0.7"}) {
        ::setenv("QUILLON_SERVICE", service, 1);
        EXPECT_EQ(homepageAddress("a b&c"), "http://10.0.0.7/redir.php?pid=" + std::string(kProductCode) +
                                                "&ver=" + std::string(quillon::base::kVersionCode) +
                                                "&aff=" + std::string(kAffiliateCode) + "&where=a+b%26c");
    }
    ::unsetenv("QUILLON_SERVICE");
}

}  // namespace
}  // namespace quillon::service_endpoint
