#include "jobs/waveform_job.h"

#include <optional>
#include <vector>

#include "jobs/run_tool.h"
#include "jobs/start_job.h"
#include "jobs/waveform_analysis.h"

namespace quillon::jobs {

namespace {

std::vector<std::string> decoderArguments(const std::filesystem::path& encoder, const std::string& path)
{
    return {encoder.string(), "-nostdin", "-i",    pathArgument(path), "-vn",       "-ac",   "1", "-ar",
            "8000",           "-f",       "s16le", "-acodec",          "pcm_s16le", "pipe:1"};
}

std::int32_t readWaveform(const JobTicket& ticket, const ToolPaths& tools, const std::string& path, int points)
{
    const std::optional<std::filesystem::path> encoder = locateTool(tools, "ffmpeg");
    if (!encoder)
        return kWaveformUnreadable;

    JobFields& fields = ticket.fields();
    WaveformAnalysis analysis(points);
    RunningEncoders::Registration registration;
    const ToolOutcome outcome = streamTool(
        decoderArguments(*encoder, path), [&ticket] { return ticket.mustStop(); },
        [&](const ChildProcess& child) { registration = fields.waveformEncoders.add(child.pidfd()); },
        [&](std::string_view bytes) { analysis.feed(bytes); });
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
    return status.value == kWaveformDone ? fields.wfResponse.get(status.generation) : std::string();
}

int terminateWaveformEncoder(JobFields& fields) { return fields.waveformEncoders.terminateAll(); }

}  // namespace quillon::jobs
