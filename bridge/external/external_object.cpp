#include "bridge/external/external_object.h"

#include <map>
#include <string>
#include <vector>

#include "bridge/channel_message.h"

namespace quillon::bridge {

namespace {

// One per window object. Member numbers and kinds never change, so each name is
// looked up once; method functions are made once and handed out again.
struct ExternalInstance {
    std::shared_ptr<PageChannel> channel;
    std::map<std::string, LookupReply, std::less<>> members;
    std::map<DispId, JSCValue*> functions;

    ~ExternalInstance()
    {
        for (auto& [id, function] : functions)
            g_object_unref(function);
    }

    LookupReply lookup(const char* name)
    {
        if (auto found = members.find(name); found != members.end())
            return found->second;
        LookupReply reply;
        if (auto bytes = channel->client.call(encodeRequest(LookupRequest{name})))
            reply = decodeLookupReply(*bytes).value_or(LookupReply{});
        if (channel->client.isOpen())  // a dropped channel is no answer worth keeping
            members.emplace(name, reply);
        return reply;
    }
};

BridgeValue invoke(PageChannel& channel, DispId member, std::uint16_t flags, std::vector<BridgeValue> arguments)
{
    // A method may start or stop a job: statuses read after it are read anew.
    if (flags & kDispatchMethod)
        channel.statuses.invalidate();
    InvokeRequest request{member, flags, true, std::move(arguments)};
    if (auto bytes = channel.client.call(encodeRequest(request))) {
        if (auto reply = decodeInvokeReply(*bytes))
            return reply->value;
    }
    return {};
}

BridgeValue readProperty(PageChannel& channel, DispId member)
{
    if (!StatusCache::slotOf(member))
        return invoke(channel, member, kDispatchPropertyGet, {});
    const auto now = StatusCache::Clock::now();
    if (auto cached = channel.statuses.read(member, now))
        return BridgeValue::integer(*cached);
    if (auto bytes = channel.client.call(encodeRequest(StatusRequest{}))) {
        if (auto snapshot = decodeStatusReply(*bytes)) {
            channel.statuses.store(*snapshot, now);
            return BridgeValue::integer(*channel.statuses.read(member, now));
        }
    }
    return {};
}

// A function may outlive the object it was read from (a page can keep it in a
// variable), so it holds the channel itself, not the instance.
struct FunctionData {
    std::shared_ptr<PageChannel> channel;
    DispId member;
};

// Script strings cross as UTF-8 up to their first NUL; numbers as 32-bit integers;
// anything else (undefined, null, objects, functions) as no value.
BridgeValue fromScript(JSCValue* value)
{
    if (jsc_value_is_string(value)) {
        g_autofree gchar* text = jsc_value_to_string(value);
        return BridgeValue::text(text ? text : "");
    }
    if (jsc_value_is_number(value))
        return BridgeValue::integer(jsc_value_to_int32(value));
    if (jsc_value_is_boolean(value))
        return BridgeValue::boolean(jsc_value_to_boolean(value) != FALSE);
    return {};
}

JSCValue* toScript(JSCContext* context, const BridgeValue& value)
{
    if (value.isText())  // UTF-8 without a NUL, as every text crosses the channel
        return jsc_value_new_string(context, value.asText().c_str());
    if (value.isInteger())
        return jsc_value_new_number(context, value.asInteger());
    if (value.isBoolean())
        return jsc_value_new_boolean(context, value.asBoolean());
    return jsc_value_new_undefined(context);
}

JSCValue* callMember(GPtrArray* arguments, FunctionData* data)
{
    JSCContext* context = jsc_context_get_current();
    std::vector<BridgeValue> values;
    values.reserve(arguments ? arguments->len : 0);
    for (guint i = 0; arguments && i < arguments->len; ++i)
        values.push_back(fromScript(static_cast<JSCValue*>(g_ptr_array_index(arguments, i))));
    return toScript(context, invoke(*data->channel, data->member, kDispatchMethod, std::move(values)));
}

JSCValue* getProperty(JSCClass*, JSCContext* context, gpointer instancePointer, const char* name)
{
    auto* instance = static_cast<ExternalInstance*>(instancePointer);
    const LookupReply member = instance->lookup(name);
    if (member.member < 1)
        return nullptr;  // not ours: the page sees undefined
    if (member.kind == MemberKind::Property)
        return toScript(context, readProperty(*instance->channel, member.member));

    // Methods, and the one member that is both: a function. A function is truthy,
    // so `if (external.DTE_IsDTE)` holds as well as `external.DTE_IsDTE()`.
    auto& function = instance->functions[member.member];
    if (!function) {
        function = jsc_value_new_function_variadic(
            context, name, G_CALLBACK(callMember), new FunctionData{instance->channel, member.member},
            [](gpointer data) { delete static_cast<FunctionData*>(data); }, JSC_TYPE_VALUE);
    }
    return JSC_VALUE(g_object_ref(function));
}

}  // namespace

JSCValue* newExternalObject(JSCContext* context, std::shared_ptr<PageChannel> channel)
{
    static JSCClassVTable vtable{getProperty, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    // A class is registered once per context; later window objects reuse it.
    auto* cls = static_cast<JSCClass*>(g_object_get_data(G_OBJECT(context), "quillon-external-class"));
    if (!cls) {
        cls = jsc_context_register_class(context, "QuillonExternal", nullptr, &vtable,
                                         [](gpointer p) { delete static_cast<ExternalInstance*>(p); });
        g_object_set_data(G_OBJECT(context), "quillon-external-class", cls);
    }
    // Workaround(https://github.com/WebKit/WebKit/blob/main/Source/JavaScriptCore/API/glib/JSCValue.cpp,
    // jsc_value_new_object): an object made without an instance is a plain object the
    // vtable never sees, so each window object gets one; remove when the engine calls
    // a class's vtable for instance-less objects too.
    auto* instance = new ExternalInstance{std::move(channel), {}, {}};
    return jsc_value_new_object(context, instance, cls);
}

}  // namespace quillon::bridge
