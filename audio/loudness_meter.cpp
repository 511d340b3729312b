#include "audio/loudness_meter.h"

#include <charconv>

#include "process/run_tool.h"

namespace quillon::audio {

namespace {

// The summary comes last; its lines are all that is kept of a longer log.
constexpr std::size_t kKeptLog = std::size_t{16} * 1024;

// The number after label, searching from `from` on; the position after it goes to from.
std::optional<double> figureAfter(std::string_view log, std::string_view label, std::size_t& from)
{
    const std::size_t at = log.find(label, from);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t begin = at + label.size();
    while (begin < log.size() && (log[begin] == ' ' || log[begin] == '+'))
        ++begin;
    double value = 0;
    const auto [end, error] = std::from_chars(log.data() + begin, log.data() + log.size(), value);
    if (error != std::errc())
        return std::nullopt;
    from = static_cast<std::size_t>(end - log.data());
    return value;
}

}  // namespace

std::vector<std::string> loudnessArguments(const std::filesystem::path& encoder, const std::string& file, Peak peak)
{
    return {encoder.string(),
            "-nostdin",
            "-hide_banner",
            "-nostats",
            "-i",
            pathArgument(file),
            "-af",
            peak == Peak::True ? "ebur128=peak=true:framelog=verbose" : "ebur128=peak=sample:framelog=verbose",
            "-f",
            "null",
            "-"};
}

std::optional<Loudness> parseLoudnessSummary(std::string_view log)
{
    const std::size_t summary = log.rfind("Summary:");
    if (summary == std::string_view::npos)
        return std::nullopt;
    std::size_t from = log.find("Integrated loudness:", summary);
    if (from == std::string_view::npos)
        return std::nullopt;
    const std::optional<double> integrated = figureAfter(log, "I:", from);
    from = log.find("peak:", from);  // "True peak:" or "Sample peak:"
    if (!integrated || from == std::string_view::npos)
        return std::nullopt;
    const std::optional<double> peak = figureAfter(log, "Peak:", from);
    if (!peak)
        return std::nullopt;
    return Loudness{*integrated, *peak};
}

std::optional<double> integratedLoudnessOf(std::string_view log, std::string_view instance)
{
    const std::size_t at = log.rfind("[" + std::string(instance) + " @ ");
    std::size_t from = at == std::string_view::npos ? at : log.find("Integrated loudness:", at);
    if (from == std::string_view::npos)
        return std::nullopt;
    return figureAfter(log, "I:", from);
}

std::optional<Loudness> measureLoudness(const ToolPaths& tools, const std::string& file,
                                        const std::function<bool()>& stopRequested, Peak peak)
{
    const std::optional<std::filesystem::path> encoder = locateTool(tools, "ffmpeg");
    if (!encoder)
        return std::nullopt;
    std::string log;
    const process::ToolOutcome outcome = process::streamTool(
        loudnessArguments(*encoder, file, peak), stopRequested, {}, [](std::string_view) {},
        [&](std::string_view text) {
            log.append(text);
            if (log.size() > 2 * kKeptLog)
                log.erase(0, log.size() - kKeptLog);
        });
    if (!outcome.started || outcome.stopped || outcome.exitStatus != 0)
        return std::nullopt;
    return parseLoudnessSummary(log);
}

}  // namespace quillon::audio
