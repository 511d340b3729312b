#include "jobs/running_encoders.h"

#include <fcntl.h>
#include <poll.h>
#include "jobs/pidfd.h"

#include <algorithm>
#include <csignal>
#include <system_error>

namespace quillon::jobs {

RunningEncoders::Registration RunningEncoders::add(std::optional<std::uint32_t> generation, pid_t pid, int pidfd,
                                                   std::filesystem::path partialOutput)
{
    // A copy of our own, so the entry stays valid whenever the job closes its pidfd.
    UniqueFd copy(::fcntl(pidfd, F_DUPFD_CLOEXEC, 0));
    std::lock_guard lock(mutex_);
    const std::uint64_t key = nextKey_++;
    entries_.push_back(Entry{key, generation, pid, std::move(copy), std::move(partialOutput)});
    return Registration(*this, key);
}

std::uint32_t RunningEncoders::processId(std::uint32_t generation) const
{
    std::lock_guard lock(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [generation](const Entry& entry) { return entry.generation == generation; });
    return found == entries_.end() ? 0 : static_cast<std::uint32_t>(found->pid);
}

int RunningEncoders::terminateAll()
{
    std::lock_guard lock(mutex_);
    int signalled = 0;
    for (const Entry& entry : entries_) {
        if (entry.generation && entry.pidfd.valid() && pidfd_send_signal(entry.pidfd.get(), SIGKILL, nullptr, 0) == 0)
            ++signalled;
    }
    return signalled;
}

void RunningEncoders::stopEverything(std::chrono::milliseconds limit)
{
    // The lock stays held: a job whose tool ends meanwhile waits to withdraw it
    // until its output is gone.
    std::lock_guard lock(mutex_);
    for (const Entry& entry : entries_) {
        if (entry.pidfd.valid())
            (void)pidfd_send_signal(entry.pidfd.get(), SIGKILL, nullptr, 0);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (const Entry& entry : entries_) {
        // A pidfd turns readable once its process has ended, collected or not.
        pollfd ended{entry.pidfd.get(), POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (entry.pidfd.valid() && ::poll(&ended, 1, static_cast<int>(std::max<long>(0, left.count()))) > 0 &&
            !entry.partialOutput.empty()) {
            std::error_code ignored;
            std::filesystem::remove(entry.partialOutput, ignored);
        }
    }
}

void RunningEncoders::remove(std::uint64_t key)
{
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [key](const Entry& entry) { return entry.key == key; });
}

}  // namespace quillon::jobs
