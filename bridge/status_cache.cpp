#include "bridge/status_cache.h"

namespace quillon::bridge {

std::optional<std::size_t> StatusCache::slotOf(DispId member)
{
    const auto& members = statusMembers();
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i] == member)
            return i;
    }
    return std::nullopt;
}

std::optional<std::int32_t> StatusCache::read(DispId member, Clock::time_point now) const
{
    const auto slot = slotOf(member);
    if (!slot || !taken_ || now < *taken_ || now - *taken_ >= kFreshFor)
        return std::nullopt;
    return snapshot_.values[*slot];
}

void StatusCache::store(const StatusReply& snapshot, Clock::time_point now)
{
    snapshot_ = snapshot;
    taken_ = now;
}

}  // namespace quillon::bridge
