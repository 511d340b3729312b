#include "app/exe_dir.h"

#include <system_error>

namespace quillon::app {

std::optional<std::filesystem::path> exeDir(const std::filesystem::path& selfLink)
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink(selfLink, error);
    if (error || !executable.is_absolute())
        return std::nullopt;
    return executable.parent_path();
}

}  // namespace quillon::app
