#include "audio/clip_sound.h"

#include <algorithm>
#include <iterator>

#include "audio/loudness_meter.h"
#include "process/run_tool.h"

namespace quillon::audio {

namespace {

// The summary comes last in the log, of which this much is kept; the tags come
// first in the metadata, of which a song with pages of lyrics in a tag has a lot.
constexpr std::size_t kKeptLog = std::size_t{64} * 1024;
constexpr std::size_t kKeptMetadata = std::size_t{1} << 20;

std::vector<std::string> partInput(const std::filesystem::path& encoder, const std::string& input, const SongPart& part)
{
    std::vector<std::string> argv{encoder.string(), "-nostdin", "-hide_banner", "-nostats"};
    std::ranges::move(clipRangeArguments(part), std::back_inserter(argv));
    argv.insert(argv.end(), {"-i", pathArgument(input)});
    return argv;
}

// The part's fades as filters, "anull" without any.
std::string fadeFilters(const SongPart& part)
{
    const std::vector<std::string> fades = clipFadeArguments(part);
    return fades.empty() ? "anull" : fades.back();
}

void keepTail(std::string& text, std::string_view more)
{
    text.append(more);
    if (text.size() > 2 * kKeptLog)
        text.erase(0, text.size() - kKeptLog);
}

struct RunText {
    process::ToolOutcome outcome;
    std::string output;
    std::string log;
};

RunText run(const std::vector<std::string>& argv, const std::function<bool()>& stopRequested,
            const std::function<void(const process::ChildProcess&)>& onStarted)
{
    RunText text;
    text.outcome = process::streamTool(
        argv, stopRequested, onStarted,
        [&](std::string_view bytes) {
            text.output.append(bytes.substr(0, kKeptMetadata - std::min(kKeptMetadata, text.output.size())));
        },
        [&](std::string_view bytes) { keepTail(text.log, bytes); });
    return text;
}

}  // namespace

std::vector<std::string> clipArguments(const SongPart& part, const ClipSound& sound, const std::string& fallbackTitle)
{
    const std::vector<std::string> fades = clipFadeArguments(part);
    std::vector<std::string> argv{"-map",
                                  "0:a:0",
                                  "-map_metadata",
                                  "-1",
                                  "-map_chapters",
                                  "-1",
                                  "-af",
                                  (fades.empty() ? "" : fades.back() + ",") + levelFilters(sound.level),
                                  "-id3v2_version",
                                  "3",
                                  "-fflags",
                                  "+bitexact"};
    std::ranges::move(tagArguments(sound.tags, fallbackTitle), std::back_inserter(argv));
    return argv;
}

std::vector<std::string> partMeasureArguments(const std::filesystem::path& encoder, const std::string& input,
                                              const SongPart& part)
{
    std::vector<std::string> argv = partInput(encoder, input, part);
    // The global tags first, then the audio stream's (where Ogg keeps them): the first of a key wins.
    argv.insert(argv.end(), {"-map", "0:a:0", "-af", fadeFilters(part) + ",ebur128=peak=true:framelog=verbose", "-f",
                             "null", "-", "-map_metadata", "0", "-map_metadata", "0:s:a:0", "-fflags", "+bitexact",
                             "-f", "ffmetadata", "pipe:1"});
    return argv;
}

std::vector<std::string> limiterTrialArguments(const std::filesystem::path& encoder, const std::string& input,
                                               const SongPart& part, const std::vector<double>& gains)
{
    std::vector<std::string> argv = partInput(encoder, input, part);
    std::string graph = "[0:a:0]" + fadeFilters(part) + ",asplit=" + std::to_string(gains.size());
    std::string branches;
    for (std::size_t i = 0; i < gains.size(); ++i) {
        const std::string name = "[t" + std::to_string(i) + "]";
        graph += name;
        // The last branch is the graph's output, which the null output takes.
        branches += ";" + name + levelFilters({gains[i], false}) + "," + limiterFilter() + ",ebur128@tried" +
                    std::to_string(i) + "=framelog=verbose" + (i + 1 < gains.size() ? ",anullsink" : "[out]");
    }
    argv.insert(argv.end(), {"-filter_complex", graph + branches, "-map", "[out]", "-f", "null", "-"});
    return argv;
}

std::optional<ClipSound> findClipSound(const std::filesystem::path& encoder, const std::string& input,
                                       const SongPart& part, const std::function<bool()>& stopRequested,
                                       const std::function<void(const process::ChildProcess&)>& onStarted)
{
    ClipSound sound;
    const RunText measured = run(partMeasureArguments(encoder, input, part), stopRequested, onStarted);
    if (measured.outcome.stopped)
        return std::nullopt;
    const std::optional<Loudness> loudness = parseLoudnessSummary(measured.log);
    if (!measured.outcome.started || measured.outcome.exitStatus != 0 || !loudness)
        return sound;
    sound.tags = parseSongTags(measured.output);
    sound.level = levelFor(*loudness);
    const std::vector<double> gains = gainsToTry(*loudness, sound.level);
    if (gains.empty())
        return sound;
    const RunText tried = run(limiterTrialArguments(encoder, input, part, gains), stopRequested, onStarted);
    if (tried.outcome.stopped)
        return std::nullopt;
    std::vector<double> lufs;
    for (std::size_t i = 0; i < gains.size(); ++i) {
        const std::optional<double> reached = integratedLoudnessOf(tried.log, "ebur128@tried" + std::to_string(i));
        if (!reached)
            return sound;  // the gain alone then, which is near enough for all but the peakiest songs
        lufs.push_back(*reached);
    }
    sound.level.gainDb = gainReaching(gains, lufs);
    return sound;
}

}  // namespace quillon::audio
