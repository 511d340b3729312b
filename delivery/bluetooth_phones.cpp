#include "delivery/bluetooth_phones.h"

#include <algorithm>

#include "delivery/dbus_call.h"
#include "delivery/phone_listing.h"

namespace quillon::delivery {

namespace {

constexpr const char* kObjectPush = "00001105-0000-1000-8000-00805f9b34fb";

std::string textOf(GVariant* properties, const char* name)
{
    const gchar* value = nullptr;
    return g_variant_lookup(properties, name, "&s", &value) ? value : "";
}

bool takesFiles(GVariant* device)
{
    gboolean paired = FALSE;
    g_autofree const gchar** uuids = nullptr;
    if (!g_variant_lookup(device, "Paired", "b", &paired) || !paired ||
        !g_variant_lookup(device, "UUIDs", "^a&s", &uuids))
        return false;
    for (const gchar** uuid = uuids; *uuid; ++uuid)
        if (g_ascii_strcasecmp(*uuid, kObjectPush) == 0)
            return true;
    return false;
}

}  // namespace

BluetoothPhones::~BluetoothPhones()
{
    if (finding_) {
        g_cancellable_cancel(finding_);
        g_object_unref(finding_);
    }
}

bool BluetoothPhones::find()
{
    if (finding_) {
        g_cancellable_cancel(finding_);
        g_object_unref(finding_);
    }
    finding_ = g_cancellable_new();
    phones_.clear();
    status_ = 1;
    systemBusAsync(finding_, [this](GDBusConnection* bus) {
        if (!bus) {
            status_ = kDone;
            return;
        }
        callAsync(bus, {"org.bluez", "/", "org.freedesktop.DBus.ObjectManager"}, "GetManagedObjects", nullptr,
                  "(a{oa{sa{sv}}})", timeout_, finding_, [this](GVariant* reply, const GError*) {
                      if (reply) {
                          g_autoptr(GVariant) objects = g_variant_get_child_value(reply, 0);
                          take(objects);
                      }
                      status_ = kDone;
                  });
    });
    return true;
}

void BluetoothPhones::take(GVariant* objects)
{
    GVariantIter iter;
    g_variant_iter_init(&iter, objects);
    const gchar* path = nullptr;
    GVariant* interfaces = nullptr;
    while (g_variant_iter_loop(&iter, "{&o@a{sa{sv}}}", &path, &interfaces)) {
        g_autoptr(GVariant) device = g_variant_lookup_value(interfaces, "org.bluez.Device1", nullptr);
        if (!device || !takesFiles(device))
            continue;
        // The name the user gave it, else the one it gives itself.
        std::string name = textOf(device, "Alias");
        if (name.empty())
            name = textOf(device, "Name");
        const std::string address = textOf(device, "Address");
        const gchar* adapter = "";
        g_variant_lookup(device, "Adapter", "&o", &adapter);
        if (!address.empty())
            phones_.push_back({path, name.empty() ? address : name, address, adapter});
    }
}

std::string BluetoothPhones::listing() const
{
    if (status_ != kDone)
        return {};
    std::vector<ListedPhone> listed;
    for (const BluetoothPhone& phone : phones_)
        listed.push_back({phone.id, phone.name});
    return phoneListing(listed);
}

const BluetoothPhone* BluetoothPhones::phone(const std::string& id) const
{
    const auto found = std::ranges::find(phones_, id, &BluetoothPhone::id);
    return status_ == kDone && found != phones_.end() ? &*found : nullptr;
}

}  // namespace quillon::delivery
