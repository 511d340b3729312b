// A disc image's table, as a .cue or a .toc, checked beside a regular data file, a
// pipe and a folder: the check never waits, and what it hands on is safe to read.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cd/image_check.h"
#include "cd/toc_image.h"
#include "tests/fuzz/fuzz_check.h"

using namespace quillon::cd;

namespace {

// One folder for the whole run, removed at exit: disc.bin and a.bin are regular
// files, pipe.bin is a named pipe, folder a folder.
struct Folder {
    std::filesystem::path path;
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-fuzz-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
        std::ofstream(path / "disc.bin") << std::string(2352, 'x');
        std::ofstream(path / "a.bin") << "a";
        ::mkfifo((path / "pipe.bin").c_str(), 0600);
        std::filesystem::create_directory(path / "folder");
    }
    ~Folder() { std::filesystem::remove_all(path); }
};

const Folder& folder()
{
    static const Folder instance;
    return instance;
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool toc = data[0] % 2 == 1;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string image = (folder().path / (toc ? "disc.toc" : "disc.cue")).string();
    std::ofstream(image, std::ios::binary | std::ios::trunc) << text;

    const CheckedImage checked = CheckedImage::check(image, toc ? ImageKind::Toc : ImageKind::Cue);
    if (checked.outcome() != CheckedImage::Outcome::Ready)
        return 0;
    // What libcdio reads is a table of at most 99 tracks, the very text checked but for its data files, each
    // of them named by its opening.
    const std::string handed = contents(checked.source());
    FUZZ_CHECK(scanImageText(handed).tracks <= kMaxImageTracks);
    FUZZ_CHECK(toc || handed == text);
    for (const ImageText::DataFile& file : scanImageText(handed).dataFiles) {
        if (toc) {
            FUZZ_CHECK(dataFileName(handed, file).starts_with("/proc/self/fd/"));
        }
    }
    return 0;
}
