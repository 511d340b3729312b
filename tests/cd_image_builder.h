#pragma once

// Generated disc images (a .bin of raw frames plus a .cue or .toc) for the CD tests.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quillon::test {

struct ImageTrack {
    int frames;
    bool data = false;
};

struct DiscImage {
    std::filesystem::path cue;  // the .cue or .toc file
};

// Frames [from, from + count) of an image: each starts with its block number.
inline std::string imageFrames(int from, int count)
{
    std::string bytes;
    for (int block = from; block < from + count; ++block)
        for (int i = 0; i < 2352; ++i)
            bytes += static_cast<char>(i < 4 ? block >> (8 * i) : (block * 13 + i * 5 + (i >> 7)) & 0xFF);
    return bytes;
}

// <dir>/<name>.bin with the tracks back to back (only binFrames of them, for a cut
// image) and a .cue for them; or a .toc of audio tracks naming its .bin relative to itself.
inline DiscImage writeDiscImage(const std::filesystem::path& dir, const std::string& name,
                                const std::vector<ImageTrack>& tracks, std::optional<int> binFrames = {},
                                bool toc = false)
{
    const auto time = [](int block) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", block / (75 * 60), block / 75 % 60, block % 75);
        return std::string(text);
    };
    std::string text =
        toc ? "CD_DA\n// a comment naming FILE \"elsewhere.bin\"\n" : "FILE \"" + name + ".bin\" BINARY\n";
    int block = 0;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        text += toc ? "TRACK AUDIO\nFILE \"" + name + ".bin\" " + time(block) + " " + time(tracks[i].frames) + "\n"
                    : "  TRACK " + time(static_cast<int>(i) + 1).substr(6) +
                          (tracks[i].data ? " MODE1/2352\n" : " AUDIO\n") + "    INDEX 01 " + time(block) + "\n";
        block += tracks[i].frames;
    }
    DiscImage image{dir / (name + (toc ? ".toc" : ".cue"))};
    writeFile(image.cue, text);
    writeFile(dir / (name + ".bin"), imageFrames(0, binFrames.value_or(block)));
    return image;
}

}  // namespace quillon::test
