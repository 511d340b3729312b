#include "bridge/script_bridge.h"

#include "bridge/member_table.h"

namespace quillon::bridge {

ScriptBridge::ScriptBridge(std::span<const Member> table, HandlersLookup handlers)
    : table_(table), handlers_(std::move(handlers))
{}

DispId ScriptBridge::idOfName(std::string_view name)
{
    const auto& members = memberTable();
    for (std::size_t m = 0; m < members.size(); ++m) {
        if (members[m].name == name)
            return static_cast<DispId>(m + 1);
    }
    return kUnknownDispId;
}

namespace {

bool flagsMatch(MemberKind kind, std::uint16_t flags, bool wantsResult)
{
    const bool method = (flags & kDispatchMethod) != 0;
    const bool propertyGet = (flags & kDispatchPropertyGet) != 0 && wantsResult;
    switch (kind) {
    case MemberKind::Method: return method;
    case MemberKind::Property: return propertyGet;
    case MemberKind::Both: return method || (flags & kDispatchPropertyGet) != 0;
    }
    return false;
}

}  // namespace

void ScriptBridge::Invoke(DispId id, std::uint16_t flags, std::span<const BridgeValue> arguments, BridgeValue* result,
                          CallerId caller)
{
    void* handlers = handlers_ ? handlers_() : nullptr;
    const Member* member = memberById(table_, id);
    if (!handlers || !member || !member->call || !flagsMatch(member->kind, flags, result != nullptr))
        return;

    BridgeValue value = member->call(*member, handlers, Arguments(member->argumentKinds, arguments), caller);
    if (member->result != ResultKind::None && result)
        *result = std::move(value);
}

}  // namespace quillon::bridge
