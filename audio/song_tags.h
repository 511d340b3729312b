#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::audio {

// What a clip tells a phone about its song; "" where the song has nothing.
struct SongTags {
    std::string title;
    std::string artist;
    std::string album;

    bool operator==(const SongTags&) const = default;
};

// A tag value stays within this many bytes (cut at a character), on one line.
inline constexpr std::size_t kLongestTagBytes = 250;

// The title, artist and album in the encoder's metadata text (";FFMETADATA1", then
// key=value lines with '\' before any '=', ';', '#', '\' or line break in them),
// keys in any case, the first of each that is not empty, before any [SECTION].
// Each value is made one line of valid UTF-8: line breaks and other control
// characters become spaces, invalid bytes '?', and it is cut to kLongestTagBytes.
[[nodiscard]] SongTags parseSongTags(std::string_view metadata);

// The encoder's arguments that write the tags into the clip: the title (else
// fallbackTitle), and the artist and album where there are any.
[[nodiscard]] std::vector<std::string> tagArguments(const SongTags& tags, const std::string& fallbackTitle);

}  // namespace quillon::audio
