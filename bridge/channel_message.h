#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bridge/bridge_value.h"
#include "bridge/dispatch_id.h"
#include "bridge/member_table.h"

namespace quillon::bridge {

// The messages a page's web process and the UI process exchange over a view's
// private channel, in a small fixed layout of their own: an operation byte,
// little-endian integers, values tagged with their kind, texts counted and in
// UTF-8. A general format's type checks and allocations cost a call more than the
// rest of its way through both processes. Decoding treats the bytes as hostile:
// anything malformed, short or followed by extra bytes decodes to nullopt, never
// to a crash.

// The name of the message that hands a web view's page its end of the channel.
inline constexpr const char* kChannelMessageName = "quillon.channel";

struct LookupRequest {
    std::string name;
    bool operator==(const LookupRequest&) const = default;
};

struct InvokeRequest {
    DispId member = 0;
    std::uint16_t flags = 0;
    bool wantsResult = false;
    std::vector<BridgeValue> arguments;  // script order
    bool operator==(const InvokeRequest&) const = default;
};

// Reads all job statuses at once, so a page that polls them all costs one round
// trip instead of one per status.
struct StatusRequest {
    bool operator==(const StatusRequest&) const = default;
};

using Request = std::variant<LookupRequest, InvokeRequest, StatusRequest>;

struct LookupReply {
    DispId member = kUnknownDispId;
    MemberKind kind = MemberKind::Method;
    bool operator==(const LookupReply&) const = default;
};

struct InvokeReply {
    BridgeValue value;
    bool operator==(const InvokeReply&) const = default;
};

// One value per statusMembers(), in its order.
struct StatusReply {
    std::vector<std::int32_t> values = std::vector<std::int32_t>(statusMembers().size());
    bool operator==(const StatusReply&) const = default;
};

std::string encodeRequest(const Request& request);
std::optional<Request> decodeRequest(std::string_view bytes);

std::string encodeLookupReply(const LookupReply& reply);
std::optional<LookupReply> decodeLookupReply(std::string_view bytes);

std::string encodeStatusReply(const StatusReply& reply);
std::optional<StatusReply> decodeStatusReply(std::string_view bytes);

std::string encodeInvokeReply(const InvokeReply& reply);
std::optional<InvokeReply> decodeInvokeReply(std::string_view bytes);

}  // namespace quillon::bridge
