#pragma once

#include <filesystem>

namespace quillon::settings {

// $XDG_CONFIG_HOME/quillon/registry.sqlite3, with ~/.config standing in for an unset,
// empty or relative XDG_CONFIG_HOME. Empty when not even a home folder is known.
[[nodiscard]] std::filesystem::path defaultRegistryFile();

}  // namespace quillon::settings
