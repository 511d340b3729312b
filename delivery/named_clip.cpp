#include "delivery/named_clip.h"

#include <system_error>

namespace quillon::delivery {

std::string fileNameFrom(std::string suggested, const std::string& fallback)
{
    for (char& c : suggested) {
        if (c == '/')
            c = '-';
    }
    return suggested.empty() || suggested == "." || suggested == ".." ? fallback : suggested;
}

std::filesystem::path namedClip(const std::filesystem::path& clip, const std::filesystem::path& tempDir,
                                const std::string& name)
{
    if (name.empty())
        return clip;
    const std::filesystem::path folder = tempDir / "named";
    std::filesystem::path named = folder / fileNameFrom(name, clip.filename().string());
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (!std::filesystem::create_directory(folder, error))
        return clip;
    std::filesystem::create_hard_link(clip, named, error);
    if (error && !std::filesystem::copy_file(clip, named, error))
        return clip;
    return named;
}

}  // namespace quillon::delivery
