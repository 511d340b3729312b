#include "process/live_children.h"

#include <fcntl.h>

#include <csignal>
#include <map>
#include <mutex>

#include "base/unique_fd.h"
#include "process/pidfd.h"

namespace quillon::process {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::uint64_t, base::UniqueFd> children;
    std::uint64_t lastKey = 0;
};

// Never destroyed: job and reaper threads may still withdraw children after
// main has returned.
Registry& registry()
{
    static auto* const instance = new Registry;
    return *instance;
}

}  // namespace

std::uint64_t addLiveChild(int pidfd)
{
    base::UniqueFd copy(::fcntl(pidfd, F_DUPFD_CLOEXEC, 0));
    if (!copy.valid())
        return 0;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const std::uint64_t key = ++r.lastKey;
    r.children.emplace(key, std::move(copy));
    return key;
}

void removeLiveChild(std::uint64_t key)
{
    if (key == 0)
        return;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.children.erase(key);
}

int killLiveChildren()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    int signalled = 0;
    for (const auto& [key, pidfd] : r.children) {
        if (pidfd_send_signal(pidfd.get(), SIGKILL, nullptr, 0) == 0)
            ++signalled;
    }
    return signalled;
}

}  // namespace quillon::process
