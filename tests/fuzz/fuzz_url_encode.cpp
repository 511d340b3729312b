// The query-string encoding of texts that go into the homepage address.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "service_endpoint/url_encode.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool isAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isWhitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
int hexValue(char c) { return c >= '0' && c <= '9' ? c - '0' : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string encoded = quillon::service_endpoint::urlEncode(text);

    // Decoding gives back every byte, with each '+' standing for a whitespace byte,
    // and nothing in the result can end a query value or start another one.
    std::size_t at = 0;
    for (const char original : text) {
        FUZZ_CHECK(at < encoded.size());
        const char c = encoded[at];
        if (c == '%') {
            FUZZ_CHECK(at + 3 <= encoded.size());
            const int high = hexValue(encoded[at + 1]);
            const int low = hexValue(encoded[at + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            FUZZ_CHECK(static_cast<unsigned char>(original) == high * 16 + low);
            FUZZ_CHECK(!isAlnum(original) && !isWhitespace(original));
            at += 3;
        } else {
            FUZZ_CHECK(c == '+' ? isWhitespace(original) : isAlnum(c) && c == original);
            ++at;
        }
    }
    FUZZ_CHECK(at == encoded.size());
    return 0;
}
