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

// The title without what would hide or reorder what a name shows: control
// characters (C0, DEL and C1, newlines among them) and the bidirectional
// embeddings, overrides (U+202A-U+202E) and isolates (U+2066-U+2069). The title
// is valid UTF-8.
std::string visibleName(std::string_view title)
{
    std::string name;
    for (std::size_t i = 0; i < title.size(); ++i) {
        const auto at = [&](std::size_t k) {
            return i + k < title.size() ? static_cast<unsigned char>(title[i + k]) : 0U;
        };
        const unsigned c = at(0);
        if (c < 0x20U || c == 0x7FU)
            continue;
        if (c == 0xC2U && at(1) >= 0x80U && at(1) <= 0x9FU) {
            i += 1;
            continue;
        }
        if (c == 0xE2U && ((at(1) == 0x80U && at(2) >= 0xAAU && at(2) <= 0xAEU) ||
                           (at(1) == 0x81U && at(2) >= 0xA6U && at(2) <= 0xA9U))) {
            i += 2;
            continue;
        }
        name += title[i];
    }
    return name;
}

// One '_' per character that a quoted ASCII filename cannot carry: each UTF-8
// sequence, quotes and backslashes.
std::string asciiFallback(const std::string& name)
{
    std::string fallback;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c & 0xC0U) == 0x80U)
            continue;  // the rest of a UTF-8 sequence already replaced
        fallback += c >= 0x80U || c == '"' || c == '\\' ? '_' : ch;
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

std::string downloadDisposition(const std::string& songTitle, const base::ClipKind& kind)
{
    const std::string title = visibleName(songTitle);
    const std::string name = (title.empty() ? "" : title + " ") + std::string(kind.id) + ".mp3";
    std::string value = "attachment; filename=\"" + asciiFallback(name) + "\"";
    bool plain = true;
    for (const char ch : name)
        plain = plain && static_cast<unsigned char>(ch) < 0x80U;
    if (!plain)
        value += "; filename*=UTF-8''" + percentEncoded(name);
    return value;
}

}  // namespace quillon::delivery
