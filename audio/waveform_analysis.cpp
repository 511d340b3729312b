#include "audio/waveform_analysis.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "audio/attack_point.h"
#include "audio/part_suggestions.h"
#include "audio/quiet_point.h"

namespace quillon::audio {

namespace {

constexpr int kBlockSamples = WaveformAnalysis::kSampleRate * kBlockMs / 1000;
constexpr std::int64_t kSamplesPerMs = WaveformAnalysis::kSampleRate / 1000;
constexpr std::size_t kMaxGroups = std::size_t{1} << 16;
// About three hours of 10 ms windows.
constexpr std::size_t kMaxFineWindows = std::size_t{1} << 20;
constexpr int kFullScale = 32768;

int scaled(double magnitude) { return std::min(100, static_cast<int>(std::lround(magnitude * 100 / kFullScale))); }

int rms(std::uint64_t energy, std::int64_t samples)
{
    return scaled(std::sqrt(static_cast<double>(energy) / static_cast<double>(samples)));
}

}  // namespace

std::int64_t fineStepMs(std::int64_t durationMs)
{
    constexpr std::int64_t kUnit = 10;
    const std::int64_t perValue = WaveformAnalysis::kMaxFineValues * kUnit;
    return std::max(kUnit, (durationMs + perValue - 1) / perValue * kUnit);
}

WaveformAnalysis::WaveformAnalysis(int points) : points_(std::clamp(points, kMinPoints, kMaxPoints)) {}

void WaveformAnalysis::feed(std::string_view bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t size = bytes.size();
    if (pendingByte_ >= 0 && size > 0) {
        const std::array<unsigned char, 2> split{static_cast<unsigned char>(pendingByte_), data[0]};
        addSamples(split.data(), 1);
        pendingByte_ = -1;
        ++data;
        --size;
    }
    addSamples(data, static_cast<std::int64_t>(size / 2));
    if (size % 2 != 0)
        pendingByte_ = data[size - 1];
}

// In runs that end where a block, a fine window or a peak group does, so that the
// loop over the samples themselves only sums and compares.
void WaveformAnalysis::addSamples(const unsigned char* pairs, std::int64_t count)
{
    while (count > 0) {
        if (groups_.empty() || groupFill_ == groupWidth_) {
            if (groups_.size() == kMaxGroups)
                foldGroups();
            groups_.push_back(0);
            groupFill_ = 0;
        }
        const std::int64_t run = std::min(
            {count, std::int64_t{kBlockSamples - blockFill_}, fineWidth_ - fineFill_, groupWidth_ - groupFill_});
        std::uint64_t energy = 0;
        int peak = groups_.back();
        for (std::int64_t i = 0; i < run; ++i, pairs += 2) {
            const int value = static_cast<std::int16_t>(pairs[0] | (pairs[1] << 8));
            energy += static_cast<std::uint64_t>(value * value);
            peak = std::max(peak, value < 0 ? -value : value);
        }
        groups_.back() = static_cast<std::uint16_t>(peak);
        groupFill_ += run;
        samples_ += run;
        count -= run;
        blockEnergy_ += energy;
        blockFill_ += static_cast<int>(run);
        if (blockFill_ == kBlockSamples) {
            energies_.push_back(blockEnergy_);
            blockEnergy_ = 0;
            blockFill_ = 0;
        }
        fineEnergy_ += energy;
        fineFill_ += run;
        if (fineFill_ == fineWidth_) {
            fineEnergies_.push_back(fineEnergy_);
            fineEnergy_ = 0;
            fineFill_ = 0;
            if (fineEnergies_.size() == kMaxFineWindows)
                foldFine();
        }
    }
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

// Called only between windows, with an even number of complete ones.
void WaveformAnalysis::foldFine()
{
    const std::size_t half = fineEnergies_.size() / 2;
    for (std::size_t i = 0; i < half; ++i)
        fineEnergies_[i] = fineEnergies_[2 * i] + fineEnergies_[2 * i + 1];
    fineEnergies_.resize(half);
    fineWidth_ *= 2;
}

// Each group counts for the slice that holds its first sample, of points_ slices
// over total samples; only the first count slices are made.
std::vector<int> WaveformAnalysis::slicePeaks(std::int64_t total, int count) const
{
    std::vector<int> peaks(static_cast<std::size_t>(count), 0);
    for (std::size_t j = 0; j < groups_.size(); ++j) {
        const std::int64_t slice = static_cast<std::int64_t>(j) * groupWidth_ * points_ / total;
        if (slice < count)
            peaks[static_cast<std::size_t>(slice)] = std::max<int>(peaks[static_cast<std::size_t>(slice)], groups_[j]);
    }
    for (int& peak : peaks)
        peak = std::min(100, (peak * 100 + kFullScale / 2) / kFullScale);
    return peaks;
}

void WaveformAnalysis::fillFine(WaveformSummary& summary, std::int64_t durationMs, bool partial) const
{
    // The step is a whole number of stored windows, which are coarser than 10 ms
    // only for songs of some hours.
    const std::int64_t widthMs = fineWidth_ / kSamplesPerMs;
    const std::int64_t per = (fineStepMs(durationMs) + widthMs - 1) / widthMs;
    summary.fineStepMs = per * widthMs;
    std::uint64_t energy = 0;
    std::int64_t windows = 0;
    for (const std::uint64_t window : fineEnergies_) {
        energy += window;
        if (++windows == per) {
            summary.fine.push_back(rms(energy, per * fineWidth_));
            energy = 0;
            windows = 0;
        }
    }
    if (partial) {
        summary.fine.resize(std::min<std::size_t>(summary.fine.size(), kMaxFineValues));
    } else if (const std::int64_t left = windows * fineWidth_ + fineFill_; left > 0) {
        summary.fine.push_back(rms(energy + fineEnergy_, left));
    }
}

WaveformSummary WaveformAnalysis::progress(std::int64_t expectedMs) const
{
    WaveformSummary summary;
    summary.durationMs = std::max<std::int64_t>(expectedMs, 0);
    if (summary.durationMs > 0) {
        const std::int64_t total = summary.durationMs * kSamplesPerMs;
        summary.peaks =
            slicePeaks(total, static_cast<int>(std::min<std::int64_t>(points_, samples_ * points_ / total)));
    }
    fillFine(summary, summary.durationMs, true);
    return summary;
}

WaveformSummary WaveformAnalysis::finish() const
{
    WaveformSummary summary;
    summary.durationMs = (samples_ * 1000 + kSampleRate / 2) / kSampleRate;
    if (samples_ > 0)
        summary.peaks = slicePeaks(samples_, points_);
    else
        summary.peaks.assign(static_cast<std::size_t>(points_), 0);
    // Rounded up, so that the fine series of a song just over a boundary stays within bounds.
    fillFine(summary, (samples_ + kSamplesPerMs - 1) / kSamplesPerMs, false);

    // Each start moves to a quiet point, keeping its part within the song and off the others.
    std::vector<std::int64_t> starts = suggestPartStarts(energies_, kBlockSamples, summary.durationMs);
    summary.attackMs =
        strongestAttackMs(fineEnergies_, fineWidth_ / kSamplesPerMs, starts.front(), starts.front() + kPartMs);
    for (std::int64_t& start : starts) {
        std::int64_t low = 0;
        std::int64_t high = std::max<std::int64_t>(0, summary.durationMs - kPartMs);
        for (const std::int64_t other : starts) {
            if (other < start)
                low = std::max(low, other + kPartMs);
            else if (other > start)
                high = std::min(high, other - kPartMs);
        }
        start = quietPointMs(start, low, high);
    }
    summary.suggestedStartsMs = std::move(starts);
    return summary;
}

std::int64_t WaveformAnalysis::quietPointMs(std::int64_t aroundMs, std::int64_t lowMs, std::int64_t highMs) const
{
    return audio::quietPointMs(fineEnergies_, fineWidth_ / kSamplesPerMs, aroundMs, lowMs, highMs);
}

namespace {

template <typename Number>
void appendList(std::string& text, const std::vector<Number>& values)
{
    char digits[24];
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            text += ',';
        const auto written = std::to_chars(std::begin(digits), std::end(digits), values[i]);
        text.append(digits, written.ptr);
    }
}

}  // namespace

std::string formatWaveform(const WaveformSummary& summary)
{
    std::string text;
    text.reserve(24 + 4 * (summary.peaks.size() + summary.fine.size()));
    text += std::to_string(summary.durationMs) + ":::";
    appendList(text, summary.suggestedStartsMs);
    text += ":::";
    appendList(text, summary.peaks);
    text += ":::" + std::to_string(summary.fineStepMs) + ":::";
    appendList(text, summary.fine);
    text += ":::" + (summary.attackMs ? std::to_string(*summary.attackMs) : std::string());
    return text;
}

}  // namespace quillon::audio
