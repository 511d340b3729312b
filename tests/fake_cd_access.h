#pragma once

// A scripted drive for the CD tests: chosen tables of contents, failed reads, a disc
// changed mid-read, and a record of what was asked of it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cd/cd_access.h"

namespace quillon::cd {

struct FakeDrive {
    std::string product{};
    std::optional<CdToc> toc{};  // nothing: no disc
    bool handle = true;
    std::map<std::int32_t, int> failures{};  // failed attempts at a block before one succeeds
    std::optional<std::int32_t> changeAt{};  // the disc is swapped as this block is read
    bool changedToNothing = false;           // ... or taken out
    int change = 0;                          // 1: changed and not yet asked, 2: asked
};

// The byte at offset within the frame at block; a changed disc delivers other bytes.
inline char fakeFrameByte(std::int64_t block, std::size_t offset, bool changed = false)
{
    const auto byte = (block * 31 + static_cast<std::int64_t>(offset) * 7 + (offset >> 8)) & 0xFF;
    return static_cast<char>(changed ? byte ^ 0x5A : byte);
}

class FakeCdAccess final : public CdAccess {
public:
    explicit FakeCdAccess(std::vector<FakeDrive> drives) : drives_(std::move(drives)) {}
    std::vector<CdDrive> listDrives() const override
    {
        std::vector<CdDrive> list;
        for (std::size_t i = 0; i < drives_.size(); ++i)
            list.push_back({std::to_string(i), drives_[i].product, CdDriveKind::device});
        return list;
    }
    std::unique_ptr<CdDisc> open(const CdDrive& drive) const override
    {
        if (onOpen)
            onOpen();
        FakeDrive& fake = drives_.at(std::stoul(drive.address));
        return fake.handle ? std::make_unique<Disc>(*this, fake) : nullptr;
    }
    // The block and frame count of every read attempt.
    [[nodiscard]] std::vector<std::pair<std::int32_t, std::int32_t>> reads() const
    {
        const std::lock_guard lock(mutex_);
        return reads_;
    }

    std::function<void(std::int32_t block)> onRead;  // before each read is answered
    std::function<void()> onOpen;                    // before each open, which waits for it
    mutable std::atomic<int> closes{0}, tocReads{0};

private:
    class Disc final : public CdDisc {
    public:
        Disc(const FakeCdAccess& owner, FakeDrive& drive) : owner_(owner), drive_(drive) {}
        ~Disc() override { ++owner_.closes; }
        Disc(const Disc&) = delete;
        Disc& operator=(const Disc&) = delete;
        std::optional<CdToc> readToc() override
        {
            ++owner_.tocReads;
            return drive_.toc;
        }
        bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) override
        {
            if (owner_.onRead)
                owner_.onRead(block);
            const std::lock_guard lock(owner_.mutex_);
            owner_.reads_.emplace_back(block, count);
            if (drive_.changeAt && block >= *drive_.changeAt && drive_.change == 0)
                drive_.change = 1;
            if (drive_.change && drive_.changedToNothing)
                return false;
            if (int& failures = drive_.failures[block]; failures-- > 0)
                return false;
            for (std::size_t i = 0; i < static_cast<std::size_t>(count) * kFrameBytes; ++i)
                out[i] = static_cast<std::uint8_t>(fakeFrameByte(block + static_cast<std::int64_t>(i / kFrameBytes),
                                                                 i % kFrameBytes, drive_.change != 0));
            return true;
        }
        bool mediaChanged() override
        {
            const std::lock_guard lock(owner_.mutex_);
            const bool changed = drive_.change == 1;
            drive_.change = changed ? 2 : drive_.change;
            return changed;
        }

    private:
        const FakeCdAccess& owner_;
        FakeDrive& drive_;
    };

    mutable std::vector<FakeDrive> drives_;
    mutable std::mutex mutex_;
    mutable std::vector<std::pair<std::int32_t, std::int32_t>> reads_;
};

}  // namespace quillon::cd
