// A disc image's table, as a .cue or a .toc, checked beside a regular data file, a pipe and a folder: the
// check never waits, and what libcdio gets has at most 99 tracks and data files named by their openings.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cd/image_check.h"
#include "cd/toc_image.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/temp_dir.h"

using namespace quillon::cd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const quillon::test::TempDir folder;  // one for the run
    static const bool made = [] {
        std::ofstream(folder / "disc.bin") << std::string(2352, 'x');
        std::filesystem::create_directory(folder / "folder");
        return ::mkfifo((folder / "pipe.bin").c_str(), 0600) == 0;
    }();
    FUZZ_CHECK(made);
    const bool toc = size > 0 && data[0] % 2 == 1;
    const std::string text(reinterpret_cast<const char*>(data), size), image = folder / (toc ? "d.toc" : "disc.cue");
    std::ofstream(image, std::ios::trunc) << text;
    const CheckedImage checked = CheckedImage::check(image, toc ? ImageKind::Toc : ImageKind::Cue);
    if (checked.outcome() != CheckedImage::Outcome::Ready)
        return 0;
    std::stringstream handed;
    handed << std::ifstream(checked.source()).rdbuf();
    FUZZ_CHECK(scanImageText(handed.str()).tracks <= kMaxImageTracks && (toc || handed.str() == text));
    for (const ImageText::DataFile& file : scanImageText(handed.str()).dataFiles)
        FUZZ_CHECK(!toc || dataFileName(handed.str(), file).starts_with("/proc/self/fd/"));
    return 0;
}
