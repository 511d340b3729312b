#include "settings/registry_file.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace quillon::settings {
namespace {

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir == '/')
        return entry->pw_dir;
    return {};
}

std::filesystem::path configFolder()
{
    // Relative values are to be ignored: they would depend on the working folder.
    if (const char* configured = std::getenv("XDG_CONFIG_HOME"); configured && *configured == '/')
        return configured;
    const std::filesystem::path home = homeFolder();
    return home.empty() ? home : home / ".config";
}

}  // namespace

std::filesystem::path defaultRegistryFile()
{
    const std::filesystem::path config = configFolder();
    return config.empty() ? config : config / "quillon" / "registry.sqlite3";
}

}  // namespace quillon::settings
