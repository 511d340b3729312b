#pragma once

#include <filesystem>
#include <string>

namespace quillon::test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at scope end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Whole-file helpers that fail the calling test on error.
std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);
// A 440 Hz tone as a WAV file's bytes: 16-bit stereo PCM at 44100 Hz.
std::string toneWav(double seconds);
// Writes an executable shell script (mode 0755).
void writeScript(const std::filesystem::path& file, const std::string& body);

}  // namespace quillon::test
