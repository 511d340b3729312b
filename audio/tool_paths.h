#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::audio {

// Where the transcode and normalize jobs find their tools and their temp folder.
struct ToolPaths {
    std::filesystem::path resDir;   // a bundled tool here wins over the search path
    std::filesystem::path tempDir;  // this copy's temporary folder, emptied of earlier results by the transcode job
    std::string searchPath;         // colon-separated folders, as in PATH

    // resDir, tempDir (resDir's "tmp" folder when empty), and this process's PATH
    // (or the usual system folders when PATH is unset). Read the environment on
    // the UI thread.
    [[nodiscard]] static ToolPaths forResDir(const std::filesystem::path& resDir,
                                             const std::filesystem::path& tempDir = {});
};

// resDir/name when that is an executable file, else the first executable file
// name in a searchPath folder; nullopt when there is none. Empty entries of the
// search path are skipped, so a tool is never picked up from the current folder.
[[nodiscard]] std::optional<std::filesystem::path> locateTool(const ToolPaths& paths, std::string_view name);

// A file path as a tool argument: relative paths get a leading "./", so a name
// such as "-y.mp3" cannot be read as an option (nor "pipe:1" as a protocol).
[[nodiscard]] std::string pathArgument(const std::string& path);

}  // namespace quillon::audio
