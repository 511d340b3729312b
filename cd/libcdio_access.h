#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cd/cd_access.h"

namespace quillon::cd {

struct LibcdioConfig {
    bool includeDevices = true;       // the drives libcdio finds on this machine
    std::vector<std::string> images;  // disc images (.cue, .toc, .nrg) listed after them
};

// CD access over libcdio.
[[nodiscard]] std::shared_ptr<CdAccess> makeLibcdioAccess(LibcdioConfig config);

// The access the application uses: real drives, then the images named in QUILLON_CD_IMAGES.
[[nodiscard]] std::shared_ptr<CdAccess> makeSystemCdAccess();

// Splits a colon-separated image list; empty entries are dropped.
[[nodiscard]] std::vector<std::string> splitImageList(std::string_view list);

// An image drive's product text, also used for a device that names no model: the file
// name without folder, at most 16 bytes, never ending inside a UTF-8 sequence.
[[nodiscard]] std::string imageProductText(std::string_view path);

}  // namespace quillon::cd
