#include "audio/waveform_job.h"

#include <chrono>
#include <optional>
#include <vector>

#include "audio/decoder_duration.h"
#include "audio/waveform_analysis.h"
#include "jobs/start_job.h"
#include "process/run_tool.h"

namespace quillon::jobs {

std::vector<std::string> waveformDecoderArguments(const std::filesystem::path& encoder, const std::string& path)
{
    return {encoder.string(), "-nostdin", "-i",    pathArgument(path), "-vn",       "-ac",   "1", "-ar",
            "8000",           "-f",       "s16le", "-acodec",          "pcm_s16le", "pipe:1"};
}

namespace {

// How often the page gets what has been read so far: often enough to fill the
// picture smoothly, seldom enough that making the text costs the read nothing.
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr std::int64_t kSampleRateKhz = WaveformAnalysis::kSampleRate / 1000;

std::int32_t readWaveform(const JobTicket& ticket, const ToolPaths& tools, const std::string& path, int points)
{
    const std::optional<std::filesystem::path> encoder = locateTool(tools, "ffmpeg");
    if (!encoder)
        return kWaveformUnreadable;

    JobFields& fields = ticket.fields();
    WaveformAnalysis analysis(points);
    DecoderDuration duration;
    // The first picture goes out as soon as it holds a slice (the length is known by
    // then), the next ones each interval.
    auto lastShown = std::chrono::steady_clock::now();
    bool shown = false;
    const auto show = [&] {
        const auto now = std::chrono::steady_clock::now();
        const bool drawable = duration.ms() && analysis.samples() * points >= *duration.ms() * kSampleRateKhz;
        if ((shown || !drawable) && now - lastShown < kProgressInterval)
            return;
        shown = true;
        lastShown = now;
        fields.wfResponse.set(fields.wfStatus, ticket.generation(),
                              formatWaveform(analysis.progress(duration.ms().value_or(0))));
    };
    RunningEncoders::Registration registration;
    const ToolOutcome outcome = streamTool(
        waveformDecoderArguments(*encoder, path), [&ticket] { return ticket.mustStop(); },
        [&](const ChildProcess& child) { registration = fields.waveformEncoders.add(child.pidfd()); },
        [&](std::string_view bytes) {
            analysis.feed(bytes);
            show();
        },
        [&](std::string_view log) { duration.feed(log); });
    registration.withdraw();
    if (outcome.stopped)
        return kWaveformBroken;
    if (!outcome.started || outcome.exitStatus != 0 || analysis.samples() == 0)
        return kWaveformUnreadable;
    fields.wfResponse.set(fields.wfStatus, ticket.generation(), formatWaveform(analysis.finish()));
    return kWaveformDone;
}

}  // namespace

bool startWaveform(SharedJobFields fields, const ToolPaths& tools, std::string path, int points)
{
    if (points < WaveformAnalysis::kMinPoints || points > WaveformAnalysis::kMaxPoints)
        return false;
    JobFields& target = *fields;
    const JobTicket ticket(std::move(fields), &JobFields::wfStatus);
    // Running from the start on, so that 0 keeps meaning "never started".
    ticket.store(kWaveformRunning);
    if (startJob(target, [ticket, tools, path = std::move(path), points] {
            ticket.store(readWaveform(ticket, tools, path, points));
        }))
        return true;
    ticket.store(kWaveformIdle);
    return false;
}

std::string waveformResponse(const JobFields& fields)
{
    const StatusSlot::Snapshot status = fields.wfStatus.snapshot();
    const bool readable = status.value == kWaveformRunning || status.value == kWaveformDone;
    return readable ? fields.wfResponse.get(status.generation) : std::string();
}

int terminateWaveformEncoder(JobFields& fields) { return fields.waveformEncoders.terminateAll(); }

}  // namespace quillon::jobs
