#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "cd/cd_access.h"
#include "jobs/active_jobs.h"

namespace quillon::cd {

// Runs the two listings on threads of their own, so that the thread that asks can
// keep serving its window while a drive spins up. A question asked while the same
// question is still being answered (the drive list, or the tracks of the same drive)
// starts nothing new: it gets the running one's answer. Each listing thread is
// counted in active while it runs, so that the stop at exit waits for it as for a job.
class ListingCalls {
public:
    // wake is called on the listing's thread each time an answer is ready.
    ListingCalls(std::shared_ptr<const CdAccess> access, std::shared_ptr<jobs::ActiveJobs> active,
                 std::function<void()> wake);

    [[nodiscard]] std::shared_future<std::string> drivesInfo();
    [[nodiscard]] std::shared_future<std::string> tracksInfo(std::int32_t drive);

private:
    struct Running {
        std::mutex mutex;
        std::map<std::int64_t, std::shared_future<std::string>> answers;  // by question
    };
    std::shared_future<std::string> ask(std::int64_t question, std::function<std::string(const CdAccess&)> listing);

    std::shared_ptr<const CdAccess> access_;
    std::shared_ptr<jobs::ActiveJobs> active_;
    std::function<void()> wake_;
    std::shared_ptr<Running> running_ = std::make_shared<Running>();
};

}  // namespace quillon::cd
