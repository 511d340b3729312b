#include "bridge/channel_message.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace quillon::bridge {

namespace {

constexpr const char* kRequestType = "(ysiqbav)";
constexpr const char* kLookupReplyType = "(iy)";
constexpr const char* kInvokeReplyType = "(v)";
constexpr const char* kStatusReplyType = "(ai)";
constexpr guchar kLookupOp = 1;
constexpr guchar kInvokeOp = 2;
constexpr guchar kStatusOp = 3;

struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

// GVariant strings must be valid UTF-8; text that is not is repaired, not refused.
GVariant* newString(const std::string& text)
{
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return g_variant_new_string(text.c_str());
    g_autofree gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    return g_variant_new_string(valid);
}

GVariant* toVariant(const BridgeValue& value)
{
    if (value.isText())
        return newString(value.asText());
    if (value.isInteger())
        return g_variant_new_int32(value.asInteger());
    if (value.isBoolean())
        return g_variant_new_boolean(value.asBoolean());
    return g_variant_new_tuple(nullptr, 0);
}

BridgeValue fromVariant(GVariant* v)
{
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
        return BridgeValue::text(g_variant_get_string(v, nullptr));
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT32))
        return BridgeValue::integer(g_variant_get_int32(v));
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN))
        return BridgeValue::boolean(g_variant_get_boolean(v) != FALSE);
    return {};
}

std::string serialise(GVariant* floating)
{
    VariantPtr v(g_variant_ref_sink(floating));
    std::string bytes(g_variant_get_size(v.get()), '\0');
    g_variant_store(v.get(), bytes.data());
    return bytes;
}

// Copies the bytes so GVariant sees properly aligned, owned data; untrusted mode
// makes every accessor return a default for malformed content.
VariantPtr deserialise(std::string_view bytes, const char* type)
{
    g_autoptr(GBytes) owned = g_bytes_new(bytes.data(), bytes.size());
    return VariantPtr(g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE(type), owned, FALSE)));
}

}  // namespace

std::string encodeRequest(const Request& request)
{
    GVariantBuilder arguments;
    g_variant_builder_init(&arguments, G_VARIANT_TYPE("av"));
    if (const auto* invoke = std::get_if<InvokeRequest>(&request)) {
        for (const auto& argument : invoke->arguments)
            g_variant_builder_add(&arguments, "v", toVariant(argument));
        return serialise(g_variant_new("(y@siqbav)", kInvokeOp, g_variant_new_string(""), invoke->member, invoke->flags,
                                       invoke->wantsResult, &arguments));
    }
    if (const auto* lookup = std::get_if<LookupRequest>(&request))
        return serialise(g_variant_new("(y@siqbav)", kLookupOp, newString(lookup->name), 0, 0, FALSE, &arguments));
    return serialise(g_variant_new("(y@siqbav)", kStatusOp, g_variant_new_string(""), 0, 0, FALSE, &arguments));
}

std::optional<Request> decodeRequest(std::string_view bytes)
{
    VariantPtr v = deserialise(bytes, kRequestType);
    guchar op = 0;
    g_variant_get_child(v.get(), 0, "y", &op);
    if (op == kLookupOp) {
        VariantPtr name(g_variant_get_child_value(v.get(), 1));
        return LookupRequest{g_variant_get_string(name.get(), nullptr)};
    }
    if (op == kStatusOp)
        return StatusRequest{};
    if (op != kInvokeOp)
        return std::nullopt;

    InvokeRequest invoke;
    gboolean wantsResult = FALSE;
    guint16 flags = 0;
    g_variant_get_child(v.get(), 2, "i", &invoke.member);
    g_variant_get_child(v.get(), 3, "q", &flags);
    g_variant_get_child(v.get(), 4, "b", &wantsResult);
    invoke.flags = flags;
    invoke.wantsResult = wantsResult != FALSE;
    VariantPtr arguments(g_variant_get_child_value(v.get(), 5));
    const gsize count = g_variant_n_children(arguments.get());
    invoke.arguments.reserve(count);
    for (gsize i = 0; i < count; ++i) {
        VariantPtr boxed(g_variant_get_child_value(arguments.get(), i));
        VariantPtr inner(g_variant_get_variant(boxed.get()));
        invoke.arguments.push_back(fromVariant(inner.get()));
    }
    return invoke;
}

std::string encodeLookupReply(const LookupReply& reply)
{
    return serialise(g_variant_new(kLookupReplyType, reply.member, static_cast<guchar>(reply.kind)));
}

std::optional<LookupReply> decodeLookupReply(std::string_view bytes)
{
    VariantPtr v = deserialise(bytes, kLookupReplyType);
    gint32 member = 0;
    guchar kind = 0;
    g_variant_get(v.get(), kLookupReplyType, &member, &kind);
    if (kind > static_cast<guchar>(MemberKind::Both))
        return std::nullopt;
    return LookupReply{member, static_cast<MemberKind>(kind)};
}

std::string encodeStatusReply(const StatusReply& reply)
{
    GVariant* values =
        g_variant_new_fixed_array(G_VARIANT_TYPE_INT32, reply.values.data(), reply.values.size(), sizeof(std::int32_t));
    return serialise(g_variant_new_tuple(&values, 1));
}

// A snapshot of another length than this build's status list is refused.
std::optional<StatusReply> decodeStatusReply(std::string_view bytes)
{
    VariantPtr v = deserialise(bytes, kStatusReplyType);
    VariantPtr array(g_variant_get_child_value(v.get(), 0));
    gsize count = 0;
    const auto* values =
        static_cast<const std::int32_t*>(g_variant_get_fixed_array(array.get(), &count, sizeof(std::int32_t)));
    StatusReply reply;
    if (count != reply.values.size())
        return std::nullopt;
    std::copy_n(values, count, reply.values.begin());
    return reply;
}

std::string encodeInvokeReply(const InvokeReply& reply)
{
    return serialise(g_variant_new(kInvokeReplyType, toVariant(reply.value)));
}

std::optional<InvokeReply> decodeInvokeReply(std::string_view bytes)
{
    VariantPtr v = deserialise(bytes, kInvokeReplyType);
    VariantPtr boxed(g_variant_get_child_value(v.get(), 0));
    VariantPtr inner(g_variant_get_variant(boxed.get()));
    return InvokeReply{fromVariant(inner.get())};
}

}  // namespace quillon::bridge
