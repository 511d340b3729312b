#include "audio/tool_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace quillon::audio {

namespace {

constexpr const char* kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

bool isExecutableFile(const std::filesystem::path& file)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec) && ::access(file.c_str(), X_OK) == 0;
}

}  // namespace

ToolPaths ToolPaths::forResDir(const std::filesystem::path& resDir, const std::filesystem::path& tempDir)
{
    const char* path = std::getenv("PATH");
    return ToolPaths{resDir, tempDir.empty() ? resDir / "tmp" : tempDir, path ? path : kDefaultSearchPath};
}

std::optional<std::filesystem::path> locateTool(const ToolPaths& paths, std::string_view name)
{
    if (!paths.resDir.empty() && isExecutableFile(paths.resDir / name))
        return paths.resDir / name;
    std::string_view rest = paths.searchPath;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        if (folder.empty())
            continue;
        std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::string pathArgument(const std::string& path)
{
    if (path.starts_with('/'))
        return path;
    return "./" + path;
}

}  // namespace quillon::audio
