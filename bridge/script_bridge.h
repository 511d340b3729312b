#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "bridge/bridge_value.h"
#include "bridge/dispatch_id.h"
#include "bridge/member_table.h"

namespace quillon::bridge {

// The object page script reaches as window.external: a late-bound object whose
// members are looked up by name and invoked by number. It keeps no state, and every
// call acts on the handlers found at call time.
class ScriptBridge {
public:
    // The objects that the table's calls act on, or nullptr while there are none.
    using HandlersLookup = std::function<void*()>;

    // table is memberTable() with its calls bound.
    ScriptBridge(std::span<const Member> table, HandlersLookup handlers);

    // The number of the member called name, else kUnknownDispId.
    [[nodiscard]] static DispId idOfName(std::string_view name);

    // arguments are in script order, as they cross the channel. result may be
    // nullptr when the caller wants none. Failures reach the page only through
    // results: an unknown member, a call kind the member does not take or no
    // handlers leave result untouched.
    // Named after the dispatch call it answers.
    // NOLINTNEXTLINE(readability-identifier-naming)
    void Invoke(DispId member, std::uint16_t flags, std::span<const BridgeValue> arguments, BridgeValue* result,
                CallerId caller);

private:
    std::span<const Member> table_;
    HandlersLookup handlers_;
};

}  // namespace quillon::bridge
