#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon::delivery {

// A fresh secret for one serving: 144 random bits from the kernel as URL-safe
// base64 without padding (24 characters); nothing when no randomness can be had.
[[nodiscard]] std::optional<std::string> makeServeToken();

// Compares a token taken from a request with the secret in time that depends only
// on their lengths, so a client cannot learn the secret a character at a time.
[[nodiscard]] bool sameToken(std::string_view offered, std::string_view secret);

}  // namespace quillon::delivery
