#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quillon::settings {

// Receives each finished trace line, newline included.
using TraceSink = std::function<void(std::string_view line)>;

// Writes each line to standard output in one piece: other threads printing at the
// same time (through stdio or straight to the descriptor) never split it.
[[nodiscard]] TraceSink stdoutTrace();

// printf-style formatting into a string.
[[nodiscard]] std::string formatTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quillon::settings
