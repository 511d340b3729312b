#include "jobs/temp_cleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "base/unique_fd.h"

namespace quillon::jobs {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool endsWithIgnoringCase(const std::string& name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    auto lower = [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    };
    return std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

std::vector<std::string> folderEntries(int dirFd)
{
    std::vector<std::string> names;
    // The listing reads through a descriptor of its own: closedir closes it.
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, DirCloser> dir(listFd >= 0 ? ::fdopendir(listFd) : nullptr);
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    return names;
}

void removeEntry(int dirFd, const std::string& name)
{
    struct stat info {};
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        const base::UniqueFd sub(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.valid())
            removeFolderContents(sub.get());
    }
    ::unlinkat(dirFd, name.c_str(), S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0);
}

void removeFolderContents(int dirFd)
{
    for (const std::string& name : folderEntries(dirFd))
        removeEntry(dirFd, name);
}

void removeFilesByExtension(const std::filesystem::path& dir, std::string_view extension,
                            const std::vector<std::filesystem::path>& spared)
{
    const base::UniqueFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid())
        return;
    std::vector<struct stat> kept;
    for (const auto& keep : spared) {
        struct stat info {};
        if (::stat(keep.c_str(), &info) == 0)
            kept.push_back(info);
    }
    for (const std::string& name : folderEntries(folder.get())) {
        struct stat own {};
        struct stat target {};
        if (!endsWithIgnoringCase(name, extension) ||
            ::fstatat(folder.get(), name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(own.st_mode))
            continue;
        // A link counts as what it names, so a spared file is spared under any name.
        const bool named = ::fstatat(folder.get(), name.c_str(), &target, 0) == 0;
        if (std::none_of(kept.begin(), kept.end(), [&](const struct stat& k) { return named && sameFile(k, target); }))
            ::unlinkat(folder.get(), name.c_str(), 0);
    }
}

}  // namespace quillon::jobs
