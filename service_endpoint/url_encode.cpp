#include "service_endpoint/url_encode.h"

namespace quillon::service_endpoint {
namespace {

// Deliberately not <cctype>: the result must not depend on the locale.
bool isAsciiAlnum(unsigned char byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool isWhitespace(unsigned char byte) { return byte == ' ' || (byte >= '\t' && byte <= '\r'); }

}  // namespace

std::string urlEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isAsciiAlnum(byte)) {
            encoded += c;
        } else if (isWhitespace(byte)) {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

}  // namespace quillon::service_endpoint
