// The analysis behind the waveform, the parts and the levelling: pure functions on samples and measures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "audio/attack_point.h"
#include "audio/clip_loudness.h"
#include "audio/song_tags.h"
#include "audio/waveform_analysis.h"

using namespace quillon::audio;

namespace {

TEST(WaveformAnalysis, SummarisesTheWholeSong)
{
    constexpr std::int64_t kRate = WaveformAnalysis::kSampleRate, kTenMinutes = 600 * kRate;
    // Half scale from second `from` to second `to`, else nearly silent.
    const auto loud = [](std::int64_t from, std::int64_t to) {
        return [=](std::int64_t i) { return (i % 2 ? 1 : -1) * (i >= from && i < to ? 16384 : 100); };
    };
    // Samples, each one's value, points, and the summary: duration, suggested starts (each the middle of the
    // quietest 10 ms near where its part begins, the liveliest first), each slice's peak. Parts of a
    // song of 30 s or less begin at 0 and stay there.
    using Starts = std::vector<std::int64_t>;
    const auto loudMiddle = loud(40 * kRate, 70 * kRate);
    const auto ramp = [](std::int64_t i) { return static_cast<int>(i * 16 / 12345 + 1) * -1000; };
    const auto spike = [](std::int64_t i) { return i == kTenMinutes * 1000 / 4096 + 586 ? 32767 : 0; };
    const std::tuple<std::int64_t, std::function<int(std::int64_t)>, int, std::int64_t, Starts, std::function<int(int)>>
        cases[] = {
            {5 * kRate, [](auto i) { return i % 2 ? 32767 : -32768; }, 16, 5000, {0}, [](int) { return 100; }},
            // Too short for a third part beside the first two.
            {90 * kRate, loudMiddle, 90, 90000, {39995, 5}, [](int s) { return s >= 40 && s < 70 ? 50 : 0; }},
            {30 * kRate, loud(29 * kRate, 30 * kRate), 30, 30000, {0}, [](int s) { return s == 29 ? 50 : 0; }},
            {30 * kRate + 800, loud(29 * kRate, 31 * kRate), 301, 30100, {95}, [](int s) { return s >= 290 ? 50 : 0; }},
            {12345, ramp, 16, 1543, {0}, [](int s) { return ((s + 1) * 100000 + 16384) / 32768; }},
            // The peak groups fold; a spike mid-slice stays in its slice and its window. The second part
            // cannot move off 0 without touching the third.
            {kTenMinutes, spike, 4096, 600000, {116595, 0, 30005}, [](int s) { return s == 1000 ? 100 : 0; }},
            {5, [](auto) { return 32767; }, 16, 1, {0}, [](int s) { return s % 3 == 0 && s <= 12 ? 100 : 0; }},
        };
    for (const auto& [samples, sample, points, durationMs, startMs, peak] : cases) {
        std::string bytes;
        for (std::int64_t i = 0; i < samples; ++i)
            bytes += {static_cast<char>(sample(i) & 0xff), static_cast<char>((sample(i) >> 8) & 0xff)};
        WaveformAnalysis analysis(points);
        // Blocks of odd sizes split samples between them.
        for (std::size_t at = 0, size = 1; at < bytes.size(); at += size, size = size * 3 % 40009)
            analysis.feed(std::string_view(bytes).substr(at, size));
        const WaveformSummary summary = analysis.finish();
        std::vector<int> peaks;
        for (int s = 0; s < points; ++s)
            peaks.push_back(peak(s));
        EXPECT_EQ(std::tie(summary.durationMs, summary.suggestedStartsMs, summary.peaks),
                  std::tie(durationMs, startMs, peaks))
            << samples;
        // One level per 10 ms begun, up to ten minutes.
        EXPECT_EQ(std::pair(summary.fineStepMs, summary.fine.size()),
                  std::pair(std::int64_t{10}, std::size_t(samples + 79) / 80));
    }
}

TEST(ClipLoudness, TheGainReachesTheTarget)
{
    struct Case {
        Loudness part;
        ClipLevel level;
        std::size_t tried;
    };
    const Case cases[] = {
        {.part = {-19.7, -12.0}, .level = {8.0, false}, .tried = 0},
        {.part = {-19.7, -9.0}, .level = {8.0, true}, .tried = 0},   // 1 dB over the limiter's ceiling
        {.part = {-19.7, -4.0}, .level = {8.0, true}, .tried = 6},   // 6 dB over it
        {.part = {-50.0, -9.0}, .level = {30.0, true}, .tried = 1},  // the gain ends at its highest
        {.part = {-5.7, -0.5}, .level = {-6.0, false}, .tried = 0},
        {.part = {-70.0, -1.0}, .level = {0.0, false}, .tried = 0},  // silence
    };
    for (const Case& c : cases) {
        const ClipLevel level = levelFor(c.part);
        EXPECT_NEAR(level.gainDb, c.level.gainDb, 1e-9);
        EXPECT_EQ(level.limited, c.level.limited) << c.part.truePeakDbtp;
        EXPECT_EQ(gainsToTry(c.part, level).size(), c.tried) << c.part.integratedLufs;
    }
    const std::vector<double> gains{20, 22, 24, 27};
    EXPECT_DOUBLE_EQ(gainReaching(gains, std::vector<double>{-16, -13.7, -9.7, -9}), 23);
    EXPECT_DOUBLE_EQ(gainReaching(gains, std::vector<double>{-11, -9, -8, -7}), 20);
    EXPECT_DOUBLE_EQ(gainReaching(gains, std::vector<double>{-16, -14.5, -15, -14.8}), 22);  // the loudest falls short
}

TEST(ClipLoudness, TheLastStepTakesTheLevelledClipNearestTheTarget)
{
    // Back as far as the tool's levelling took it down, further up only as far as its peak leaves room for the
    // peaks between samples under -1 dBTP.
    struct Case {
        Loudness clip;
        const char* said;  // by the tool's levelling, on its output
        int steps;
    };
    const Case cases[] = {
        {.clip = {-15.0, -8.0}, .said = "", .steps = 2},
        {.clip = {-16.0, -3.0}, .said = "No changes to x are necessary\n", .steps = 0},
        {.clip = {-16.0, -3.0}, .said = "x\nApplying mp3 gain change of -2 to x...\n", .steps = 2},
        {.clip = {-9.0, -1.0}, .said = "Applying mp3 gain change of +1 to x...\n", .steps = -2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(levellingSteps(c.clip, appliedGainSteps(c.said).value_or(0)), c.steps) << c.said;
}

TEST(SongTags, ValuesAreOneShortLineOfValidText)
{
    const std::pair<std::string, SongTags> cases[] = {
        {";FFMETADATA1\ntitle=\\\nA\tB \xFF\xC3\xA9\nartist=  \nARTIST=Z\n[CHAPTER]\nalbum=late\n",
         {"A B ?\xC3\xA9", "Z", ""}},
        {";FFMETADATA1\nalbum=" + std::string(300, 'x') + "\ntitle=" + std::string(249, 'x') + "\xC3\xA9\n",
         {std::string(249, 'x'), "", std::string(kLongestTagBytes, 'x')}},
        // The first of a key counts, in any case; an escaped "=" is kept.
        {";FFMETADATA1\nTITLE=T\\=1\ntitle=Other\nALBUM=-A;\ncomment=left out\n", {"T=1", "", "-A;"}},
        {"no metadata at all", {}},
    };
    for (const auto& [metadata, tags] : cases)
        EXPECT_EQ(parseSongTags(metadata), tags) << metadata.substr(0, 40);
}

TEST(AttackPoint, ANotificationStartsJustBeforeTheStrongestLoudAttackInItsSpan)
{
    // Energies of 10 ms windows: level from each listed window on, zero before the first.
    struct Case {
        std::vector<std::pair<std::size_t, std::uint64_t>> levels;
        std::int64_t fromMs, toMs, attackMs;
    };
    const Case cases[] = {
        {.levels = {}, .fromMs = 300, .toMs = 900, .attackMs = 300},
        {.levels = {{0, 10}, {50, 1000}}, .fromMs = 0, .toMs = 2000, .attackMs = 480},
        // A tick out of silence rises more, but it is 30 dB under the beat.
        {.levels = {{20, 1}, {25, 0}, {70, 10}, {72, 1000}}, .fromMs = 0, .toMs = 2000, .attackMs = 680},
        // The steeper rise lies outside the span, then inside it, where the lead may reach before the span.
        {.levels = {{0, 1}, {30, 1000}, {60, 1}, {100, 100}}, .fromMs = 500, .toMs = 2000, .attackMs = 980},
        {.levels = {{0, 1}, {30, 1000}, {60, 1}, {100, 100}}, .fromMs = 295, .toMs = 2000, .attackMs = 280},
        // Equal attacks: the earlier.
        {.levels = {{0, 1}, {40, 100}, {60, 1}, {90, 100}}, .fromMs = 0, .toMs = 2000, .attackMs = 380},
    };
    for (const Case& c : cases) {
        std::vector<std::uint64_t> energies(200, 0);
        for (std::size_t i = 0; i < energies.size(); ++i)
            for (const auto& [from, level] : c.levels)
                if (i >= from)
                    energies[i] = level;
        EXPECT_EQ(strongestAttackMs(energies, 10, c.fromMs, c.toMs), c.attackMs) << c.levels.size();
    }
}

TEST(WaveformAnalysis, SuggestsTheLiveliestParts)
{
    // Intro, chorus, a solo louder than it, chorus, verse, a louder bridge, chorus, outro: from second,
    // level, and a beat of its own, so that each chorus matches the others only from its start. The
    // liveliest half minute beside the bridge would start in the first chorus, 10 s late.
    const std::tuple<double, double, double> sections[] = {{0, 0.03, 0},    {10, 0.5, 0.9}, {30, 0.65, 0.7},
                                                           {50, 0.5, 0.9},  {70, 0.2, 0.6}, {90, 0.9, 1.3},
                                                           {110, 0.5, 0.9}, {130, 0.03, 0}};
    // As PCM at 8000 Hz: a 220 Hz tone at the section's level.
    std::string bytes;
    for (std::int64_t i = 0; i < std::int64_t{140} * WaveformAnalysis::kSampleRate; ++i) {
        const double t = static_cast<double>(i) / WaveformAnalysis::kSampleRate;
        const auto [from, level, beat] = *std::prev(
            std::ranges::upper_bound(sections, t, {}, [](const auto& section) { return std::get<0>(section); }));
        const double amplitude = level * (0.7 + 0.3 * std::sin(2 * M_PI * beat * (t - from)));
        const auto sample = static_cast<std::int16_t>(32767 * amplitude * std::sin(2 * M_PI * 220 * t));
        bytes += {static_cast<char>(sample & 0xff), static_cast<char>((sample >> 8) & 0xff)};
    }
    WaveformAnalysis song(1024);
    song.feed(bytes);
    const std::vector<std::int64_t> starts = song.finish().suggestedStartsMs;
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_NEAR(starts[0], 90000, 500);  // the bridge, then a chorus clear of it
    EXPECT_LE(std::min(std::abs(starts[1] - 10000), std::abs(starts[1] - 50000)), 500) << starts[1];
    EXPECT_GE(std::min({std::abs(starts[2] - starts[0]), std::abs(starts[2] - starts[1])}), 30000);
}

}  // namespace
