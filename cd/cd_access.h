#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon::cd {

// One raw audio frame (block): 1/75 s of 16-bit stereo PCM at 44100 Hz.
inline constexpr std::size_t kFrameBytes = 2352;

enum class CdDriveKind { device, image };

struct CdDrive {
    std::string address;  // device node or image path; what open() needs
    std::string product;  // shown to the user, at most 16 bytes
    CdDriveKind kind = CdDriveKind::device;
};

struct CdTocEntry {
    std::int32_t startBlock = 0;
    bool data = false;
};

// Block-addressed table of contents: one entry per track in disc order, then the lead-out.
struct CdToc {
    int firstTrack = 0;
    int lastTrack = 0;
    std::vector<CdTocEntry> entries;

    [[nodiscard]] int trackCount() const { return entries.empty() ? 0 : static_cast<int>(entries.size()) - 1; }
    // Frames from the start of track index i up to the next entry (the lead-out for the last track).
    [[nodiscard]] std::int64_t trackFrames(int index) const
    {
        return std::int64_t{entries[index + 1].startBlock} - entries[index].startBlock;
    }
};

// An open drive. Destroying it releases the handle.
class CdDisc {
public:
    virtual ~CdDisc() = default;
    // Nothing when no disc is present or its table cannot be read.
    [[nodiscard]] virtual std::optional<CdToc> readToc() = 0;
    // Reads count raw frames starting at block into out (count * kFrameBytes bytes).
    // False when any of them cannot be read; out then holds nothing usable.
    [[nodiscard]] virtual bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) = 0;
};

// The whole of what the program needs from a CD facility. listDrives and open may be
// called from several threads at once; each CdDisc is used by one thread.
class CdAccess {
public:
    virtual ~CdAccess() = default;
    // A fresh enumeration each call.
    [[nodiscard]] virtual std::vector<CdDrive> listDrives() const = 0;
    // Null when no handle can be had for the drive.
    [[nodiscard]] virtual std::unique_ptr<CdDisc> open(const CdDrive& drive) const = 0;
};

}  // namespace quillon::cd
