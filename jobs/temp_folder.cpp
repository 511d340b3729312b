#include "jobs/temp_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>

#include "jobs/temp_cleanup.h"

namespace quillon::jobs {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCopyPrefix = "copy-";
constexpr int kCopyAttempts = 3;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Never through a link: the folder must be the one this user made or owns.
base::UniqueFd openFolderAt(int parentFd, const char* name)
{
    return base::UniqueFd(::openat(parentFd, name, kFolderFlags | O_NOFOLLOW));
}

bool lockFolder(const base::UniqueFd& fd) { return fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0; }

// Whether name in parentFd still is the folder open as fd (a sweeping copy may
// have removed it between its making and its locking).
bool stillNamed(int parentFd, const std::string& name, int fd)
{
    struct stat byName {};
    struct stat byFd {};
    return ::fstatat(parentFd, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

bool writableFolder(const fs::path& folder)
{
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// A folder this user owns and no one else may write to.
bool ownedAndPrivate(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void makePrivateIfOwn(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 07777) != 0700)
        (void)::fchmod(fd, 0700);
}

// <cacheHome>/quillon/tmp, made if needed, open; invalid unless every level from
// home (or from cacheHome when it lies outside home) down is the user's own and
// writable by no one else. The app's own two levels are made private (mode 0700)
// when they are the user's; levels above are left as the user keeps them.
base::UniqueFd privateFolder(const fs::path& cacheHome, const fs::path& home)
{
    if (!cacheHome.is_absolute())
        return {};
    const fs::path cache = cacheHome.lexically_normal();
    fs::path root = cache;
    fs::path below;
    if (const fs::path inHome = cache.lexically_relative(home.lexically_normal());
        home.is_absolute() && !inHome.empty() && *inHome.begin() != "..") {
        root = home.lexically_normal();
        below = inHome;
    }
    base::UniqueFd level(::open(root.c_str(), kFolderFlags));
    if (!level.valid() || !ownedAndPrivate(level.get()))
        return {};
    const fs::path appLevels = fs::path("quillon") / "tmp";
    for (const fs::path& rest : {below, appLevels}) {
        const bool appLevel = rest == appLevels;
        for (const fs::path& name : rest) {
            if (name == "." || name.empty())
                continue;
            ::mkdirat(level.get(), name.c_str(), 0700);
            level = openFolderAt(level.get(), name.c_str());
            if (level.valid() && appLevel)
                makePrivateIfOwn(level.get());
            if (!level.valid() || !ownedAndPrivate(level.get()))
                return {};
        }
    }
    return level;
}

// Removes the per-copy folders in baseFd whose copies have ended, and with
// everything as well what the copy that held it left there.
void sweepEndedCopies(int baseFd, bool everything)
{
    for (const std::string& name : folderEntries(baseFd)) {
        if (!name.starts_with(kCopyPrefix)) {
            if (everything)
                removeEntry(baseFd, name);
            continue;
        }
        const base::UniqueFd lock = openFolderAt(baseFd, name.c_str());
        if (lockFolder(lock) && stillNamed(baseFd, name, lock.get())) {
            removeFolderContents(lock.get());
            ::unlinkat(baseFd, name.c_str(), AT_REMOVEDIR);
        }
    }
}

std::string randomSuffix()
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::string suffix;
    for (int i = 0; i < 6; ++i)
        suffix += kLetters[random() % (sizeof kLetters - 1)];
    return suffix;
}

}  // namespace

TempFolder::TempFolder(const fs::path& appTmp, const fs::path& cacheHome, const fs::path& home)
{
    fs::path basePath;
    base::UniqueFd base;
    if (writableFolder(appTmp)) {
        basePath = appTmp;
        base = base::UniqueFd(::open(appTmp.c_str(), kFolderFlags | O_NOFOLLOW));
    } else if ((base = privateFolder(cacheHome, home)).valid()) {
        basePath = cacheHome / "quillon" / "tmp";
    }
    if (lockFolder(base)) {
        path_ = basePath;
        lock_ = std::move(base);
        sweepEndedCopies(lock_.get(), false);
        return;
    }
    // Another copy works in base (or there is none to be had): a folder of this
    // copy's own, in the system's temporary folder when there is no base.
    const char* system = std::getenv("TMPDIR");
    const bool inBase = base.valid();
    const fs::path parentPath = inBase ? basePath : fs::path(system && *system ? system : "/tmp");
    base::UniqueFd parent = inBase ? std::move(base) : base::UniqueFd(::open(parentPath.c_str(), kFolderFlags));
    const std::string prefix = inBase ? kCopyPrefix : "quillon-";
    for (int attempt = 0; parent.valid() && attempt < kCopyAttempts; ++attempt) {
        std::string name = prefix + randomSuffix();
        if (::mkdirat(parent.get(), name.c_str(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        base::UniqueFd lock = openFolderAt(parent.get(), name.c_str());
        if (lockFolder(lock) && stillNamed(parent.get(), name, lock.get())) {
            path_ = parentPath / name;
            lock_ = std::move(lock);
            ownParent_ = std::move(parent);
            ownName_ = std::move(name);
            return;
        }
    }
    // Nowhere private to be had: the jobs report their own failures there.
    path_ = inBase ? basePath : appTmp;
}

TempFolder::~TempFolder()
{
    // The shared folder keeps the folders of copies still running.
    if (!ownParent_.valid()) {
        if (lock_.valid())
            sweepEndedCopies(lock_.get(), true);
        return;
    }
    removeFolderContents(lock_.get());
    ::unlinkat(ownParent_.get(), ownName_.c_str(), AT_REMOVEDIR);
}

}  // namespace quillon::jobs
