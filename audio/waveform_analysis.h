#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::audio {

// What the waveform job hands to the page.
struct WaveformSummary {
    std::int64_t durationMs = 0;
    // Starts of up to three suggested parts, ranked (see suggestPartStarts), each
    // moved to a quiet point; none while the song is still being read.
    std::vector<std::int64_t> suggestedStartsMs;
    // Where a notification sound starts: the strongest attack of the liveliest
    // part (see strongestAttackMs); none while the song is still being read.
    std::optional<std::int64_t> attackMs;
    // The largest absolute sample of each of the equal slices, full scale = 100.
    std::vector<int> peaks;
    // The short-term level (RMS, full scale = 100) of each window of fineStepMs.
    std::int64_t fineStepMs = 10;
    std::vector<int> fine;
};

// Analyses mono 16-bit little-endian PCM at 8000 Hz as it streams in, in blocks of
// any size (a sample may be split between two blocks). Memory stays small whatever
// the length: one energy sum per 100 ms, one per 10 ms up to a fixed count (then
// these windows double in width), and a fixed number of peak groups, which double
// in width whenever they fill up, so the peaks of the slices are exact up to one
// group's width.
class WaveformAnalysis {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kMinPoints = 16;
    static constexpr int kMaxPoints = 4096;
    // The fine series never has more values than this.
    static constexpr std::int64_t kMaxFineValues = 60000;

    // points: the number of slices, kMinPoints..kMaxPoints (clamped).
    explicit WaveformAnalysis(int points);

    void feed(std::string_view bytes);
    [[nodiscard]] std::int64_t samples() const { return samples_; }
    // What has been read so far of a song expected to last expectedMs (0: not
    // known): the peaks of the slices read whole (none when the length is not
    // known) and the fine values of the windows read whole; no suggestions.
    [[nodiscard]] WaveformSummary progress(std::int64_t expectedMs) const;
    [[nodiscard]] WaveformSummary finish() const;
    // Where an edge put at aroundMs snaps to, within lowMs..highMs (see quietPointMs).
    [[nodiscard]] std::int64_t quietPointMs(std::int64_t aroundMs, std::int64_t lowMs, std::int64_t highMs) const;

private:
    // count samples, each a little-endian pair of bytes.
    void addSamples(const unsigned char* pairs, std::int64_t count);
    void foldGroups();
    void foldFine();
    [[nodiscard]] std::vector<int> slicePeaks(std::int64_t total, int count) const;
    // The fine series for a song of durationMs, with the window under way when partial.
    void fillFine(WaveformSummary& summary, std::int64_t durationMs, bool partial) const;

    int points_;
    std::int64_t samples_ = 0;
    int pendingByte_ = -1;  // the low byte of a sample split between blocks
    // Sums of squares of each complete 100 ms block, and of the block under way.
    std::vector<std::uint64_t> energies_;
    std::uint64_t blockEnergy_ = 0;
    int blockFill_ = 0;
    // The same for the fine windows of fineWidth_ samples.
    std::vector<std::uint64_t> fineEnergies_;
    std::uint64_t fineEnergy_ = 0;
    std::int64_t fineWidth_ = kSampleRate / 100;
    std::int64_t fineFill_ = 0;
    // Peak of each group of groupWidth_ samples; the last one may be partial.
    std::vector<std::uint16_t> groups_;
    std::int64_t groupWidth_ = 1;
    std::int64_t groupFill_ = 0;
};

// The step of the fine series for a song of durationMs: 10 ms, or a coarser
// multiple of 10 ms that keeps the series within kMaxFineValues.
[[nodiscard]] std::int64_t fineStepMs(std::int64_t durationMs);

// "durationMs:::s1,s2,s3:::p1,...,pN:::fineStepMs:::f1,...,fM:::attackMs"
[[nodiscard]] std::string formatWaveform(const WaveformSummary& summary);

}  // namespace quillon::audio
