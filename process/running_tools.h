#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "base/unique_fd.h"

namespace quillon::process {

// The encoder children that jobs are waiting for, so the window can stop them
// all when it closes. Each entry keeps its own pidfd: a signal reaches the
// encoder itself or, once it has ended and been collected, nothing at all.
class RunningTools {
public:
    // A job's entry; dropping it withdraws the encoder.
    class Registration {
    public:
        Registration() = default;
        Registration(RunningTools& owner, std::uint64_t key) : owner_(&owner), key_(key) {}
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
        RunningTools* owner_ = nullptr;
        std::uint64_t key_ = 0;
    };

    // Job thread: the encoder behind pidfd, which the job is about to wait for.
    [[nodiscard]] Registration add(int pidfd);

    // Kills every registered encoder that has not yet been collected and returns
    // how many were signalled.
    int terminateAll();

private:
    struct Entry {
        std::uint64_t key;
        base::UniqueFd pidfd;
    };
    void remove(std::uint64_t key);

    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t nextKey_ = 0;
};

}  // namespace quillon::process
