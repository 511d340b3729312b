#include "delivery/servable_clip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "base/unique_fd.h"

namespace quillon::delivery {

namespace fs = std::filesystem;

namespace {

// Clips are a few megabytes; this keeps a wrong file from filling the memory.
constexpr off_t kMaxClipBytes = off_t{64} << 20;

bool inside(const fs::path& folder, const fs::path& root)
{
    const auto [rootEnd, folderAt] = std::mismatch(root.begin(), root.end(), folder.begin(), folder.end());
    return rootEnd == root.end();
}

}  // namespace

std::optional<std::string> readServableClip(const fs::path& clip, const fs::path& tempDir)
{
    const fs::path normal = clip.lexically_normal();
    const fs::path name = normal.filename();
    if (!clip.is_absolute() || name.empty() || name == "." || name == ".." || tempDir.empty())
        return std::nullopt;
    std::error_code error;
    const fs::path folder = fs::canonical(normal.parent_path(), error);
    const fs::path root = error ? fs::path() : fs::canonical(tempDir, error);
    if (error || !inside(folder, root))
        return std::nullopt;

    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    // Non-blocking, so that opening a pipe cannot hang; links are refused.
    const UniqueFd fd(dir.valid() ? ::openat(dir.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)
                                  : -1);
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxClipBytes)
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
