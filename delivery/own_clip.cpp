#include "delivery/own_clip.h"

namespace quillon::delivery {

bool isOwnClip(const std::string& path, const std::filesystem::path& tempDir)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (path.empty() || !fs::path(path).is_absolute() || !fs::is_regular_file(fs::symlink_status(path, error)))
        return false;
    // Both sides resolved, so neither "..", nor a linked folder on the way leads out.
    const fs::path clip = fs::canonical(path, error);
    if (error)
        return false;
    const fs::path folder = fs::canonical(tempDir, error);
    if (error)
        return false;
    const fs::path inside = clip.lexically_relative(folder);
    return !inside.empty() && *inside.begin() != "..";
}

}  // namespace quillon::delivery
