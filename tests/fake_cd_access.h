#pragma once

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

// A scripted drive for tests: chosen tables of contents, failures injected per chunk,
// a disc changed mid-read, and counts of what was asked of it. Frames carry
// fakeFrameByte's pattern.
struct FakeDriveSetup {
    std::string product{};
    bool handleAvailable = true;
    std::optional<CdToc> toc{};  // nothing: no disc
    // Read attempts starting at the given block that fail before one succeeds.
    std::map<std::int32_t, int> failuresAtBlock{};
    std::string node{};  // the drive's address when given, else its index
    // Blocks [first, second) cannot be read at all (the gap between two sessions).
    std::vector<std::pair<std::int32_t, std::int32_t>> unreadable{};
    // The disc is swapped for another (or taken out) as the read at this block is made.
    std::optional<std::int32_t> discChangeAt{};
    bool changedToNothing = false;
};

class FakeCdAccess final : public CdAccess {
public:
    explicit FakeCdAccess(std::vector<FakeDriveSetup> drives);

    std::vector<CdDrive> listDrives() const override;
    std::unique_ptr<CdDisc> open(const CdDrive& drive) const override;

    // Called with the block of every read attempt, before it is answered.
    void setReadHook(std::function<void(std::int32_t block)> hook) { readHook_ = std::move(hook); }
    // Called before every open, which waits for it (a drive spinning up).
    void setOpenHook(std::function<void()> hook) { openHook_ = std::move(hook); }

    struct ReadCall {
        std::int32_t block;
        std::int32_t count;
        bool ok;
    };
    [[nodiscard]] std::vector<ReadCall> reads() const;
    [[nodiscard]] int opens() const { return opens_.load(); }
    [[nodiscard]] int closes() const { return closes_.load(); }
    [[nodiscard]] int tocReads() const { return tocReads_.load(); }

private:
    friend class FakeDisc;
    // Nothing when the read fails, else whether the frames come from a changed disc.
    std::optional<bool> answerRead(std::size_t drive, std::int32_t block, std::int32_t count) const;
    bool takeMediaChange(std::size_t drive) const;

    std::vector<FakeDriveSetup> drives_;
    std::function<void(std::int32_t)> readHook_;
    std::function<void()> openHook_;
    mutable std::mutex mutex_;
    mutable std::vector<std::map<std::int32_t, int>> failuresLeft_;
    mutable std::vector<ReadCall> reads_;
    mutable std::vector<int> changes_;  // per drive: 0 none, 1 changed and not yet asked, 2 asked
    mutable std::atomic<int> opens_{0};
    mutable std::atomic<int> closes_{0};
    mutable std::atomic<int> tocReads_{0};
};

// The byte at offset within the frame at block, as every fake read delivers it; a
// changed disc delivers other bytes.
[[nodiscard]] std::uint8_t fakeFrameByte(std::int64_t block, std::size_t offset, bool changedDisc = false);

}  // namespace quillon::cd
