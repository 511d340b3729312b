#include "delivery/servable_clip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "delivery/own_clip.h"

namespace quillon::delivery {

namespace fs = std::filesystem;

namespace {

// Clips are a few megabytes; this keeps a wrong file from filling the memory.
constexpr off_t kMaxClipBytes = off_t{64} << 20;

}  // namespace

std::optional<std::string> readServableClip(const fs::path& clip, const fs::path& tempDir)
{
    const base::UniqueFd fd = openOwnClip(clip, tempDir);
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || info.st_size > kMaxClipBytes)
        return std::nullopt;

    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::pread(fd.get(), bytes.data() + filled, bytes.size() - filled, static_cast<off_t>(filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;  // shortened while being read
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

}  // namespace quillon::delivery
