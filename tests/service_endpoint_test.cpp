// The service's addresses as the app builds them; the homepage address as a whole is checked end to end.
#include <gtest/gtest.h>

#include "service_endpoint/service_host.h"
#include "service_endpoint/url_encode.h"

namespace quillon::service_endpoint {
namespace {

// Every byte outside [A-Za-z0-9] is escaped one by one (UTF-8 included); white space becomes "+".
TEST(UrlEncode, EscapesEveryByteButLettersAndDigits)
{
    EXPECT_EQ(urlEncode(std::string("AZaz09 \t\n\v\f\r-_.~/?=%+&\0\x01\x1f\x7f\xc3\xa9", 28)),
              "AZaz09++++++%2D%5F%2E%7E%2F%3F%3D%25%2B%26%00%01%1F%7F%C3%A9");
}

TEST(ServiceHost, AddressesLeaveOutPortEighty)
{
    for (const char* service : {"10.0.0.7:80", "10.0.0.7"})
        EXPECT_EQ(parseServiceHost(service).value().authority(), "10.0.0.7") << service;
}

}  // namespace
}  // namespace quillon::service_endpoint
