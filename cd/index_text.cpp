#include "cd/index_text.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include <locale.h>

namespace quillon::cd {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipDigits(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && isDigit(text[pos]))
        ++pos;
    return pos;
}

bool startsWithNoCase(std::string_view text, std::string_view word)
{
    if (text.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if ((text[i] | 0x20) != word[i])
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::int32_t> parseIndexText(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const std::size_t begin = pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    // A spelled-out infinity or NaN is a number, but no index.
    if (startsWithNoCase(text.substr(pos), "inf") || startsWithNoCase(text.substr(pos), "nan"))
        return std::nullopt;

    const std::size_t intEnd = skipDigits(text, pos);
    std::size_t end = intEnd;
    std::size_t digits = intEnd - pos;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fracEnd = skipDigits(text, end + 1);
        digits += fracEnd - (end + 1);
        end = fracEnd;
    }
    if (digits == 0)
        return 0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exp = end + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
            ++exp;
        const std::size_t expEnd = skipDigits(text, exp);
        if (expEnd > exp)
            end = expEnd;
    }

    // Only a plain decimal number reaches strtod, read in the C locale so that the
    // decimal point never depends on the user's settings. Overflow gives HUGE_VAL.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    const std::string number(text.substr(begin, end - begin));
    const double value = strtod_l(number.c_str(), nullptr, cLocale);
    if (!std::isfinite(value))
        return std::nullopt;
    const double whole = std::trunc(value);
    if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(whole);
}

}  // namespace quillon::cd
