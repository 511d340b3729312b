#pragma once

#include <condition_variable>
#include <mutex>

namespace quillon::jobs {

// Whose turn it is at something one job at a time may use (a drive, an output
// file): busy while a job holds it (see JobTurn).
struct TurnLane {
    std::mutex mutex;
    std::condition_variable ended;
    bool busy = false;
};

}  // namespace quillon::jobs
