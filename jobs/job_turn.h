#pragma once

#include <chrono>
#include <mutex>

#include "jobs/job_fields.h"
#include "jobs/turn_lane.h"

namespace quillon::jobs {

// A job's turn at a lane. A newer job waits for the one before it to see that it
// must stop (which a break or the newer start makes it do at its next look),
// unless it is itself broken off or overtaken meanwhile: then it never gets the turn.
class JobTurn {
public:
    JobTurn(const JobTicket& ticket, TurnLane& lane) : lane_(lane)
    {
        std::unique_lock lock(lane_.mutex);
        while (lane_.busy) {
            if (ticket.mustStop())
                return;
            lane_.ended.wait_for(lock, std::chrono::milliseconds(20));
        }
        lane_.busy = held_ = true;
    }
    ~JobTurn()
    {
        if (!held_)
            return;
        {
            std::lock_guard lock(lane_.mutex);
            lane_.busy = false;
        }
        lane_.ended.notify_all();
    }
    JobTurn(const JobTurn&) = delete;
    JobTurn& operator=(const JobTurn&) = delete;

    [[nodiscard]] bool held() const { return held_; }

private:
    TurnLane& lane_;
    bool held_ = false;
};

}  // namespace quillon::jobs
