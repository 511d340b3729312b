#include "cd/image_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "cd/toc_image.h"

namespace quillon::cd {

bool imageTextUsable(std::string_view text, int folderFd)
{
    const ImageText scan = scanImageText(text);
    if (scan.tracks > kMaxImageTracks)
        return false;
    return std::all_of(scan.dataFiles.begin(), scan.dataFiles.end(), [&](const ImageText::DataFile& file) {
        const std::string name = dataFileName(text, file);
        struct stat info {};
        // stat never opens what it looks at, so a pipe cannot make it wait.
        return !name.empty() && ::fstatat(folderFd, name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode) &&
               ::faccessat(folderFd, name.c_str(), R_OK, 0) == 0;
    });
}

}  // namespace quillon::cd
