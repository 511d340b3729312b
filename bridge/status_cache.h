#pragma once

#include <chrono>
#include <optional>

#include "bridge/channel_message.h"

namespace quillon::bridge {

// The web-process side's last snapshot of the job statuses. A page that polls
// them all reads one snapshot, fetched in one round trip; a snapshot is used only
// while it is younger than kFreshFor, and never after the page has called a method
// (which may have started or stopped a job).
class StatusCache {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::microseconds kFreshFor{1000};

    // The position of member in a snapshot, if it is one of the statuses.
    [[nodiscard]] static std::optional<std::size_t> slotOf(DispId member);

    // The cached value of a status member, when the snapshot is fresh at now.
    [[nodiscard]] std::optional<std::int32_t> read(DispId member, Clock::time_point now) const;
    void store(const StatusReply& snapshot, Clock::time_point now);
    void invalidate() { taken_.reset(); }

private:
    StatusReply snapshot_;
    std::optional<Clock::time_point> taken_;
};

}  // namespace quillon::bridge
