#include "jobs/active_jobs.h"

namespace quillon::jobs {

void ActiveJobs::enter()
{
    std::lock_guard lock(mutex_);
    ++running_;
}

void ActiveJobs::leave()
{
    std::lock_guard lock(mutex_);
    if (--running_ == 0)
        idle_.notify_all();
}

bool ActiveJobs::waitUntilIdle(std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, limit, [this] { return running_ == 0; });
}

}  // namespace quillon::jobs
