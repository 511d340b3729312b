#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "delivery/phone_page.h"

namespace quillon::delivery {

// What is being served: the clip's part and size, under a secret token.
struct ServedClip {
    std::string token;
    ClipDescription part;
    std::uint64_t size = 0;
};

// The parts of a request the answer depends on.
struct ClipRequest {
    std::string_view method;
    std::string_view path;
    std::string_view range;      // the Range header, "" when absent
    std::string_view userAgent;  // the User-Agent header, "" when absent
};

// An answer: status, headers in order, and a body that is either text (the
// page) or a run of the clip's bytes. HEAD answers carry the headers only.
struct ClipReply {
    unsigned status = 404;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string text;
    std::uint64_t clipOffset = 0;
    std::uint64_t clipLength = 0;
};

// Only "/<token>/" (the phone page) and "/<token>/ringtone.mp3" (the clip)
// exist, for GET and HEAD; any other path is 404 and any other method 405.
[[nodiscard]] ClipReply answerRequest(const ServedClip& clip, const ClipRequest& request);

}  // namespace quillon::delivery
