#include "jobs/private_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "jobs/temp_cleanup.h"

namespace quillon::jobs {

std::unique_ptr<PrivateFolder> PrivateFolder::make()
{
    std::error_code error;
    std::string path = (std::filesystem::temp_directory_path(error) / "quillon-XXXXXX").string();
    if (error || !::mkdtemp(path.data()))
        return nullptr;
    base::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        ::rmdir(path.c_str());
        return nullptr;
    }
    return std::unique_ptr<PrivateFolder>(new PrivateFolder(std::move(path), std::move(fd)));
}

PrivateFolder::~PrivateFolder()
{
    removeFolderContents(fd_.get());
    ::rmdir(path_.c_str());
}

std::optional<std::string> PrivateFolder::write(const std::string& name, std::string_view text) const
{
    const base::UniqueFd file(
        ::openat(fd_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    const bool written =
        file.valid() && ::write(file.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return written ? std::optional(path_ + "/" + name) : std::nullopt;
}

std::optional<std::string> PrivateFolder::link(const std::string& name, const std::string& target) const
{
    return ::symlinkat(target.c_str(), fd_.get(), name.c_str()) == 0 ? std::optional(path_ + "/" + name) : std::nullopt;
}

}  // namespace quillon::jobs
