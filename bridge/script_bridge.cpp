#include "bridge/script_bridge.h"

#include "bridge/member_table.h"

namespace quillon::bridge {

ScriptBridge::ScriptBridge(MainWindowLookup mainWindow) : mainWindow_(std::move(mainWindow)) {}

HResult ScriptBridge::QueryInterface(const InterfaceId& iid, ScriptBridge** out)
{
    *out = nullptr;
    if (iid != kIidDispatch && iid != kIidUnknown)
        return kNoInterface;
    *out = this;
    AddRef();
    return kOk;
}

std::int32_t ScriptBridge::AddRef() { return ++references_; }

std::int32_t ScriptBridge::Release() { return --references_; }

HResult ScriptBridge::GetTypeInfoCount(unsigned*) { return kNotImplemented; }

HResult ScriptBridge::GetTypeInfo(unsigned, std::uint32_t, void**) { return kNotImplemented; }

HResult ScriptBridge::GetIDsOfNames(const InterfaceId&, std::span<const std::string> names, std::uint32_t,
                                    std::span<DispId> ids)
{
    HResult outcome = kOk;
    const auto& members = memberTable();
    for (std::size_t i = 0; i < names.size() && i < ids.size(); ++i) {
        ids[i] = kUnknownDispId;
        for (std::size_t m = 0; m < members.size(); ++m) {
            if (members[m].name == names[i]) {
                ids[i] = static_cast<DispId>(m + 1);
                break;
            }
        }
        if (ids[i] == kUnknownDispId)
            outcome = kUnknownName;
    }
    return outcome;
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

HResult ScriptBridge::Invoke(DispId id, std::uint16_t flags, std::span<const BridgeValue> arguments,
                             BridgeValue* result, CallerId caller)
{
    BridgeTarget* target = mainWindow_ ? mainWindow_() : nullptr;
    const Member* member = memberById(id);
    if (!target || !member || !flagsMatch(member->kind, flags, result != nullptr))
        return kOk;

    BridgeValue value = member->call(*target, Arguments(member->argumentKinds, arguments), caller);
    if (member->result != ResultKind::None && result)
        *result = std::move(value);
    return kOk;
}

}  // namespace quillon::bridge
