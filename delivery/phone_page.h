#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/clip_kinds.h"

namespace quillon::delivery {

// The song and the part of it a clip holds, and what it is for, as the phone page names them.
struct ClipDescription {
    std::string songTitle;
    std::int32_t startMs = 0;
    std::int32_t lengthMs = 0;
    const base::ClipKind* kind = &base::kClipKinds[0];
};

// The clip's name under the page's address, whatever its kind; the download gets its own name.
inline constexpr std::string_view kClipName = "ringtone.mp3";

// The page a phone opens from the QR code: one download link and the steps that
// make the download the clip's kind of sound (a ringtone, a notification sound,
// an alarm) on that kind of phone (both kinds when the User-Agent names neither);
// for an iPhone, those of iOS 26 and then GarageBand's for older ones.
// Plain HTML that needs no script and nothing else.
[[nodiscard]] std::string phonePage(const ClipDescription& part, std::string_view userAgent);

// "My Song · 0:38–1:08": the title (else the kind's label) and the part's start and end as m:ss.
[[nodiscard]] std::string partCaption(const ClipDescription& part);

}  // namespace quillon::delivery
