#include "jobs/normalize_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <optional>
#include <vector>

#include "jobs/run_tool.h"
#include "jobs/start_job.h"

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
        {kNormalizeRaising, kNormalizeRaisingFailed, {"/g", "4"}},
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
bool runStep(const std::filesystem::path& tool, const GainStep& step, const std::string& file, const JobTicket& ticket)
{
    std::vector<std::string> argv{tool.string()};
    argv.insert(argv.end(), step.options.begin(), step.options.end());
    argv.push_back(pathArgument(file));
    const ToolOutcome outcome = runTool(argv, [&ticket] { return ticket.mustStop(); });
    return outcome.started && outcome.exitStatus == 0 && isWritableClip(file);
}

void runNormalize(const JobTicket& ticket, const ToolPaths& tools, const std::string& file)
{
    const std::optional<std::filesystem::path> tool = locateTool(tools, "mp3gain");
    for (const GainStep& step : gainSteps()) {
        // A job cut off by a newer start stops here, so two jobs' steps do not
        // keep overlapping on the file.
        if (!ticket.store(step.running))
            return;
        const bool refused = step.running == kNormalizeRemovingTags && !isWritableClip(file);
        if (refused || !tool || !runStep(*tool, step, file, ticket)) {
            ticket.store(step.failed);
            return;
        }
    }
    ticket.store(kNormalizeDone);
}

}  // namespace

bool startNormalize(SharedJobFields fields, const ToolPaths& tools, std::string file)
{
    JobFields& target = *fields;
    JobTicket ticket(std::move(fields), &JobFields::norStatus);
    return startJob(target,
                    [ticket = std::move(ticket), tools, file = std::move(file)] { runNormalize(ticket, tools, file); });
}

}  // namespace quillon::jobs
