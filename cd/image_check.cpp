#include "cd/image_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <system_error>

#include "cd/toc_image.h"
#include "jobs/private_folder.h"

namespace quillon::cd {

namespace {

constexpr off_t kTableTextMax = 1 << 20;

// Opens a file for reading once it is known to be a regular file: first looked
// at through a descriptor that opens nothing (a pipe cannot make it wait, a
// device cannot act on it), then that very file opened.
base::UniqueFd openRegular(int folderFd, const std::string& name)
{
    const base::UniqueFd look(::openat(folderFd, name.c_str(), O_PATH | O_CLOEXEC));
    struct stat info {};
    if (!look.valid() || ::fstat(look.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return base::UniqueFd(::open(jobs::descriptorPath(look.get()).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
}

// The text of a table, read through its opening; nothing when it is too large for one.
std::optional<std::string> tableText(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size > kTableTextMax)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    const ssize_t got = ::pread(fd, text.data(), text.size(), 0);
    if (got < 0)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    return text;
}

}  // namespace

std::optional<std::string> cueDataFile(std::string_view cuePath)
{
    if (cuePath.ends_with("cue"))
        return std::string(cuePath.substr(0, cuePath.size() - 3)) + "bin";
    if (cuePath.ends_with("CUE"))
        return std::string(cuePath.substr(0, cuePath.size() - 3)) + "BIN";
    return std::nullopt;
}

std::optional<std::string> pinTocDataFiles(std::string_view toc, int folderFd, std::vector<base::UniqueFd>& held)
{
    std::map<std::string, std::string> pinned;  // each name and the path of its opening
    std::string out;
    std::size_t copied = 0;
    for (const ImageText::DataFile& file : scanImageText(toc).dataFiles) {
        const auto [at, fresh] = pinned.try_emplace(dataFileName(toc, file));
        if (fresh) {
            base::UniqueFd opened = file.quoted && pinned.size() <= kMaxImageDataFiles && !at->first.empty()
                                        ? openRegular(folderFd, at->first)
                                        : base::UniqueFd();
            if (!opened.valid())
                return std::nullopt;
            at->second = jobs::descriptorPath(opened.get());
            held.push_back(std::move(opened));
        }
        out.append(toc.substr(copied, file.offset - copied)).append(at->second);
        copied = file.offset + file.length;
    }
    return out.append(toc.substr(copied));
}

CheckedImage CheckedImage::check(const std::string& path, ImageKind kind)
{
    CheckedImage image;
    struct stat info {};
    const std::optional<std::string> bin = kind == ImageKind::Cue ? cueDataFile(path) : std::nullopt;
    if (::stat(path.c_str(), &info) != 0 || (kind == ImageKind::Cue && !bin))
        return image;
    image.outcome_ = Outcome::Unusable;
    base::UniqueFd opened = openRegular(AT_FDCWD, path);
    std::shared_ptr<jobs::PrivateFolder> folder = opened.valid() ? jobs::PrivateFolder::make() : nullptr;
    if (!folder)
        return image;
    std::optional<std::string> source;
    if (kind == ImageKind::Nrg) {
        source = folder->link("image.nrg", jobs::descriptorPath(opened.get()));
        image.files_.push_back(std::move(opened));
    } else {
        const std::optional<std::string> text = tableText(opened.get());
        if (!text || scanImageText(*text).tracks > kMaxImageTracks)
            return image;
        if (kind == ImageKind::Cue) {
            // libcdio reads the sheet, then the .bin named after the sheet it was given.
            base::UniqueFd data = openRegular(AT_FDCWD, *bin);
            if (data.valid() && folder->link("image.bin", jobs::descriptorPath(data.get())))
                source = folder->write("image.cue", *text);
            if (source)
                image.files_.push_back(std::move(data));
        } else {
            // Relative names count from the table's own folder.
            std::error_code error;
            const auto parent = std::filesystem::absolute(path, error).parent_path();
            const base::UniqueFd folderFd(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            const std::optional<std::string> pinned =
                folderFd.valid() ? pinTocDataFiles(*text, folderFd.get(), image.files_) : std::nullopt;
            if (pinned)
                source = folder->write("image.toc", *pinned);
        }
    }
    if (!source)
        return image;
    image.outcome_ = Outcome::Ready;
    image.source_ = std::move(*source);
    image.folder_ = std::move(folder);
    return image;
}

}  // namespace quillon::cd
