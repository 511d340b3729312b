#pragma once

#include <filesystem>
#include <string>

namespace quillon::delivery {

// A name a file can take as one: no folders in it ('/' becomes '-'), never empty,
// "." or ".." (fallback instead).
[[nodiscard]] std::string fileNameFrom(std::string suggested, const std::string& fallback);

// A phone keeps the name of the file it is sent, so the clip goes out under the
// name the page gives it ("My Song alarm.mp3"): a link to it (a copy where no link
// can be made) in a folder of its own in tempDir, which the next call empties.
// The clip itself when the name is "" or no such file can be made.
[[nodiscard]] std::filesystem::path namedClip(const std::filesystem::path& clip, const std::filesystem::path& tempDir,
                                              const std::string& name);

}  // namespace quillon::delivery
