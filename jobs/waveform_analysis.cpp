#include "jobs/waveform_analysis.h"

#include <algorithm>

namespace quillon::jobs {

namespace {

constexpr int kBlockSamples = WaveformAnalysis::kSampleRate / 10;  // 100 ms
constexpr std::size_t kWindowBlocks = 300;                         // 30 s
constexpr std::size_t kMaxGroups = std::size_t{1} << 16;
constexpr int kFullScale = 32768;

}  // namespace

WaveformAnalysis::WaveformAnalysis(int points) : points_(std::clamp(points, kMinPoints, kMaxPoints)) {}

void WaveformAnalysis::feed(std::string_view bytes)
{
    std::size_t i = 0;
    if (pendingByte_ >= 0 && !bytes.empty()) {
        addSample(static_cast<std::int16_t>(pendingByte_ | (static_cast<unsigned char>(bytes[0]) << 8)));
        pendingByte_ = -1;
        i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const auto high = static_cast<unsigned char>(bytes[i + 1]);
        addSample(static_cast<std::int16_t>(low | (high << 8)));
    }
    if (i < bytes.size())
        pendingByte_ = static_cast<unsigned char>(bytes[i]);
}

void WaveformAnalysis::addSample(std::int16_t sample)
{
    const std::int64_t value = sample;
    blockEnergy_ += static_cast<std::uint64_t>(value * value);
    if (++blockFill_ == kBlockSamples) {
        energies_.push_back(blockEnergy_);
        blockEnergy_ = 0;
        blockFill_ = 0;
    }

    if (groups_.empty() || groupFill_ == groupWidth_) {
        if (groups_.size() == kMaxGroups)
            foldGroups();
        groups_.push_back(0);
        groupFill_ = 0;
    }
    const auto magnitude = static_cast<std::uint16_t>(value < 0 ? -value : value);
    groups_.back() = std::max(groups_.back(), magnitude);
    ++groupFill_;
    ++samples_;
}

// Called only when every group is full: pairs merge, and they stay full.
void WaveformAnalysis::foldGroups()
{
    const std::size_t half = groups_.size() / 2;
    for (std::size_t i = 0; i < half; ++i)
        groups_[i] = std::max(groups_[2 * i], groups_[2 * i + 1]);
    groups_.resize(half);
    groupWidth_ *= 2;
    groupFill_ = groupWidth_;
}

WaveformSummary WaveformAnalysis::finish() const
{
    WaveformSummary summary;
    summary.durationMs = (samples_ * 1000 + kSampleRate / 2) / kSampleRate;

    // Windows lie wholly inside the song, over complete 100 ms blocks; the first
    // of equally loud ones wins.
    if (samples_ > static_cast<std::int64_t>(kWindowBlocks) * kBlockSamples && energies_.size() >= kWindowBlocks) {
        std::uint64_t sum = 0;
        for (std::size_t k = 0; k < kWindowBlocks; ++k)
            sum += energies_[k];
        std::uint64_t best = sum;
        std::size_t bestStart = 0;
        for (std::size_t k = 1; k + kWindowBlocks <= energies_.size(); ++k) {
            sum += energies_[k + kWindowBlocks - 1];
            sum -= energies_[k - 1];
            if (sum > best) {
                best = sum;
                bestStart = k;
            }
        }
        summary.suggestedStartMs = static_cast<std::int64_t>(bestStart) * 100;
    }

    // Each group counts for the slice that holds its first sample.
    std::vector<int> peaks(static_cast<std::size_t>(points_), 0);
    for (std::size_t j = 0; j < groups_.size(); ++j) {
        const std::int64_t first = static_cast<std::int64_t>(j) * groupWidth_;
        auto& peak = peaks[static_cast<std::size_t>(first * points_ / samples_)];
        peak = std::max<int>(peak, groups_[j]);
    }
    for (int& peak : peaks)
        peak = std::min(100, (peak * 100 + kFullScale / 2) / kFullScale);
    summary.peaks = std::move(peaks);
    return summary;
}

std::string formatWaveform(const WaveformSummary& summary)
{
    std::string text = std::to_string(summary.durationMs) + ":::" + std::to_string(summary.suggestedStartMs) + ":::";
    for (std::size_t i = 0; i < summary.peaks.size(); ++i) {
        if (i > 0)
            text += ',';
        text += std::to_string(summary.peaks[i]);
    }
    return text;
}

}  // namespace quillon::jobs
