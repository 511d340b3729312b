#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon::cd {

// Reads a drive or track index the page passed as text: leading blanks skipped, the
// longest leading decimal number (sign, fraction, exponent) truncated toward zero.
// Text that does not start with a number is 0. Nothing when the number is not finite
// or does not fit in 32 bits, so callers can report it as out of range.
[[nodiscard]] std::optional<std::int32_t> parseIndexText(std::string_view text);

}  // namespace quillon::cd
