#include "tests/bus_stand_in.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace quillon::test {

BusStandIn::BusStandIn(const std::string& busAddress, const char* busName, std::vector<StandInObject> objects)
{
    g_main_context_push_thread_default(context_);  // where its calls are answered
    connection_ = g_dbus_connection_new_for_address_sync(
        busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    node_ = g_dbus_node_info_new_for_xml(readFile(QUILLON_STAND_INS_DIR "/interfaces.xml").c_str(), nullptr);
    static const GDBusInterfaceVTable vtable{&BusStandIn::onCall, &BusStandIn::onGet, nullptr, {}};
    for (StandInObject& object : objects) {
        GDBusInterfaceInfo* info = g_dbus_node_info_lookup_interface(node_, object.interface.c_str());
        const auto& added = objects_.emplace_back(new Registered{this, std::move(object), info});
        EXPECT_TRUE(info && g_dbus_connection_register_object(connection_, added->object.path.c_str(), info, &vtable,
                                                              added.get(), nullptr, nullptr))
            << added->object.interface;
    }
    // The primary owner (1), never queued behind another: the flag is DO_NOT_QUEUE.
    g_autoptr(GVariant) owned = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", busName, 4U), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    guint32 answer = 0;
    if (owned)
        g_variant_get(owned, "(u)", &answer);
    owned_ = answer == 1;
    g_main_context_pop_thread_default(context_);
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        while (!stop_)
            g_main_context_iteration(context_, TRUE);
        g_main_context_pop_thread_default(context_);
    });
}

BusStandIn::~BusStandIn()
{
    stop_ = true;
    g_main_context_wakeup(context_);
    thread_.join();
    for (GDBusMethodInvocation* call : held_)
        g_dbus_method_invocation_return_dbus_error(call, "org.test.Gone", "the stand-in has gone");
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
    g_dbus_node_info_unref(node_);
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_unref(context_);
}

std::vector<std::string> BusStandIn::calls(const std::string& member) const
{
    const std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const auto& [name, arguments] : calls_)
        if (name == member)
            found.push_back(arguments);
    return found;
}

void BusStandIn::later(unsigned ms, std::function<void()> fn) const
{
    GSource* source = g_timeout_source_new(ms);
    g_source_set_callback(
        source, [](gpointer f) { return (*static_cast<std::function<void()>*>(f))(), G_SOURCE_REMOVE; },
        new std::function<void()>(std::move(fn)), [](gpointer f) { delete static_cast<std::function<void()>*>(f); });
    g_source_attach(source, context_);
    g_source_unref(source);
}

void BusStandIn::emitPropertiesChanged(const std::string& path, const char* interface, const std::string& changed) const
{
    GVariant* values = g_variant_parse(G_VARIANT_TYPE("a{sv}"), changed.c_str(), nullptr, nullptr, nullptr);
    g_dbus_connection_emit_signal(
        connection_, nullptr, path.c_str(), "org.freedesktop.DBus.Properties", "PropertiesChanged",
        g_variant_new("(s@a{sv}@as)", interface, values, g_variant_new_strv(nullptr, 0)), nullptr);
}

GVariant* BusStandIn::answer(const Registered& object, const std::string& member, GVariant* arguments)
{
    const auto given = object.object.answers.find(member);
    if (given == object.object.answers.end())
        return object.object.handler ? object.object.handler(member, arguments) : nullptr;
    // The type of the text: the method's results as a tuple, or the property's.
    std::string type;
    if (const GDBusMethodInfo* method = g_dbus_interface_info_lookup_method(object.info, member.c_str())) {
        for (GDBusArgInfo** arg = method->out_args; arg && *arg; ++arg)
            type += (*arg)->signature;
        type = "(" + type + ")";
    } else {
        type = g_dbus_interface_info_lookup_property(object.info, member.c_str())->signature;
    }
    g_autoptr(GError) error = nullptr;
    GVariant* value = g_variant_parse(G_VARIANT_TYPE(type.c_str()), given->second.c_str(), nullptr, nullptr, &error);
    EXPECT_TRUE(value) << given->second << ": " << error->message;
    return value;
}

void BusStandIn::onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                        GVariant* arguments, GDBusMethodInvocation* call, gpointer object)
{
    auto* registered = static_cast<Registered*>(object);
    g_autofree gchar* text = g_variant_print(arguments, FALSE);
    {
        const std::lock_guard lock(registered->owner->mutex_);
        registered->owner->calls_.emplace_back(method, text);
        if (registered->object.hangs)
            return registered->owner->held_.push_back(call);
    }
    const auto given = registered->object.answers.find(method);
    if (given != registered->object.answers.end() && given->second.starts_with("error "))
        return g_dbus_method_invocation_return_dbus_error(call, given->second.substr(6).c_str(), "refused");
    g_dbus_method_invocation_return_value(call, answer(*registered, method, arguments));
}

GVariant* BusStandIn::onGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property, GError**,
                            gpointer object)
{
    return answer(*static_cast<Registered*>(object), property, nullptr);
}

}  // namespace quillon::test
