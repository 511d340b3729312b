#include "delivery/delivered_bytes.h"

#include <algorithm>
#include <iterator>

namespace quillon::delivery {

bool DeliveredBytes::add(const std::string& client, std::uint64_t offset, std::uint64_t length)
{
    if (length == 0 || offset >= size_)
        return false;
    auto known = runs_.find(client);
    if (known == runs_.end()) {
        if (runs_.size() >= kMaxClients)
            return false;
        known = runs_.emplace(client, std::map<std::uint64_t, std::uint64_t>{}).first;
    }
    auto& runs = known->second;
    std::uint64_t start = offset;
    std::uint64_t end = offset + std::min(length, size_ - offset);
    // The runs this one overlaps or touches become one with it.
    auto first = runs.upper_bound(start);
    if (first != runs.begin() && std::prev(first)->second >= start)
        --first;
    auto last = first;
    while (last != runs.end() && last->first <= end)
        ++last;
    if (first == last && runs.size() >= kMaxRuns)
        return false;
    if (first != last) {
        start = std::min(start, first->first);
        end = std::max(end, std::prev(last)->second);
        runs.erase(first, last);
    }
    runs.emplace(start, end);
    return runs.size() == 1 && start == 0 && end == size_;
}

}  // namespace quillon::delivery
