#include "delivery/own_clip.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <system_error>

namespace quillon::delivery {

namespace fs = std::filesystem;

namespace {

bool inside(const fs::path& folder, const fs::path& root)
{
    return std::mismatch(root.begin(), root.end(), folder.begin(), folder.end()).first == root.end();
}

}  // namespace

base::UniqueFd openOwnClip(const fs::path& path, const fs::path& tempDir)
{
    const fs::path normal = path.lexically_normal();
    const fs::path name = normal.filename();
    if (!path.is_absolute() || name.empty() || name == "." || name == ".." || tempDir.empty())
        return base::UniqueFd();
    // Both sides resolved, so neither "..", nor a linked folder on the way leads out.
    std::error_code error;
    const fs::path folder = fs::canonical(normal.parent_path(), error);
    const fs::path root = error ? fs::path() : fs::canonical(tempDir, error);
    if (error || !inside(folder, root))
        return base::UniqueFd();

    const base::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    // Non-blocking, so that opening a pipe cannot hang; links are refused.
    base::UniqueFd clip(dir.valid() ? ::openat(dir.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)
                                    : -1);
    struct stat info {};
    if (!clip.valid() || ::fstat(clip.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return base::UniqueFd();
    return clip;
}

}  // namespace quillon::delivery
