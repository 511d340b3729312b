#pragma once

#include <filesystem>

namespace quillon::app {

// The folder of the running executable; the pages and tools live in its res/.
std::filesystem::path exeDir();

}  // namespace quillon::app
