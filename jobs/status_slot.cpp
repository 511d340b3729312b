#include "jobs/status_slot.h"

namespace quillon::jobs {

std::uint64_t StatusSlot::pack(std::uint32_t generation, std::int32_t value)
{
    return (std::uint64_t{generation} << 32) | static_cast<std::uint32_t>(value);
}

std::uint32_t StatusSlot::restart()
{
    std::lock_guard lock(handover_);
    std::uint64_t current = packed_.load(std::memory_order_acquire);
    std::uint64_t next;
    do {
        next = pack(static_cast<std::uint32_t>(current >> 32) + 1, 0);
    } while (!packed_.compare_exchange_weak(current, next, std::memory_order_acq_rel));
    return static_cast<std::uint32_t>(next >> 32);
}

bool StatusSlot::store(std::uint32_t generation, std::int32_t value)
{
    std::uint64_t current = packed_.load(std::memory_order_acquire);
    while (static_cast<std::uint32_t>(current >> 32) == generation) {
        // Release: whatever the job stored before (a response text) is visible to
        // the reader that sees this value.
        if (packed_.compare_exchange_weak(current, pack(generation, value), std::memory_order_acq_rel))
            return true;
    }
    return false;
}

std::int32_t StatusSlot::value() const
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(packed_.load(std::memory_order_acquire)));
}

StatusSlot::Snapshot StatusSlot::snapshot() const
{
    const std::uint64_t packed = packed_.load(std::memory_order_acquire);
    return {static_cast<std::uint32_t>(packed >> 32), static_cast<std::int32_t>(static_cast<std::uint32_t>(packed))};
}

std::uint32_t StatusSlot::generation() const
{
    return static_cast<std::uint32_t>(packed_.load(std::memory_order_acquire) >> 32);
}

}  // namespace quillon::jobs
