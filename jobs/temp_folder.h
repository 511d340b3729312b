#pragma once

#include <filesystem>
#include <string>

#include "base/unique_fd.h"

namespace quillon::jobs {

// The temporary folder of this running copy: where the pages put ripped tracks
// and clips, and where the transcode job clears out earlier ones.
//
// It is the app folder's res/tmp when this user may write there (a build, a
// per-user install), else <cache>/quillon/tmp, private to the user (mode 0700),
// as for an app folder under /usr/lib. That cache folder is used only when every
// level of it from the user's home (or from the cache root, when that lies
// elsewhere) belongs to the user and no one else may write there; else the copy
// works in a private folder of its own. A copy locks its folder for as long as it
// runs. A copy that finds it locked by another (two starts without a session bus,
// or from two sessions) works in a folder of its own inside it, "copy-XXXXXX",
// which it removes when it ends; the next copy to hold the shared folder removes
// those left by copies that were killed. The copy that holds the shared folder
// empties it when it ends, the folders of copies still running left alone. So no
// copy's clean-up reaches another's clips. Sweeps and removals go through
// descriptors of the folders checked.
class TempFolder {
public:
    // appTmp: the app folder's res/tmp; cacheHome: the user's cache folder; home:
    // the user's home folder.
    TempFolder(const std::filesystem::path& appTmp, const std::filesystem::path& cacheHome,
               const std::filesystem::path& home);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    base::UniqueFd lock_;
    // A folder made for this copy alone, removed at the end: its parent and name.
    base::UniqueFd ownParent_;
    std::string ownName_;
};

}  // namespace quillon::jobs
