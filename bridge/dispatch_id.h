#pragma once

#include <cstdint>

namespace quillon::bridge {

// A member's number: what a page holds on to after looking a name up.
using DispId = std::int32_t;
inline constexpr DispId kUnknownDispId = -1;

// Call kinds of an invocation; only these two bits are looked at.
inline constexpr std::uint16_t kDispatchMethod = 1;
inline constexpr std::uint16_t kDispatchPropertyGet = 2;

}  // namespace quillon::bridge
