#pragma once

#include <functional>
#include <span>
#include <string>

#include "bridge/bridge_target.h"
#include "bridge/bridge_value.h"
#include "bridge/hresult.h"

namespace quillon::bridge {

// The object page script reaches as window.external: a late-bound automation object
// whose members are looked up by name and invoked by number. It keeps no state but
// its reference count, and every call acts on the main window found at call time.
class ScriptBridge {
public:
    using MainWindowLookup = std::function<BridgeTarget*()>;

    explicit ScriptBridge(MainWindowLookup mainWindow);

    // Named after the dispatch interface whose calls they answer.
    // NOLINTBEGIN(readability-identifier-naming)
    // Sets *out to this object for the dispatch and base interfaces (adding a
    // reference), to nullptr for every other one.
    HResult QueryInterface(const InterfaceId& iid, ScriptBridge** out);
    std::int32_t AddRef();
    // Never destroys the object: its owner does that, whatever the count.
    std::int32_t Release();
    [[nodiscard]] std::int32_t referenceCount() const { return references_; }

    HResult GetTypeInfoCount(unsigned* count);
    HResult GetTypeInfo(unsigned index, std::uint32_t locale, void** typeInfo);

    // Looks every name up, the later ones too; ids must have room for every name.
    HResult GetIDsOfNames(const InterfaceId& iid, std::span<const std::string> names, std::uint32_t locale,
                          std::span<DispId> ids);

    // arguments are in script order, as they cross the channel. result may be
    // nullptr when the caller wants none. Always returns kOk: failures reach the
    // page only through results.
    HResult Invoke(DispId member, std::uint16_t flags, std::span<const BridgeValue> arguments, BridgeValue* result,
                   CallerId caller);
    // NOLINTEND(readability-identifier-naming)

private:
    MainWindowLookup mainWindow_;
    std::int32_t references_ = 0;
};

}  // namespace quillon::bridge
