#include "jobs/temp_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace quillon::jobs {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCopyPrefix = "copy-";
constexpr int kCopyAttempts = 3;

UniqueFd openFolder(const fs::path& folder)
{
    // Never through a link: the folder must be the one this user made or owns.
    return UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
}

// The open folder with this copy's lock on it; invalid when another copy holds it.
// The lock goes with the descriptor, which no tool inherits (close-on-exec).
UniqueFd lockFolder(const fs::path& folder)
{
    UniqueFd fd = openFolder(folder);
    if (fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        fd.reset();
    return fd;
}

// Whether path still names the folder open as fd (a sweeping copy may have
// removed it between its making and its locking).
bool stillNamed(const fs::path& path, int fd)
{
    struct stat byPath {};
    struct stat byFd {};
    return ::lstat(path.c_str(), &byPath) == 0 && ::fstat(fd, &byFd) == 0 && byPath.st_dev == byFd.st_dev &&
           byPath.st_ino == byFd.st_ino;
}

bool writableFolder(const fs::path& folder)
{
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// <cacheHome>/quillon/tmp, made if needed and kept private to this user; empty
// when it cannot be (not a folder of this user's, or not to be made).
fs::path privateFolder(const fs::path& cacheHome)
{
    if (cacheHome.empty())
        return {};
    fs::path folder = cacheHome / "quillon" / "tmp";
    std::error_code ignored;
    fs::create_directories(cacheHome, ignored);
    ::mkdir((cacheHome / "quillon").c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    const UniqueFd fd = openFolder(folder);
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || info.st_uid != ::geteuid())
        return {};
    if ((info.st_mode & 07777) != 0700 && ::fchmod(fd.get(), 0700) != 0)
        return {};
    return folder;
}

// Removes the per-copy folders in base whose copies have ended.
void sweepEndedCopies(const fs::path& base)
{
    std::error_code ec;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->path().filename().string().starts_with(kCopyPrefix))
            continue;
        const UniqueFd lock = lockFolder(it->path());
        std::error_code ignored;
        if (lock.valid() && stillNamed(it->path(), lock.get()))
            fs::remove_all(it->path(), ignored);
    }
}

}  // namespace

TempFolder::TempFolder(const fs::path& appTmp, const fs::path& cacheHome)
{
    fs::path base = writableFolder(appTmp) ? appTmp : privateFolder(cacheHome);
    if (!base.empty()) {
        lock_ = lockFolder(base);
        if (lock_.valid()) {
            path_ = base;
            sweepEndedCopies(base);
            return;
        }
    }
    // Another copy works in base (or there is none to be had): a folder of this
    // copy's own, in the system's temporary folder when there is no base.
    const char* system = std::getenv("TMPDIR");
    const fs::path parent = !base.empty() ? base : fs::path(system && *system ? system : "/tmp");
    const std::string prefix = base.empty() ? "quillon-" : kCopyPrefix;
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        std::string pattern = (parent / (prefix + "XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            break;
        UniqueFd lock = lockFolder(pattern);
        if (lock.valid() && stillNamed(pattern, lock.get())) {
            path_ = pattern;
            lock_ = std::move(lock);
            ownFolder_ = true;
            return;
        }
    }
    // Nowhere private to be had: the jobs report their own failures there.
    path_ = base.empty() ? appTmp : base;
}

TempFolder::~TempFolder()
{
    if (!ownFolder_)
        return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace quillon::jobs
