#include "tests/fake_cd_access.h"

namespace quillon::cd {

class FakeDisc final : public CdDisc {
public:
    FakeDisc(const FakeCdAccess& owner, std::size_t drive) : owner_(owner), drive_(drive) {}
    ~FakeDisc() override { ++owner_.closes_; }
    FakeDisc(const FakeDisc&) = delete;
    FakeDisc& operator=(const FakeDisc&) = delete;

    std::optional<CdToc> readToc() override { return owner_.drives_[drive_].toc; }

    bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) override
    {
        if (!owner_.answerRead(drive_, block, count))
            return false;
        for (std::int32_t frame = 0; frame < count; ++frame) {
            for (std::size_t i = 0; i < kFrameBytes; ++i)
                out[static_cast<std::size_t>(frame) * kFrameBytes + i] = fakeFrameByte(block + frame, i);
        }
        return true;
    }

private:
    const FakeCdAccess& owner_;
    std::size_t drive_;
};

FakeCdAccess::FakeCdAccess(std::vector<FakeDriveSetup> drives) : drives_(std::move(drives))
{
    for (const FakeDriveSetup& drive : drives_)
        failuresLeft_.push_back(drive.failuresAtBlock);
}

std::vector<CdDrive> FakeCdAccess::listDrives() const
{
    std::vector<CdDrive> list;
    for (std::size_t i = 0; i < drives_.size(); ++i)
        list.push_back({std::to_string(i), drives_[i].product, CdDriveKind::device});
    return list;
}

std::unique_ptr<CdDisc> FakeCdAccess::open(const CdDrive& drive) const
{
    const std::size_t index = std::stoul(drive.address);
    if (!drives_.at(index).handleAvailable)
        return nullptr;
    ++opens_;
    return std::make_unique<FakeDisc>(*this, index);
}

bool FakeCdAccess::answerRead(std::size_t drive, std::int32_t block, std::int32_t count) const
{
    if (readHook_)
        readHook_(block);
    std::lock_guard lock(mutex_);
    bool ok = true;
    auto& failures = failuresLeft_[drive];
    if (auto it = failures.find(block); it != failures.end() && it->second > 0) {
        --it->second;
        ok = false;
    }
    reads_.push_back({block, count, ok});
    return ok;
}

std::vector<FakeCdAccess::ReadCall> FakeCdAccess::reads() const
{
    std::lock_guard lock(mutex_);
    return reads_;
}

std::uint8_t fakeFrameByte(std::int64_t block, std::size_t offset)
{
    return static_cast<std::uint8_t>((block * 31 + static_cast<std::int64_t>(offset) * 7 + (offset >> 8)) & 0xFF);
}

}  // namespace quillon::cd
