#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cd/cd_access.h"

namespace quillon::cd {

struct LibcdioConfig {
    bool includeDevices = true;       // the optical drives of this machine
    std::vector<std::string> images;  // disc images (.cue, .toc, .nrg) listed after them
    // Where the kernel lists block devices and where their nodes are (tests use others).
    std::filesystem::path blockDir = "/sys/class/block";
    std::filesystem::path devDir = "/dev";
    // How long opening an image takes: it stands in for a drive spinning up.
    std::chrono::milliseconds imageOpenDelay{0};
};

// CD access over libcdio.
[[nodiscard]] std::shared_ptr<CdAccess> makeLibcdioAccess(LibcdioConfig config);

// The access the application uses: real drives, then the images named in QUILLON_CD_IMAGES.
// QUILLON_CD_IMAGE_DELAY_MS (test runs only, at most a minute) makes each image open
// that slowly.
[[nodiscard]] std::shared_ptr<CdAccess> makeSystemCdAccess();

// Splits a colon-separated image list; empty entries are dropped.
[[nodiscard]] std::vector<std::string> splitImageList(std::string_view list);

// A drive's product text: at most 16 bytes, never ending inside a UTF-8 sequence.
[[nodiscard]] std::string productText(std::string_view text);

// An image drive's product text, also used for a device that names no model: the file
// name without folder, as productText.
[[nodiscard]] std::string imageProductText(std::string_view path);

}  // namespace quillon::cd
