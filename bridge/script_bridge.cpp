#include "bridge/script_bridge.h"

#include "bridge/member_table.h"

namespace quillon::bridge {

ScriptBridge::ScriptBridge(MainWindowLookup mainWindow) : mainWindow_(std::move(mainWindow)) {}

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
    BridgeTarget* target = mainWindow_ ? mainWindow_() : nullptr;
    const Member* member = memberById(id);
    if (!target || !member || !flagsMatch(member->kind, flags, result != nullptr))
        return;

    BridgeValue value = member->call(*target, Arguments(member->argumentKinds, arguments), caller);
    if (member->result != ResultKind::None && result)
        *result = std::move(value);
}

}  // namespace quillon::bridge
