#pragma once

#include <filesystem>
#include <vector>

#include "cd/cd_access.h"

namespace quillon::cd {

// The optical drives the kernel knows (sr0, sr1, ... under blockDir, in number order),
// found without opening them: a drive the user may not open is still a drive. Each
// address is its node in devDir; the product is the model the drive reported, or the
// node's name when it reported none. Nothing when blockDir cannot be read.
[[nodiscard]] std::vector<CdDrive> kernelOpticalDrives(const std::filesystem::path& blockDir,
                                                       const std::filesystem::path& devDir);

}  // namespace quillon::cd
