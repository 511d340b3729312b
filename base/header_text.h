#pragma once

#include <string_view>

namespace quillon::base {

// An HTTP header value without the spaces and tabs around it.
[[nodiscard]] inline std::string_view trimmedHeaderValue(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace quillon::base
