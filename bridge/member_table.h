#pragma once

#include <array>
#include <span>
#include <string_view>

#include "bridge/bridge_target.h"
#include "bridge/bridge_value.h"
#include "bridge/hresult.h"

namespace quillon::bridge {

enum class MemberKind : std::uint8_t { Method, Property, Both };
enum class ResultKind : std::uint8_t { None, Text, Integer, Boolean };

// A call's arguments in script order. A missing argument, or one of another kind
// than the member takes, reads as "" or 0; extra ones are never looked at.
class Arguments {
public:
    explicit Arguments(std::span<const BridgeValue> scriptOrder) : values_(scriptOrder) {}
    [[nodiscard]] std::string text(std::size_t index) const;
    [[nodiscard]] std::int32_t integer(std::size_t index) const;

private:
    std::span<const BridgeValue> values_;
};

struct Member {
    std::string_view name;
    MemberKind kind;
    // One letter per argument in script order: S text, I 32-bit integer.
    std::string_view argumentKinds;
    ResultKind result;
    // Runs the operation; its value has the member's result kind (empty for None).
    BridgeValue (*call)(BridgeTarget& target, const Arguments& arguments, CallerId caller);
};

inline constexpr std::size_t kMemberCount = 41;

// The members in the order that numbers them: member n is at index n - 1.
const std::array<Member, kMemberCount>& memberTable();

// The member with the given number, or nullptr outside 1..kMemberCount.
const Member* memberById(DispId id);

}  // namespace quillon::bridge
