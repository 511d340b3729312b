#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::jobs {

// What the waveform job hands to the page.
struct WaveformSummary {
    std::int64_t durationMs = 0;
    // Start of the loudest 30-second window; 0 for a song of 30 s or less.
    std::int64_t suggestedStartMs = 0;
    // The largest absolute sample of each of the equal slices, full scale = 100.
    std::vector<int> peaks;
};

// Analyses mono 16-bit little-endian PCM at 8000 Hz as it streams in, in blocks of
// any size (a sample may be split between two blocks). Memory stays bounded
// whatever the length: one energy sum per 100 ms and a fixed number of peak
// groups, which double in width whenever they fill up, so the peaks of the
// slices are exact up to one group's width.
class WaveformAnalysis {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kMinPoints = 16;
    static constexpr int kMaxPoints = 4096;

    // points: the number of slices, kMinPoints..kMaxPoints (clamped).
    explicit WaveformAnalysis(int points);

    void feed(std::string_view bytes);
    [[nodiscard]] std::int64_t samples() const { return samples_; }
    [[nodiscard]] WaveformSummary finish() const;

private:
    void addSample(std::int16_t sample);
    void foldGroups();

    int points_;
    std::int64_t samples_ = 0;
    int pendingByte_ = -1;  // the low byte of a sample split between blocks
    // Sums of squares of each complete 100 ms block, and of the block under way.
    std::vector<std::uint64_t> energies_;
    std::uint64_t blockEnergy_ = 0;
    int blockFill_ = 0;
    // Peak of each group of groupWidth_ samples; the last one may be partial.
    std::vector<std::uint16_t> groups_;
    std::int64_t groupWidth_ = 1;
    std::int64_t groupFill_ = 0;
};

// "durationMs:::suggestedStartMs:::p1,p2,...,pN"
[[nodiscard]] std::string formatWaveform(const WaveformSummary& summary);

}  // namespace quillon::jobs
