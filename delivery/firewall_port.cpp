#include "delivery/firewall_port.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "delivery/dbus_call.h"
#include "delivery/firewall_rules.h"

namespace quillon::delivery {

namespace {

constexpr const char* kFirewalld = "org.fedoraproject.FirewallD1";
constexpr const char* kFirewalldPath = "/org/fedoraproject/FirewallD1";
constexpr const char* kZoneInterface = "org.fedoraproject.FirewallD1.zone";

const DBusTarget kMain{kFirewalld, kFirewalldPath, kFirewalld};
const DBusTarget kZones{kFirewalld, kFirewalldPath, kZoneInterface};

bool serviceMissing(const GError* error)
{
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
}

// firewalld's own refusal, the bus's, and polkit's when no password was given.
bool refused(const GError* error)
{
    g_autofree gchar* name = error ? g_dbus_error_get_remote_error(error) : nullptr;
    const std::string remote = name ? name : "";
    return remote.find("NotAuthorized") != std::string::npos || remote.ends_with(".AccessDenied") ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED);
}

// firewalld says so when the port is in the zone already.
bool alreadyThere(const GError* error)
{
    return error && error->message && std::string_view(error->message).find("ALREADY_ENABLED") != std::string::npos;
}

// Any (port, protocol) pair of an "a(ss)" or "aas" array that lets the port in.
bool anyCovers(GVariant* pairs, std::uint16_t port)
{
    GVariantIter iter;
    g_variant_iter_init(&iter, pairs);
    for (GVariant* pair = nullptr; (pair = g_variant_iter_next_value(&iter));) {
        g_autoptr(GVariant) owned = pair;
        if (g_variant_n_children(pair) < 2)
            continue;
        g_autoptr(GVariant) number = g_variant_get_child_value(pair, 0);
        g_autoptr(GVariant) protocol = g_variant_get_child_value(pair, 1);
        if (g_variant_is_of_type(number, G_VARIANT_TYPE_STRING) &&
            g_variant_is_of_type(protocol, G_VARIANT_TYPE_STRING) &&
            tcpPortCovered(g_variant_get_string(number, nullptr), g_variant_get_string(protocol, nullptr), port))
            return true;
    }
    return false;
}

GVariant* portParameters(const std::string& zone, std::uint16_t port)
{
    return g_variant_new("(sss)", zone.c_str(), std::to_string(port).c_str(), "tcp");
}

// Closes the port in the zone; the answer changes nothing, so the call is never cancelled.
void removePort(GDBusConnection* bus, const std::string& zone, std::uint16_t port, std::chrono::milliseconds timeout)
{
    callAsync(bus, kZones, "removePort", portParameters(zone, port), "(s)", timeout, nullptr,
              [](GVariant*, const GError*) {});
}

void restart(GCancellable*& cancellable)
{
    if (cancellable) {
        g_cancellable_cancel(cancellable);
        g_object_unref(cancellable);
    }
    cancellable = g_cancellable_new();
}

}  // namespace

FirewallPort::FirewallPort(std::filesystem::path ufwConfiguration, std::chrono::milliseconds callTimeout)
    : ufwConfiguration_(std::move(ufwConfiguration)), timeout_(callTimeout)
{}

FirewallPort::~FirewallPort()
{
    for (GCancellable* cancellable : {asking_, opening_}) {
        if (cancellable) {
            g_cancellable_cancel(cancellable);
            g_object_unref(cancellable);
        }
    }
    if (!openedZone_.empty() && bus_) {
        // The app is ending and its window is gone, so this wait stalls nobody; a
        // context of its own keeps every other source of the app from running meanwhile.
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        bool answered = false;
        callAsync(bus_, kZones, "removePort", portParameters(openedZone_, port_), "(s)", timeout_, nullptr,
                  [&answered](GVariant*, const GError*) { answered = true; });
        while (!answered)
            g_main_context_iteration(context, TRUE);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }
    g_clear_object(&bus_);
}

void FirewallPort::check(std::uint16_t port, const std::string& interface,
                         std::chrono::steady_clock::time_point servingEnds)
{
    close();
    port_ = port;
    interface_ = interface;
    servingEnds_ = servingEnds;
    status_ = kChecking;
    systemBusAsync(asking_, [this](GDBusConnection* bus) {
        if (!bus)
            return noFirewalld();
        g_set_object(&bus_, bus);
        callAsync(bus_, kZones, "getZoneOfInterface", g_variant_new("(s)", interface_.c_str()), "(s)", timeout_,
                  asking_, [this](GVariant* reply, const GError* error) {
                      if (serviceMissing(error))
                          return noFirewalld();
                      const gchar* zone = "";
                      if (reply)
                          g_variant_get(reply, "(&s)", &zone);
                      zone_ = zone;
                      // An interface bound to no zone of its own is in the default zone.
                      zone_.empty() ? askZone() : askPorts();
                  });
    });
}

