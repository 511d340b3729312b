#include "delivery/obex_push.h"

#include <utility>

#include "delivery/dbus_call.h"

namespace quillon::delivery {

namespace {

constexpr const char* kObex = "org.bluez.obex";
constexpr const char* kTransfer = "org.bluez.obex.Transfer1";
const DBusTarget kClient{kObex, "/org/bluez/obex", "org.bluez.obex.Client1"};

// No OBEX service on the session bus, and none that the bus could start.
bool noService(const GError* error)
{
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT);
}

void ignoreReply(GVariant*, const GError*) {}

}  // namespace

ObexPush::ObexPush(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds callTimeout)
    : connectTimeout_(connectTimeout), callTimeout_(callTimeout)
{}

ObexPush::~ObexPush()
{
    cancel();
    if (sending_) {
        g_cancellable_cancel(sending_);
        g_object_unref(sending_);
    }
    g_clear_object(&session_);
}

bool ObexPush::send(const std::string& address, const std::string& adapter, StagedClip file)
{
    if (status_ == kSending)
        return false;
    if (sending_)
        g_object_unref(sending_);
    sending_ = g_cancellable_new();
    status_ = kSending;
    file_.emplace(std::move(file));
    address_ = address;
    transferred_ = size_ = 0;
    systemBusAsync(sending_, [this, adapter](GDBusConnection* bus) {
        if (!bus || adapter.empty())
            return connect();
        callAsync(bus, {"org.bluez", adapter, "org.freedesktop.DBus.Properties"}, "Get",
                  g_variant_new("(ss)", "org.bluez.Adapter1", "Powered"), "(v)", callTimeout_, sending_,
                  [this](GVariant* reply, const GError*) {
                      g_autoptr(GVariant) powered = nullptr;
                      if (reply)
                          g_variant_get(reply, "(v)", &powered);
                      // Only an adapter that says it is off is taken for off: OBEX finds out the rest.
                      if (powered && g_variant_is_of_type(powered, G_VARIANT_TYPE_BOOLEAN) &&
                          !g_variant_get_boolean(powered))
                          return finish(kBluetoothOff);
                      connect();
                  });
    });
    return true;
}

void ObexPush::connect()
{
    sessionBusAsync(sending_, [this](GDBusConnection* bus) {
        if (!bus)
            return finish(kNoObexService);
        g_set_object(&session_, bus);
        GVariantBuilder options;
        g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&options, "{sv}", "Target", g_variant_new_string("opp"));
        // The OBEX service is started by the bus when it is not running yet.
        callAsync(
            session_, kClient, "CreateSession", g_variant_new("(sa{sv})", address_.c_str(), &options), "(o)",
            connectTimeout_, sending_,
            [this](GVariant* reply, const GError* error) {
                if (!reply)
                    return finish(noService(error) ? kNoObexService : kOutOfReach);
                const gchar* session = nullptr;
                g_variant_get(reply, "(&o)", &session);
                sessionPath_ = session;
                push();
            },
            G_DBUS_CALL_FLAGS_NONE);
    });
}

void ObexPush::push()
{
    // Listening before the transfer exists, so that not even its first change is missed.
    subscription_ = g_dbus_connection_signal_subscribe(session_, kObex, "org.freedesktop.DBus.Properties",
                                                       "PropertiesChanged", nullptr, kTransfer,
                                                       G_DBUS_SIGNAL_FLAGS_NONE, &ObexPush::onChanged, this, nullptr);
    callAsync(session_, {kObex, sessionPath_, "org.bluez.obex.ObjectPush1"}, "SendFile",
              g_variant_new("(s)", file_->file().c_str()), "(oa{sv})", callTimeout_, sending_,
              [this](GVariant* reply, const GError*) {
                  if (!reply)
                      return finish(kRefused);
                  const gchar* transfer = nullptr;
                  g_autoptr(GVariant) properties = nullptr;
                  g_variant_get(reply, "(&o@a{sv})", &transfer, &properties);
                  transferPath_ = transfer;
                  follow(properties);
              });
}

void ObexPush::onChanged(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                         GVariant* parameters, gpointer self)
{
    auto* push = static_cast<ObexPush*>(self);
    if (push->transferPath_.empty() || push->transferPath_ != path ||
        !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)")))
        return;
    g_autoptr(GVariant) changed = g_variant_get_child_value(parameters, 1);
    push->follow(changed);
}

void ObexPush::follow(GVariant* properties)
{
    guint64 value = 0;
    if (g_variant_lookup(properties, "Size", "t", &value))
        size_ = value;
    if (g_variant_lookup(properties, "Transferred", "t", &value))
        transferred_ = value;
    const gchar* state = nullptr;
    if (!g_variant_lookup(properties, "Status", "&s", &state))
        return;
    if (g_str_equal(state, "complete")) {
        transferred_ = size_;
        finish(kSent);
    } else if (g_str_equal(state, "error")) {
        finish(kRefused);
    }
}

void ObexPush::finish(std::int32_t status)
{
    if (subscription_) {
        g_dbus_connection_signal_unsubscribe(session_, subscription_);
        subscription_ = 0;
    }
    // The session must go whatever comes next, so its removal is never cancelled.
    if (!sessionPath_.empty())
        callAsync(session_, kClient, "RemoveSession", g_variant_new("(o)", sessionPath_.c_str()), "()", callTimeout_,
                  nullptr, ignoreReply);
    sessionPath_.clear();
    transferPath_.clear();
    file_.reset();
    status_ = status;
}

void ObexPush::cancel()
{
    if (status_ != kSending)
        return;
    g_cancellable_cancel(sending_);
    if (!transferPath_.empty())
        callAsync(session_, {kObex, transferPath_, kTransfer}, "Cancel", nullptr, "()", callTimeout_, nullptr,
                  ignoreReply);
    finish(kCancelled);
}

std::string ObexPush::progress() const
{
    if (size_ == 0 && transferred_ == 0)
        return {};
    return std::to_string(transferred_) + ":::" + std::to_string(size_);
}

}  // namespace quillon::delivery
