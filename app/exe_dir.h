#pragma once

#include <filesystem>
#include <optional>

namespace quillon::app {

// The folder of the running executable, read from the link the kernel keeps for
// it; the pages and tools live in its res/. Nothing when the link cannot be read:
// no other folder can stand in for it, since pages, tools and the page-process
// extension would then be loaded from wherever the app was started.
[[nodiscard]] std::optional<std::filesystem::path> exeDir(const std::filesystem::path& selfLink = "/proc/self/exe");

}  // namespace quillon::app
