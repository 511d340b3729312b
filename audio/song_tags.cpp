#include "audio/song_tags.h"

#include <array>
#include <utility>

namespace quillon::audio {

namespace {

// The length of the UTF-8 sequence that starts at text[at]; 0 when it is not valid.
std::size_t sequenceLength(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80U            ? 1
                               : (lead >> 5U) == 0x6U  ? 2
                               : (lead >> 4U) == 0xEU  ? 3
                               : (lead >> 3U) == 0x1EU ? 4
                                                       : 0;
    if (length == 0 || at + length > text.size() || (length == 2 && lead < 0xC2U))
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0U) != 0x80U)
            return 0;
    }
    return length;
}

std::string cleanValue(std::string_view raw)
{
    std::string value;
    for (std::size_t at = 0; at < raw.size();) {
        const std::size_t length = sequenceLength(raw, at);
        const auto c = static_cast<unsigned char>(raw[at]);
        const std::string_view piece = length == 0 ? "?" : c < 0x20U || c == 0x7FU ? " " : raw.substr(at, length);
        if (value.size() + piece.size() > kLongestTagBytes)
            break;
        value += piece;
        at += length == 0 ? 1 : length;
    }
    const std::size_t first = value.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : value.substr(first, value.find_last_not_of(' ') - first + 1);
}

// The lines of the metadata text, each with its escapes undone.
std::vector<std::string> metadataLines(std::string_view metadata)
{
    std::vector<std::string> lines(1);
    for (std::size_t at = 0; at < metadata.size(); ++at) {
        if (metadata[at] == '\\' && at + 1 < metadata.size())
            lines.back() += metadata[++at];
        else if (metadata[at] == '\n')
            lines.emplace_back();
        else
            lines.back() += metadata[at];
    }
    return lines;
}

bool sameKey(std::string_view key, std::string_view wanted)
{
    if (key.size() != wanted.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char c = key[i] >= 'A' && key[i] <= 'Z' ? static_cast<char>(key[i] - 'A' + 'a') : key[i];
        if (c != wanted[i])
            return false;
    }
    return true;
}

}  // namespace

SongTags parseSongTags(std::string_view metadata)
{
    SongTags tags;
    const std::array<std::pair<std::string_view, std::string*>, 3> wanted{
        {{"title", &tags.title}, {"artist", &tags.artist}, {"album", &tags.album}}};
    for (const std::string& line : metadataLines(metadata)) {
        if (line.starts_with('['))
            break;
        const std::size_t equals = line.find('=');
        if (line.starts_with(';') || line.starts_with('#') || equals == std::string::npos)
            continue;
        for (const auto& [key, value] : wanted) {
            if (value->empty() && sameKey(std::string_view(line).substr(0, equals), key))
                *value = cleanValue(std::string_view(line).substr(equals + 1));
        }
    }
    return tags;
}

std::vector<std::string> tagArguments(const SongTags& tags, const std::string& fallbackTitle)
{
    const std::string title = tags.title.empty() ? cleanValue(fallbackTitle) : tags.title;
    std::vector<std::string> arguments{"-metadata", "title=" + title};
    for (const auto& [key, value] : {std::pair{"artist", &tags.artist}, {"album", &tags.album}}) {
        if (!value->empty())
            arguments.insert(arguments.end(), {"-metadata", std::string(key) + "=" + *value});
    }
    return arguments;
}

}  // namespace quillon::audio
