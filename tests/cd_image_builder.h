#pragma once

// Generated disc images (.bin of raw frames plus .cue) for the CD tests.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quillon::test {

inline constexpr std::size_t kImageFrameBytes = 2352;

struct ImageTrack {
    int frames;
    bool data = false;
};

struct DiscImage {
    std::filesystem::path cue;  // the .cue or .toc file
    std::filesystem::path bin;
    std::vector<int> starts;  // first block of each track
};

// Frame contents that tell every frame apart: its block number, then a pattern.
inline std::string imageFrame(int block)
{
    std::string frame(kImageFrameBytes, '\0');
    for (int i = 0; i < 4; ++i)
        frame[static_cast<std::size_t>(i)] = static_cast<char>(block >> (8 * i));
    for (std::size_t i = 4; i < frame.size(); ++i)
        frame[i] = static_cast<char>((block * 13 + static_cast<int>(i) * 5 + static_cast<int>(i >> 7)) & 0xFF);
    return frame;
}

// Frames [from, from + count) of an image, as they lie in its .bin.
inline std::string imageFrames(int from, int count)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(count) * kImageFrameBytes);
    for (int block = from; block < from + count; ++block)
        bytes += imageFrame(block);
    return bytes;
}

inline std::string cueTime(int block)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", block / (75 * 60), block / 75 % 60, block % 75);
    return text;
}

// Writes <dir>/<name>.bin and <dir>/<name>.cue with the tracks back to back. The .bin
// holds binFrames frames when given (fewer than the tracks claim, for a cut image).
inline DiscImage writeDiscImage(const std::filesystem::path& dir, const std::string& name,
                                const std::vector<ImageTrack>& tracks, std::optional<int> binFrames = {})
{
    DiscImage image{dir / (name + ".cue"), dir / (name + ".bin"), {}};
    std::string cue = "FILE \"" + name + ".bin\" BINARY\n";
    int block = 0;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::size_t number = i + 1;
        cue += std::string("  TRACK ") + char('0' + number / 10 % 10) + char('0' + number % 10) +
               (tracks[i].data ? " MODE1/2352\n" : " AUDIO\n");
        cue += "    INDEX 01 " + cueTime(block) + "\n";
        image.starts.push_back(block);
        block += tracks[i].frames;
    }
    writeFile(image.cue, cue);
    writeFile(image.bin, imageFrames(0, binFrames.value_or(block)));
    return image;
}

// Writes <dir>/<name>.bin and <dir>/<name>.toc (audio tracks only), the table naming
// its data file relative to itself.
inline DiscImage writeTocImage(const std::filesystem::path& dir, const std::string& name,
                               const std::vector<int>& trackFrames)
{
    DiscImage image{dir / (name + ".toc"), dir / (name + ".bin"), {}};
    std::string toc = "CD_DA\n// a comment naming FILE \"elsewhere.bin\"\n";
    int block = 0;
    for (int frames : trackFrames) {
        toc += "TRACK AUDIO\nFILE \"" + name + ".bin\" " + cueTime(block) + " " + cueTime(frames) + "\n";
        image.starts.push_back(block);
        block += frames;
    }
    writeFile(image.cue, toc);
    writeFile(image.bin, imageFrames(0, block));
    return image;
}

}  // namespace quillon::test
