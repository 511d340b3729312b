#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "bridge/bridge_target.h"
#include "bridge/bridge_value.h"
#include "bridge/dispatch_id.h"

namespace quillon::bridge {

enum class MemberKind : std::uint8_t { Method, Property, Both };
enum class ResultKind : std::uint8_t { None, Text, Integer, Boolean };

// A call's arguments in script order, read as the member's argument letters say
// (S text, I 32-bit integer). An argument that is missing, of another kind than
// its letter, or beyond the letters reads as "" or 0; extra ones are never looked at.
class Arguments {
public:
    Arguments(std::string_view kinds, std::span<const BridgeValue> scriptOrder) : kinds_(kinds), values_(scriptOrder) {}
    [[nodiscard]] std::string text(std::size_t index) const;
    [[nodiscard]] std::int32_t integer(std::size_t index) const;
    // Whether the call passed an argument at index, of whatever kind.
    [[nodiscard]] bool has(std::size_t index) const { return index < values_.size(); }

private:
    [[nodiscard]] const BridgeValue* declared(std::size_t index, char kind) const;

    std::string_view kinds_;
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

inline constexpr std::size_t kMemberCount = 68;

// The members in the order that numbers them: member n is at index n - 1.
const std::array<Member, kMemberCount>& memberTable();

// The member with the given number, or nullptr outside 1..kMemberCount.
const Member* memberById(DispId id);

// The job status members (the integer properties) in member order: the ones a
// status snapshot carries.
const std::vector<DispId>& statusMembers();

}  // namespace quillon::bridge
