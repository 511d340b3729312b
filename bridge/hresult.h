#pragma once

#include <cstdint>

namespace quillon::bridge {

// Result codes of the automation-object contract that the bridge keeps.
using HResult = std::int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001u);
inline constexpr HResult kNoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kUnknownName = static_cast<HResult>(0x80020006u);

using DispId = std::int32_t;
inline constexpr DispId kUnknownDispId = -1;

// Call kinds of an invocation; only these two bits are looked at.
inline constexpr std::uint16_t kDispatchMethod = 1;
inline constexpr std::uint16_t kDispatchPropertyGet = 2;

struct InterfaceId {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    bool operator==(const InterfaceId&) const = default;
};

inline constexpr InterfaceId kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr InterfaceId kIidDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

}  // namespace quillon::bridge
