#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace quillon::jobs {

// One job kind's status value together with the number of the start it belongs to.
// Both live in one 64-bit atomic, so a job that a newer start of its kind has cut off
// can never store into the slot, not even in a race with that start.
class StatusSlot {
public:
    // UI thread: a new start of this kind. Sets the value to 0 and returns the
    // generation that the new job must present with each store. Waits for a
    // whileCurrent that is under way.
    std::uint32_t restart();

    // Job thread: stores value when generation is still the current one.
    // Returns false when a newer start has taken the slot over.
    bool store(std::uint32_t generation, std::int32_t value);

    [[nodiscard]] std::int32_t value() const;
    // Value and generation read together, as one store left them.
    struct Snapshot {
        std::uint32_t generation;
        std::int32_t value;
    };
    [[nodiscard]] Snapshot snapshot() const;
    [[nodiscard]] std::uint32_t generation() const;
    [[nodiscard]] bool isCurrent(std::uint32_t generation) const { return this->generation() == generation; }

    // Job thread: runs action (storing a result beside the status, cleaning up after
    // the job) only while generation is the current one, and no newer start can
    // begin until it is done. False when a newer start has taken the slot over.
    template <class Action>
    bool whileCurrent(std::uint32_t generation, Action&& action) const
    {
        std::lock_guard lock(handover_);
        if (!isCurrent(generation))
            return false;
        action();
        return true;
    }

private:
    static std::uint64_t pack(std::uint32_t generation, std::int32_t value);
    std::atomic<std::uint64_t> packed_{0};
    mutable std::mutex handover_;
};

}  // namespace quillon::jobs