void FirewallPort::askZone()
{
    callAsync(bus_, kMain, "getDefaultZone", nullptr, "(s)", timeout_, asking_, [this](GVariant* reply, const GError*) {
        if (!reply) {
            status_ = kOpen;  // a firewall that cannot name its zone cannot be reasoned about
            return;
        }
        const gchar* zone = "";
        g_variant_get(reply, "(&s)", &zone);
        zone_ = zone;
        askPorts();
    });
}

void FirewallPort::askPorts()
{
    callAsync(bus_, kZones, "getPorts", g_variant_new("(s)", zone_.c_str()), "(aas)", timeout_, asking_,
              [this](GVariant* reply, const GError*) {
                  g_autoptr(GVariant) ports = reply ? g_variant_get_child_value(reply, 0) : nullptr;
                  if (ports && anyCovers(ports, port_))
                      status_ = kOpen;
                  else
                      askServices();
              });
}

void FirewallPort::askServices()
{
    callAsync(bus_, kZones, "getServices", g_variant_new("(s)", zone_.c_str()), "(as)", timeout_, asking_,
              [this](GVariant* reply, const GError*) {
                  std::vector<std::string> services;
                  g_autofree const gchar** names = nullptr;
                  if (reply)
                      g_variant_get(reply, "(^a&s)", &names);
                  for (const gchar** name = names; name && *name; ++name)
                      services.emplace_back(*name);
                  askService(std::move(services), 0);
              });
}

// The zone's services one after another, until one opens the port.
void FirewallPort::askService(std::vector<std::string> services, std::size_t index)
{
    if (index == services.size()) {
        status_ = kBlocked;
        return;
    }
    const std::string service = services[index];
    callAsync(bus_, kMain, "getServiceSettings2", g_variant_new("(s)", service.c_str()), "(a{sv})", timeout_, asking_,
              [this, services = std::move(services), index](GVariant* reply, const GError*) mutable {
                  g_autoptr(GVariant) settings = reply ? g_variant_get_child_value(reply, 0) : nullptr;
                  g_autoptr(GVariant) ports =
                      settings ? g_variant_lookup_value(settings, "ports", G_VARIANT_TYPE("a(ss)")) : nullptr;
                  if (ports && anyCovers(ports, port_))
                      status_ = kOpen;
                  else
                      askService(std::move(services), index + 1);
              });
}

void FirewallPort::noFirewalld()
{
    std::ifstream file(ufwConfiguration_);
    const std::string configuration{std::istreambuf_iterator<char>(file), {}};
    if (ufwEnabled(configuration)) {
        status_ = kUfwOn;
        response_ = ufwAllowCommand(port_);
    } else {
        status_ = kOpen;
    }
}

bool FirewallPort::allow()
{
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(servingEnds_ - std::chrono::steady_clock::now());
    if (status_ != kBlocked || !bus_ || left.count() < 1)
        return false;
    status_ = kOpening;
    if (!opening_)
        opening_ = g_cancellable_new();
    // firewalld asks polkit, which may ask the user for a password meanwhile; the
    // time-out, in whole seconds rounded down, never keeps the port open past the serving.
    callAsync(
        bus_, kZones, "addPort",
        g_variant_new("(sssi)", zone_.c_str(), std::to_string(port_).c_str(), "tcp", static_cast<gint32>(left.count())),
        "(s)", kOpenTimeout, opening_,
        [this, serving = serving_, zone = zone_, port = port_](GVariant* reply, const GError* error) {
            // Serving ended while the user was asked: what was opened for it closes at once.
            if (serving != serving_) {
                if (reply)
                    removePort(bus_, zone, port, timeout_);
                return;
            }
            if (reply)
                openedZone_ = zone;
            status_ = reply ? kOpened : alreadyThere(error) ? kOpen : refused(error) ? kRefused : kFailed;
        },
        G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION);
    return true;
}

void FirewallPort::close()
{
    restart(asking_);
    ++serving_;
    if (!openedZone_.empty() && bus_)
        removePort(bus_, openedZone_, port_, timeout_);
    openedZone_.clear();
    response_.clear();
    status_ = kIdle;
}

}  // namespace quillon::delivery
