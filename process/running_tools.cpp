#include "process/running_tools.h"

#include "process/pidfd.h"
#include <fcntl.h>

#include <algorithm>
#include <csignal>

namespace quillon::process {

RunningTools::Registration RunningTools::add(int pidfd)
{
    // A copy of our own, so the entry stays valid whenever the job closes its pidfd.
    base::UniqueFd copy(::fcntl(pidfd, F_DUPFD_CLOEXEC, 0));
    std::lock_guard lock(mutex_);
    const std::uint64_t key = nextKey_++;
    entries_.push_back(Entry{key, std::move(copy)});
    return Registration(*this, key);
}

int RunningTools::terminateAll()
{
    std::lock_guard lock(mutex_);
    int signalled = 0;
    for (const Entry& entry : entries_) {
        if (entry.pidfd.valid() && pidfd_send_signal(entry.pidfd.get(), SIGKILL, nullptr, 0) == 0)
            ++signalled;
    }
    return signalled;
}

void RunningTools::remove(std::uint64_t key)
{
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [key](const Entry& entry) { return entry.key == key; });
}

}  // namespace quillon::process
