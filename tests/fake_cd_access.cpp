#include "tests/fake_cd_access.h"

#include <algorithm>

namespace quillon::cd {

class FakeDisc final : public CdDisc {
public:
    FakeDisc(const FakeCdAccess& owner, std::size_t drive) : owner_(owner), drive_(drive) {}
    ~FakeDisc() override { ++owner_.closes_; }
    FakeDisc(const FakeDisc&) = delete;
    FakeDisc& operator=(const FakeDisc&) = delete;

    std::optional<CdToc> readToc() override
    {
        ++owner_.tocReads_;
        return owner_.drives_[drive_].toc;
    }

    bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) override
    {
        const std::optional<bool> changed = owner_.answerRead(drive_, block, count);
        if (!changed)
            return false;
        for (std::int32_t frame = 0; frame < count; ++frame) {
            for (std::size_t i = 0; i < kFrameBytes; ++i)
                out[static_cast<std::size_t>(frame) * kFrameBytes + i] = fakeFrameByte(block + frame, i, *changed);
        }
        return true;
    }

    bool mediaChanged() override { return owner_.takeMediaChange(drive_); }

private:
    const FakeCdAccess& owner_;
    std::size_t drive_;
};

FakeCdAccess::FakeCdAccess(std::vector<FakeDriveSetup> drives) : drives_(std::move(drives))
{
    for (const FakeDriveSetup& drive : drives_)
        failuresLeft_.push_back(drive.failuresAtBlock);
    changes_.assign(drives_.size(), 0);
}

std::vector<CdDrive> FakeCdAccess::listDrives() const
{
    std::vector<CdDrive> list;
    for (std::size_t i = 0; i < drives_.size(); ++i)
        list.push_back(
            {drives_[i].node.empty() ? std::to_string(i) : drives_[i].node, drives_[i].product, CdDriveKind::device});
    return list;
}

std::unique_ptr<CdDisc> FakeCdAccess::open(const CdDrive& drive) const
{
    if (openHook_)
        openHook_();
    const std::vector<CdDrive> list = listDrives();
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const CdDrive& d) { return d.address == drive.address; });
    const std::size_t index = static_cast<std::size_t>(found - list.begin());
    if (!drives_.at(index).handleAvailable)
        return nullptr;
    ++opens_;
    return std::make_unique<FakeDisc>(*this, index);
}

std::optional<bool> FakeCdAccess::answerRead(std::size_t drive, std::int32_t block, std::int32_t count) const
{
    if (readHook_)
        readHook_(block);
    std::lock_guard lock(mutex_);
    const FakeDriveSetup& setup = drives_[drive];
    if (setup.discChangeAt && block >= *setup.discChangeAt && changes_[drive] == 0)
        changes_[drive] = 1;
    const bool changed = changes_[drive] != 0;
    bool ok = !(changed && setup.changedToNothing);
    auto& failures = failuresLeft_[drive];
    if (auto it = failures.find(block); it != failures.end() && it->second > 0) {
        --it->second;
        ok = false;
    }
    for (const auto& [first, end] : setup.unreadable)
        ok = ok && (block + count <= first || block >= end);
    reads_.push_back({block, count, ok});
    return ok ? std::optional<bool>(changed) : std::nullopt;
}

bool FakeCdAccess::takeMediaChange(std::size_t drive) const
{
    std::lock_guard lock(mutex_);
    if (changes_[drive] != 1)
        return false;
    changes_[drive] = 2;
    return true;
}

std::vector<FakeCdAccess::ReadCall> FakeCdAccess::reads() const
{
    std::lock_guard lock(mutex_);
    return reads_;
}

std::uint8_t fakeFrameByte(std::int64_t block, std::size_t offset, bool changedDisc)
{
    const auto byte =
        static_cast<std::uint8_t>((block * 31 + static_cast<std::int64_t>(offset) * 7 + (offset >> 8)) & 0xFF);
    return changedDisc ? static_cast<std::uint8_t>(byte ^ 0x5A) : byte;
}

}  // namespace quillon::cd
