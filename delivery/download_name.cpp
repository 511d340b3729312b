#include "delivery/download_name.h"

#include <cstdio>
#include <string_view>

namespace quillon::delivery {

namespace {

bool isAttrChar(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// One '_' per character that a quoted ASCII filename cannot carry: each UTF-8
// sequence, quotes, backslashes and control characters.
std::string asciiFallback(const std::string& name)
{
    std::string fallback;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c & 0xC0U) == 0x80U)
            continue;  // the rest of a UTF-8 sequence already replaced
        fallback += c >= 0x80U || c < 0x20U || c == 0x7FU || c == '"' || c == '\\' ? '_' : ch;
    }
    return fallback;
}

std::string percentEncoded(const std::string& name)
{
    std::string encoded;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (isAttrChar(c)) {
            encoded += ch;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            encoded += escape;
        }
    }
    return encoded;
}

}  // namespace

std::string downloadDisposition(const std::string& songTitle, const ClipKind& kind)
{
    const std::string name = (songTitle.empty() ? "" : songTitle + " ") + std::string(kind.id) + ".mp3";
    std::string value = "attachment; filename=\"" + asciiFallback(name) + "\"";
    bool plain = true;
    for (const char ch : name)
        plain = plain && static_cast<unsigned char>(ch) < 0x80U;
    if (!plain)
        value += "; filename*=UTF-8''" + percentEncoded(name);
    return value;
}

}  // namespace quillon::delivery
