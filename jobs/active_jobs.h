#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quillon::jobs {

// How many job threads are running, so the app can wait for them when it ends.
class ActiveJobs {
public:
    void enter();
    void leave();
    // True when none runs, at once or within limit.
    [[nodiscard]] bool waitUntilIdle(std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable idle_;
    int running_ = 0;
};

}  // namespace quillon::jobs
