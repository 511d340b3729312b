#pragma once

#include <string>
#include <string_view>

namespace quillon::base {

// Text as it may stand in HTML, between tags or in a quoted attribute.
[[nodiscard]] inline std::string htmlEscape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace quillon::base
