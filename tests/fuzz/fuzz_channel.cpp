// Whatever a page's web process sends down its channel: framing, request decoding
// and the dispatch behind it. A compromised web process may send anything.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bridge/channel_message.h"
#include "bridge/frame_reader.h"
#include "bridge/member_table.h"
#include "bridge/script_bridge.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/recording_members.h"

using namespace quillon::bridge;

namespace {

bool hasKind(const BridgeValue& value, ResultKind kind)
{
    switch (kind) {
    case ResultKind::None: return value == BridgeValue();
    case ResultKind::Text: return value.isText();
    case ResultKind::Integer: return value.isInteger();
    case ResultKind::Boolean: return value.isBoolean();
    }
    return false;
}

void dispatch(const Request& request)
{
    quillon::test::RecordedCalls target;
    ScriptBridge bridge(quillon::test::recordingMembers(), [&target] { return &target; });
    if (const auto* lookup = std::get_if<LookupRequest>(&request)) {
        const DispId id = ScriptBridge::idOfName(lookup->name);
        const Member* member = memberById(memberTable(), id);
        FUZZ_CHECK(id == kUnknownDispId || (member && member->name == lookup->name));
        return;
    }
    if (std::holds_alternative<StatusRequest>(request)) {
        for (DispId id : statusMembers()) {
            BridgeValue value;
            bridge.Invoke(id, kDispatchPropertyGet, {}, &value, nullptr);
            FUZZ_CHECK(value.isInteger());
        }
        return;
    }
    const auto& invoke = std::get<InvokeRequest>(request);
    BridgeValue result;
    bridge.Invoke(invoke.member, invoke.flags, invoke.arguments, invoke.wantsResult ? &result : nullptr, nullptr);
    const Member* member = memberById(memberTable(), invoke.member);
    if (!member) {
        FUZZ_CHECK(target.calls.empty() && result == BridgeValue());
        return;
    }
    FUZZ_CHECK(target.calls.size() <= 1);
    FUZZ_CHECK(result == BridgeValue() || hasKind(result, member->result));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (const auto request = decodeRequest(bytes)) {
        // What decodes re-encodes to the same request: nothing is lost or invented.
        const auto again = decodeRequest(encodeRequest(*request));
        FUZZ_CHECK(again && *again == *request);
        dispatch(*request);
    }
    if (const auto reply = decodeLookupReply(bytes))
        FUZZ_CHECK(decodeLookupReply(encodeLookupReply(*reply)) == reply);
    if (const auto reply = decodeInvokeReply(bytes))
        FUZZ_CHECK(decodeInvokeReply(encodeInvokeReply(*reply)) == reply);

    // The same bytes as a stream, arriving in two pieces: every frame handed out is
    // whole and within the limit, and together they never exceed what arrived.
    FrameReader reader;
    reader.append(bytes.substr(0, size / 2));
    std::size_t handedOut = 0;
    while (auto payload = reader.next())
        handedOut += 4 + payload->size();
    reader.append(bytes.substr(size / 2));
    while (auto payload = reader.next()) {
        FUZZ_CHECK(payload->size() <= kMaxFrameSize);
        handedOut += 4 + payload->size();
    }
    FUZZ_CHECK(handedOut <= size);
    return 0;
}
