#include "audio/encoder_end.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <span>
#include <string_view>

#include "base/mpeg_frame.h"
#include "base/unique_fd.h"
#include "jobs/output_file.h"

namespace quillon::audio {

namespace {

bool isMpegOutput(const std::string& output)
{
    std::string extension = std::filesystem::path(output).extension().string();
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == ".mp3";
}

// Whether an MPEG file holds a frame of sound. A part that starts past the song's
// end gives a file with the encoder's tag and its summary frame (Xing, Info or
// VBRI in place of sound) and nothing else.
bool holdsMpegSound(const std::string& output)
{
    const base::UniqueFd file(::open(output.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const auto readAt = [&file](std::size_t offset, std::span<std::uint8_t> into) {
        return ::pread(file.get(), into.data(), into.size(), static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(into.size());
    };
    std::array<std::uint8_t, 10> tag{};
    std::size_t at = file.valid() && readAt(0, tag) ? base::id3v2TagLength(tag) : 0;
    for (int frame = 0; frame < 2; ++frame) {
        // The summary's name sits after the side information, within these bytes.
        std::array<std::uint8_t, 40> head{};
        const auto length =
            readAt(at, std::span(head).first<4>()) ? base::mpegFrameLength(std::span(head).first<4>()) : std::nullopt;
        if (!length)
            return false;
        const ssize_t got = ::pread(file.get(), head.data(), std::min(head.size(), *length), static_cast<off_t>(at));
        const std::string_view bytes(reinterpret_cast<const char*>(head.data()), got > 0 ? std::size_t(got) : 0);
        const bool summary = std::ranges::any_of(std::array{"Xing", "Info", "VBRI"}, [&bytes](const char* name) {
            return bytes.find(name) != std::string_view::npos;
        });
        if (frame > 0 || !summary)
            return true;
        at += *length;
    }
    return false;
}

// Exit statuses of an encoder ended by a signal: 128 + the signal, and 255, which
// the encoder gives itself when a signal interrupts it.
bool endedBySignal(std::uint32_t exitStatus) { return exitStatus > 128 && exitStatus <= 255; }

TranscodeReason judgeEncoderEnd(const EncoderEnd& end)
{
    const bool succeeded = end.exitStatus == 0 && end.outputSize > 0 && end.holdsSound;
    if (succeeded)
        return TranscodeReason::None;
    if (end.spaceLeft < kRoomForAClip)
        return TranscodeReason::DiskFull;
    if (end.exitStatus == 0)
        return TranscodeReason::NoOutput;
    return endedBySignal(end.exitStatus) ? TranscodeReason::Killed : TranscodeReason::Damaged;
}

}  // namespace

EncoderOutput openEncoderOutput(const std::string& input, const std::string& output)
{
    const auto refused = [](TranscodeReason reason) {
        EncoderOutput refusal;
        refusal.refused = reason;
        return refusal;
    };
    struct stat in {};
    if (::stat(input.c_str(), &in) != 0)
        return refused(errno == ENOENT || errno == ENOTDIR ? TranscodeReason::Missing : TranscodeReason::Unreadable);
    // O_NONBLOCK: opening a named pipe must not wait for a writer here.
    const base::UniqueFd probe(::open(input.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!probe.valid())
        return refused(TranscodeReason::Unreadable);
    jobs::OutputFile opened = jobs::openOutputFile(output, 0666);
    if (!opened.fd.valid())
        return refused(errno == ENOENT || errno == ENOTDIR ? TranscodeReason::NoFolder : TranscodeReason::Unwritable);
    // The encoder truncates its output before it reads: the same file under
    // another name (a hard link, "dir/../in.mp3") would be destroyed.
    struct stat out {};
    if (::fstat(opened.fd.get(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino)
        return refused(TranscodeReason::SameFile);
    return {TranscodeReason::None, std::move(opened.fd), opened.created};
}

EncoderEnd observeEncoderEnd(std::uint32_t exitStatus, const std::string& output)
{
    EncoderEnd end{exitStatus, 0, std::numeric_limits<std::uintmax_t>::max()};
    struct stat out {};
    if (::stat(output.c_str(), &out) == 0 && S_ISREG(out.st_mode))
        end.outputSize = static_cast<std::uintmax_t>(out.st_size);
    if (end.outputSize > 0 && isMpegOutput(output))
        end.holdsSound = holdsMpegSound(output);
    std::filesystem::path folder = std::filesystem::path(output).parent_path();
    if (folder.empty())
        folder = ".";
    struct statvfs room {};
    if (::statvfs(folder.c_str(), &room) == 0) {
        // The blocks kept for the superuser are ours too when we are it.
        const auto blocks = ::geteuid() == 0 ? room.f_bfree : room.f_bavail;
        end.spaceLeft = static_cast<std::uintmax_t>(blocks) * room.f_frsize;
    }
    return end;
}

TranscodeReason settleEncoderEnd(const EncoderEnd& end, const std::string& output)
{
    const TranscodeReason reason = judgeEncoderEnd(end);
    if (reason == TranscodeReason::DiskFull || reason == TranscodeReason::NoOutput ||
        reason == TranscodeReason::Killed) {
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
    }
    return reason;
}

}  // namespace quillon::audio
