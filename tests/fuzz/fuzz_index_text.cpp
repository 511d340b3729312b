// The drive and track numbers a page passes to the rip job as text.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "cd/index_text.h"
#include "tests/fuzz/fuzz_check.h"

using quillon::cd::parseIndexText;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto value = parseIndexText(text);

    // Only the leading number counts: leading blanks and trailing words change nothing.
    FUZZ_CHECK(parseIndexText(" \t" + text) == value);
    FUZZ_CHECK(parseIndexText(text + "x") == value);

    // A number and its negation read as opposites.
    if (!text.empty() && isDigit(text[0]) && value && *value != 0) {
        const auto negated = parseIndexText("-" + text);
        FUZZ_CHECK(negated && *negated == -*value);
    }

    // Plain digits that fit read as exactly that number.
    std::size_t digits = 0;
    while (digits < text.size() && isDigit(text[digits]))
        ++digits;
    if (digits > 0 && digits <= 9 &&
        (digits == text.size() || !(text[digits] == '.' || text[digits] == 'e' || text[digits] == 'E')))
        FUZZ_CHECK(value && *value == std::stoi(text.substr(0, digits)));
    return 0;
}
