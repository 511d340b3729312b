#include "delivery/staged_clip.h"

#include <stdlib.h>

#include <system_error>

namespace quillon::delivery {

std::optional<StagedClip> StagedClip::make(const std::filesystem::path& clip, const std::filesystem::path& tempDir,
                                           const std::string& fileName)
{
    std::string folder = (tempDir / "send-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        return std::nullopt;
    StagedClip staged(folder, std::filesystem::path(folder) / fileName);
    std::error_code error;
    std::filesystem::create_hard_link(clip, staged.file_, error);
    if (error) {
        error.clear();
        std::filesystem::copy_file(clip, staged.file_, error);
    }
    return error ? std::nullopt : std::optional<StagedClip>(std::move(staged));
}

StagedClip& StagedClip::operator=(StagedClip&& other) noexcept
{
    if (this != &other) {
        StagedClip gone(std::move(*this));
        folder_ = std::exchange(other.folder_, {});
        file_ = std::move(other.file_);
    }
    return *this;
}

StagedClip::~StagedClip()
{
    std::error_code ignored;
    if (!folder_.empty())
        std::filesystem::remove_all(folder_, ignored);
}

}  // namespace quillon::delivery
