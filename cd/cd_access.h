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

enum class CdDriveKind { Device, Image };

struct CdDrive {
    std::string address;  // device node or image path; what open() needs
    std::string product;  // shown to the user, at most 16 bytes
    CdDriveKind kind = CdDriveKind::Device;
};

struct CdTocEntry {
    std::int32_t startBlock = 0;
    bool data = false;
    [[nodiscard]] bool operator==(const CdTocEntry&) const = default;
};

// Blocks between the end of one session's last track and the start of the next session's
// first track: the session's lead-out (6750), the next lead-in (4500) and pregap (150).
inline constexpr std::int32_t kSessionGapBlocks = 11400;

// Block-addressed table of contents: one entry per track in disc order, then the lead-out.
struct CdToc {
    int firstTrack = 0;
    int lastTrack = 0;
    std::vector<CdTocEntry> entries;
    // First block of the last session; 0 on a single-session disc.
    std::int32_t lastSessionStart = 0;

    [[nodiscard]] int trackCount() const { return entries.empty() ? 0 : static_cast<int>(entries.size()) - 1; }
    // First block after track index i: the next entry's start (the lead-out for the last
    // track), except for an audio track that ends the session before a data session
    // (an enhanced CD), which ends where that session's lead-out begins.
    [[nodiscard]] std::int64_t trackEnd(int index) const
    {
        const CdTocEntry& track = entries[static_cast<std::size_t>(index)];
        const CdTocEntry& next = entries[static_cast<std::size_t>(index) + 1];
        const std::int64_t sessionEnd = std::int64_t{lastSessionStart} - kSessionGapBlocks;
        const bool beforeDataSession =
            index + 1 < trackCount() && next.data && lastSessionStart > 0 && next.startBlock >= lastSessionStart;
        if (!track.data && beforeDataSession && sessionEnd > track.startBlock && sessionEnd < next.startBlock)
            return sessionEnd;
        return next.startBlock;
    }
    [[nodiscard]] std::int64_t trackFrames(int index) const
    {
        return trackEnd(index) - entries[static_cast<std::size_t>(index)].startBlock;
    }
    // A disc whose only track is data: no music on it. A one-track audio disc is a disc.
    [[nodiscard]] bool onlyDataTrack() const { return trackCount() == 1 && entries.front().data; }
    [[nodiscard]] bool operator==(const CdToc&) const = default;
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
    // Whether the drive says the disc was changed or taken out since the last ask (the
    // first ask clears what happened before the handle). False when it cannot tell.
    [[nodiscard]] virtual bool mediaChanged() = 0;
};

// The whole of what the program needs from a CD facility. listDrives and open may be
// called from several threads at once; each CdDisc is used by one thread.
class CdAccess {
public:
    virtual ~CdAccess() = default;
    // A fresh enumeration each call.
    [[nodiscard]] virtual std::vector<CdDrive> listDrives() const = 0;
    // Null when no handle can be had for the drive (for a device: it cannot be opened).
    [[nodiscard]] virtual std::unique_ptr<CdDisc> open(const CdDrive& drive) const = 0;
};

}  // namespace quillon::cd
