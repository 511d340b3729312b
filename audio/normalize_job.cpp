#include "audio/normalize_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "audio/clip_loudness.h"
#include "audio/loudness_meter.h"
#include "jobs/job_turn.h"
#include "jobs/start_job.h"
#include "process/run_tool.h"

namespace quillon::audio {

namespace {

// The tool's few lines of output; a longer one is cut.
constexpr std::size_t kKeptOutput = 4096;

struct GainStep {
    std::int32_t running;
    std::int32_t failed;
    std::vector<std::string> options;
};

// Made for each run: a table of strings kept for the process's life would be torn
// down at its exit under a job thread that may still read it.
std::array<GainStep, 3> gainSteps()
{
    return {{
        {kNormalizeRemovingTags, base::kNormalizeRemovingTagsFailed, {"/s", "d"}},
        // "/s s": no tag is written, so no player turns the clip down again by a
        // stored gain: the gain is in the frames.
        {kNormalizeLeveling, base::kNormalizeLevelingFailed, {"/s", "s", "/r"}},
        // The number of steps follows: those that take the clip to the target (see levellingSteps).
        {kNormalizeRaising, base::kNormalizeRaisingFailed, {"/s", "s", "/g"}},
    }};
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

// A step broken off or overtaken counts as failed: its tool has been stopped
// mid-way. What the tool says on its standard output goes to said (its start).
bool runStep(const std::filesystem::path& tool, const std::vector<std::string>& options, const std::string& file,
             const jobs::JobTicket& ticket, std::string& said)
{
    std::vector<std::string> argv{tool.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(pathArgument(file));
    const process::ToolOutcome outcome = process::streamTool(
        argv, [&ticket] { return ticket.mustStop(); }, {},
        [&said](std::string_view text) {
            said.append(text.substr(0, kKeptOutput - std::min(kKeptOutput, said.size())));
        });
    return outcome.started && outcome.exitStatus == 0 && isWritableClip(file);
}

void runNormalize(const jobs::JobTicket& ticket, const ToolPaths& tools, const std::string& file)
{
    // One gain run at a time: a newer one waits here until this one has stopped its tool.
    const jobs::JobTurn turn(ticket, ticket.fields().normalizeLane);
    if (!turn.held()) {
        ticket.store(base::kNormalizeRemovingTagsFailed);  // broken off before it began
        return;
    }
    const std::optional<std::filesystem::path> tool = locateTool(tools, "mp3gain");
    // The clip as the tool's levelling left it, measured before the last step; a
    // clip that cannot be measured is not moved: a clip left quiet is better than
    // one that distorts the phone's speaker.
    std::optional<Loudness> levelled;
    int steps = 0;
    std::string said;
    for (const GainStep& step : gainSteps()) {
        // A job cut off by a newer start stops here, so two jobs' steps do not
        // keep overlapping on the file.
        if (!ticket.store(step.running))
            return;
        std::vector<std::string> options = step.options;
        if (step.running == kNormalizeRaising) {
            levelled = measureLoudness(
                tools, file, [&ticket] { return ticket.mustStop(); }, Peak::Sample);
            steps = levelled ? levellingSteps(*levelled, appliedGainSteps(said).value_or(0)) : 0;
            options.push_back(std::to_string(steps));
        }
        said.clear();
        const bool refused = step.running == kNormalizeRemovingTags && !isWritableClip(file);
        if (refused || !tool || !runStep(*tool, options, file, ticket, said)) {
            ticket.store(step.failed);
            return;
        }
    }
    // The last step moves every frame by whole gain steps, so the clip's loudness
    // follows from the measure before it. In place before the status that makes the
    // page read it; "" when it could not be measured.
    const bool known = levelled && std::isfinite(levelled->integratedLufs);
    const double lufs = known ? levelled->integratedLufs + steps * kGainStepDb : 0;
    ticket.fields().norLoudness.set(ticket.fields().norStatus, ticket.generation(),
                                    known ? std::to_string(std::lround(lufs)) : std::string());
    ticket.store(base::kNormalizeDone);
}

}  // namespace

std::string normalizedLoudness(const jobs::JobFields& fields)
{
    const jobs::StatusSlot::Snapshot status = fields.norStatus.snapshot();
    return status.value == base::kNormalizeDone ? fields.norLoudness.get(status.generation) : std::string();
}

bool startNormalize(jobs::SharedJobFields fields, const ToolPaths& tools, std::string file)
{
    jobs::JobFields& target = *fields;
    jobs::JobTicket ticket(std::move(fields), &jobs::JobFields::norStatus);
    return jobs::startJob(
        target, [ticket = std::move(ticket), tools, file = std::move(file)] { runNormalize(ticket, tools, file); });
}

}  // namespace quillon::audio
