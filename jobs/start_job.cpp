#include "jobs/start_job.h"

#include <system_error>
#include <thread>

namespace quillon::jobs {

bool startJob(JobFields& fields, std::function<void()> work)
{
    fields.breakFlag.store(false, std::memory_order_release);
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace quillon::jobs
