#include "jobs/start_job.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "process/live_children.h"

namespace quillon::jobs {

namespace {

constexpr std::chrono::milliseconds kStopRound{100};

}  // namespace

bool startJob(JobFields& fields, std::function<void()> work)
{
    fields.active.enter();
    try {
        // work holds the job's share of fields, so they outlive the count's update.
        std::thread([&fields, work = std::move(work)] {
            work();
            fields.active.leave();
        }).detach();
    } catch (const std::system_error&) {
        fields.active.leave();
        return false;
    }
    return true;
}

bool stopJobs(JobFields& fields, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    fields.requestBreak();
    const auto deadline = Clock::now() + limit;
    // Killed again each round: a job may have started its next tool meanwhile, and
    // the last round takes the tools a break left running by themselves.
    for (;;) {
        process::killLiveChildren();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (fields.active.waitUntilIdle(std::clamp(left, std::chrono::milliseconds(0), kStopRound))) {
            process::killLiveChildren();
            return true;
        }
        if (Clock::now() >= deadline)
            return false;
    }
}

}  // namespace quillon::jobs
