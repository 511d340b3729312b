#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "base/unique_fd.h"

namespace quillon::jobs {

// The encoder children that transcode jobs are waiting for, so the window can
// show the current one's id and stop them all when it closes. Each entry keeps
// its own pidfd: a signal reaches the encoder itself or, once it has ended and
// been collected, nothing at all.
class RunningEncoders {
public:
    // A job's entry; dropping it withdraws the encoder.
    class Registration {
    public:
        Registration() = default;
        Registration(RunningEncoders& owner, std::uint64_t key) : owner_(&owner), key_(key) {}
        Registration(Registration&& other) noexcept : owner_(std::exchange(other.owner_, nullptr)), key_(other.key_) {}
        Registration& operator=(Registration&& other) noexcept
        {
            if (this != &other) {
                withdraw();
                owner_ = std::exchange(other.owner_, nullptr);
                key_ = other.key_;
            }
            return *this;
        }
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;
        ~Registration() { withdraw(); }

        void withdraw()
        {
            if (owner_)
                std::exchange(owner_, nullptr)->remove(key_);
        }

    private:
        RunningEncoders* owner_ = nullptr;
        std::uint64_t key_ = 0;
    };

    // Job thread: the encoder of the transcode start with this generation.
    [[nodiscard]] Registration add(std::uint32_t generation, pid_t pid, int pidfd);

    // The id of the encoder that the start with this generation waits for, else 0.
    [[nodiscard]] std::uint32_t processId(std::uint32_t generation) const;

    // Kills every registered encoder that has not yet been collected and returns
    // how many were signalled.
    int terminateAll();

private:
    struct Entry {
        std::uint64_t key;
        std::uint32_t generation;
        pid_t pid;
        UniqueFd pidfd;
    };
    void remove(std::uint64_t key);

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t nextKey_ = 0;
};

}  // namespace quillon::jobs
