#include "app/exe_dir.h"

#include <system_error>

namespace quillon::app {

std::filesystem::path exeDir()
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::filesystem::current_path(error);
    return executable.parent_path();
}

}  // namespace quillon::app
