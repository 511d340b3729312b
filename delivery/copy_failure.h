#pragma once

#include <gio/gio.h>

#include <string>

namespace quillon::delivery {

// What a failed copy tells the user, in plain words: a full place, a read-only
// one, a phone or drive that was locked or unplugged, or else GIO's own message.
[[nodiscard]] std::string copyFailureWords(const GError* error);

}  // namespace quillon::delivery
