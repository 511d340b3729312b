#pragma once

#include <cstdint>
#include <string>

#include "cd/cd_access.h"

namespace quillon::cd {

// Texts behind the two listing methods of the page interface. Both enumerate the
// drives afresh and release any handle they open before returning. Any thread.

// Product texts of all drives joined with ":::", or "ERROR: No drives found".
[[nodiscard]] std::string getDrivesInfo(const CdAccess& access);

// One item per track of the disc in drive driveIndex (0-based): "DATA" for a data
// track, else its length in frames; joined with ":::". Or one of the error texts; a
// device that cannot be opened adds its node and group to the handle error, as in
// "ERROR: Could not get handle to CD (/dev/sr0, group cdrom)".
[[nodiscard]] std::string getTracksInfo(const CdAccess& access, std::int32_t driveIndex);

}  // namespace quillon::cd
