#include "audio/normalize_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "audio/loudness_meter.h"
#include "jobs/job_turn.h"
#include "jobs/start_job.h"
#include "process/run_tool.h"

namespace quillon::jobs {

namespace {

struct GainStep {
    std::int32_t running;
    std::int32_t failed;
    std::vector<std::string> options;
};

const std::array<GainStep, 3>& gainSteps()
{
    static const std::array<GainStep, 3> steps{{
        {kNormalizeRemovingTags, kNormalizeRemovingTagsFailed, {"/s", "d"}},
        {kNormalizeLeveling, kNormalizeLevelingFailed, {"/r"}},
        // The number of steps follows: as many as the clip's true peak leaves room for.
        {kNormalizeRaising, kNormalizeRaisingFailed, {"/g"}},
    }};
    return steps;
}

// The gain tool writes a new file and renames it over the old one: given a
// symlink, a device node or a file we may not write, it would replace that, and
// on a full disk it may leave an empty file behind and still succeed.
bool isWritableClip(const std::string& file)
{
    struct stat info {};
    return ::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
           ::access(file.c_str(), W_OK) == 0;
}

// A step broken off or overtaken counts as failed: its tool has been stopped mid-way.
bool runStep(const std::filesystem::path& tool, const std::vector<std::string>& options, const std::string& file,
             const JobTicket& ticket)
{
    std::vector<std::string> argv{tool.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(pathArgument(file));
    const ToolOutcome outcome = runTool(argv, [&ticket] { return ticket.mustStop(); });
    return outcome.started && outcome.exitStatus == 0 && isWritableClip(file);
}

// The options of a step. A clip whose peak cannot be measured is not raised: a
// clip left quiet is better than one that distorts the phone's speaker.
std::vector<std::string> stepOptions(const GainStep& step, const ToolPaths& tools, const std::string& file,
                                     const JobTicket& ticket)
{
    std::vector<std::string> options = step.options;
    if (step.running == kNormalizeRaising) {
        const std::optional<Loudness> levelled = measureLoudness(tools, file, [&ticket] { return ticket.mustStop(); });
        options.push_back(std::to_string(levelled ? raisingSteps(levelled->truePeakDbtp) : 0));
    }
    return options;
}

void runNormalize(const JobTicket& ticket, const ToolPaths& tools, const std::string& file)
{
    // One gain run at a time: a newer one waits here until this one has stopped its tool.
    const JobTurn turn(ticket, ticket.fields().normalizeLane);
    if (!turn.held()) {
        ticket.store(kNormalizeRemovingTagsFailed);  // broken off before it began
        return;
    }
    const std::optional<std::filesystem::path> tool = locateTool(tools, "mp3gain");
    for (const GainStep& step : gainSteps()) {
        // A job cut off by a newer start stops here, so two jobs' steps do not
        // keep overlapping on the file.
        if (!ticket.store(step.running))
            return;
        const bool refused = step.running == kNormalizeRemovingTags && !isWritableClip(file);
        if (refused || !tool || !runStep(*tool, stepOptions(step, tools, file, ticket), file, ticket)) {
            ticket.store(step.failed);
            return;
        }
    }
    // In place before the status that makes the page read it; "" when it cannot be measured.
    const std::optional<Loudness> result = measureLoudness(tools, file, [&ticket] { return ticket.mustStop(); });
    const bool known = result && std::isfinite(result->integratedLufs);
    ticket.fields().norLoudness.set(ticket.fields().norStatus, ticket.generation(),
                                    known ? std::to_string(std::lround(result->integratedLufs)) : std::string());
    ticket.store(kNormalizeDone);
}

}  // namespace

std::string normalizedLoudness(const JobFields& fields)
{
    const StatusSlot::Snapshot status = fields.norStatus.snapshot();
    return status.value == kNormalizeDone ? fields.norLoudness.get(status.generation) : std::string();
}

bool startNormalize(SharedJobFields fields, const ToolPaths& tools, std::string file)
{
    JobFields& target = *fields;
    JobTicket ticket(std::move(fields), &JobFields::norStatus);
    return startJob(target,
                    [ticket = std::move(ticket), tools, file = std::move(file)] { runNormalize(ticket, tools, file); });
}

}  // namespace quillon::jobs
