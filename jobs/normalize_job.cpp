#include "jobs/normalize_job.h"

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

// A tool still running after a break counts as failed: the next step must not
// start on the file while it may still be writing it.
bool runStep(const std::filesystem::path& tool, const GainStep& step, const std::string& file,
             const std::atomic<bool>& breakFlag)
{
    std::vector<std::string> argv{tool.string()};
    argv.insert(argv.end(), step.options.begin(), step.options.end());
    argv.push_back(pathArgument(file));
    const ToolOutcome outcome = runTool(argv, breakFlag);
    return outcome.started && outcome.exitStatus == 0;
}

void runNormalize(const JobTicket& ticket, const ToolPaths& tools, const std::string& file)
{
    const std::optional<std::filesystem::path> tool = locateTool(tools, "mp3gain");
    for (const GainStep& step : gainSteps()) {
        // A job cut off by a newer start stops here, so two jobs' steps do not
        // keep overlapping on the file.
        if (!ticket.store(step.running))
            return;
        if (!tool || !runStep(*tool, step, file, ticket.fields().breakFlag)) {
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
    return startJob(target, [ticket = std::move(ticket), tools, file = std::move(file)] {
        runNormalize(ticket, tools, file);
    });
}

}  // namespace quillon::jobs
