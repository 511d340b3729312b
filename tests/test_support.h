#pragma once

#include <filesystem>
#include <string>

#include "tests/temp_dir.h"

namespace quillon::test {

// Whole-file helpers that fail the calling test on error.
std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);
// Writes an executable shell script (mode 0755).
void writeScript(const std::filesystem::path& file, const std::string& body);

}  // namespace quillon::test
