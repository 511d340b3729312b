#include "delivery/paired_phones.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "delivery/clip_file_name.h"
#include "delivery/dbus_call.h"
#include "delivery/own_clip.h"
#include "delivery/phone_listing.h"

namespace quillon::delivery {

namespace {

// The daemon's bus name in newer releases first, then Debian 12's; one daemon
// answering under both is listed once.
constexpr std::array<const char*, 2> kKdeConnectNames = {"org.kde.kdeconnect.daemon", "org.kde.kdeconnect"};
constexpr const char* kKdeConnectRoot = "/modules/kdeconnect";
constexpr const char* kGsConnectName = "org.gnome.Shell.Extensions.GSConnect";
constexpr const char* kGsConnectRoot = "/org/gnome/Shell/Extensions/GSConnect";
constexpr const char* kGsConnectDevice = "org.gnome.Shell.Extensions.GSConnect.Device";

// A device id becomes one element of an object path: letters, digits and '_' only.
bool isPathElement(std::string_view id)
{
    return !id.empty() && std::ranges::all_of(id, [](char c) { return g_ascii_isalnum(c) || c == '_'; });
}

bool flag(GVariant* properties, const char* name)
{
    gboolean value = FALSE;
    return g_variant_lookup(properties, name, "b", &value) && value;
}

}  // namespace

PairedPhones::PairedPhones(std::filesystem::path tempDir, std::chrono::milliseconds callTimeout)
    : tempDir_(std::move(tempDir)), timeout_(callTimeout)
{}

PairedPhones::~PairedPhones()
{
    // Cancelled calls never reach this object again.
    for (GCancellable* cancellable : {finding_, sending_}) {
        if (cancellable) {
            g_cancellable_cancel(cancellable);
            g_object_unref(cancellable);
        }
    }
    g_clear_object(&bus_);
}

void PairedPhones::restart(GCancellable*& cancellable)
{
    if (cancellable) {
        g_cancellable_cancel(cancellable);
        g_object_unref(cancellable);
    }
    cancellable = g_cancellable_new();
}

bool PairedPhones::find()
{
    restart(finding_);
    phones_.clear();
    findStatus_ = 1;
    sessionBusAsync(finding_, [this](GDBusConnection* bus) {
        if (!bus) {
            findStatus_ = kDone;
            return;
        }
        g_set_object(&bus_, bus);
        pending_ = 2;
        askKdeConnect(0);
        askGsConnect();
    });
    return true;
}

void PairedPhones::answered()
{
    if (--pending_ == 0)
        findStatus_ = kDone;
}

// Asks each of the daemon's names in turn until one answers.
void PairedPhones::askKdeConnect(std::size_t nameIndex)
{
    if (nameIndex == kKdeConnectNames.size())
        return answered();
    const std::string busName = kKdeConnectNames.at(nameIndex);
    callAsync(bus_, {busName, kKdeConnectRoot, "org.kde.kdeconnect.daemon"}, "devices",
              g_variant_new("(bb)", TRUE, TRUE), "(as)", timeout_, finding_,
              [this, busName, nameIndex](GVariant* reply, const GError*) {
                  if (!reply)
                      return askKdeConnect(nameIndex + 1);
                  g_autofree const gchar** devices = nullptr;
                  g_variant_get(reply, "(^a&s)", &devices);
                  // The one answer becomes one per device, each asked for its name. A
                  // device whose id names no object cannot be asked, nor sent to.
                  for (const gchar** device = devices; *device; ++device) {
                      if (!isPathElement(*device))
                          continue;
                      ++pending_;
                      nameKdeDevice(busName, *device);
                  }
                  answered();
              });
}

void PairedPhones::nameKdeDevice(const std::string& busName, const std::string& device)
{
    const std::string path = std::string(kKdeConnectRoot) + "/devices/" + device;
    callAsync(
        bus_, {busName, path, "org.freedesktop.DBus.Properties"}, "Get",
        g_variant_new("(ss)", "org.kde.kdeconnect.device", "name"), "(v)", timeout_, finding_,
        [this, busName, device, path](GVariant* reply, const GError*) {
            g_autoptr(GVariant) name = nullptr;
            if (reply)
                g_variant_get(reply, "(v)", &name);
            // A device that cannot tell its name has gone out of reach meanwhile.
            if (name && g_variant_is_of_type(name, G_VARIANT_TYPE_STRING))
                phones_.push_back({"kdeconnect/" + device, g_variant_get_string(name, nullptr), busName, path, false});
            answered();
        });
}

void PairedPhones::askGsConnect()
{
    callAsync(bus_, {kGsConnectName, kGsConnectRoot, "org.freedesktop.DBus.ObjectManager"}, "GetManagedObjects",
              nullptr, "(a{oa{sa{sv}}})", timeout_, finding_, [this](GVariant* reply, const GError*) {
                  if (reply) {
                      g_autoptr(GVariant) objects = g_variant_get_child_value(reply, 0);
                      GVariantIter iter;
                      g_variant_iter_init(&iter, objects);
                      const gchar* path = nullptr;
                      GVariant* interfaces = nullptr;
                      while (g_variant_iter_loop(&iter, "{&o@a{sa{sv}}}", &path, &interfaces)) {
                          g_autoptr(GVariant) device = g_variant_lookup_value(interfaces, kGsConnectDevice, nullptr);
                          const gchar* name = nullptr;
                          if (device && flag(device, "Paired") && flag(device, "Connected") &&
                              g_variant_lookup(device, "Name", "&s", &name)) {
                              g_autofree gchar* id = g_path_get_basename(path);
                              phones_.push_back({std::string("gsconnect/") + id, name, kGsConnectName, path, true});
                          }
                      }
                  }
                  answered();
              });
}

std::string PairedPhones::listing() const
{
    if (findStatus_ != kDone)
        return {};
    std::vector<ListedPhone> listed;
    for (const Phone& phone : phones_)
        listed.push_back({phone.id, phone.name});
    return phoneListing(listed);
}

bool PairedPhones::send(const std::string& phoneId, const std::string& clipPath, const std::string& name)
{
    const auto phone = std::find_if(phones_.begin(), phones_.end(), [&](const Phone& p) { return p.id == phoneId; });
    if (findStatus_ != kDone || phone == phones_.end() || !bus_ || !isOwnClip(clipPath, tempDir_))
        return false;
    // The phone keeps the name of the file it is sent; the last one named stays
    // until the next send, as the phone's service reads it after the call.
    shared_.reset();
    if (!name.empty())
        shared_ = StagedClip::make(clipPath, tempDir_, clipFileName(name));
    g_autofree gchar* uri = g_filename_to_uri(shared_ ? shared_->file().c_str() : clipPath.c_str(), nullptr, nullptr);
    if (!uri)
        return false;
    restart(sending_);
    sendStatus_ = 1;
    const auto onReply = [this](GVariant* reply, const GError* error) {
        sendStatus_ = reply                                                      ? kDone
                      : g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ? kNoAnswer
                                                                                 : kUnreachable;
    };
    if (phone->gsconnect) {
        // The action's one parameter: the file and whether to open it there (no).
        GVariant* file = g_variant_new_variant(g_variant_new("(sb)", uri, FALSE));
        callAsync(bus_, {phone->busName, phone->path, "org.gtk.Actions"}, "Activate",
                  g_variant_new("(s@av@a{sv})", "shareFile", g_variant_new_array(G_VARIANT_TYPE_VARIANT, &file, 1),
                                g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                  "()", timeout_, sending_, onReply);
    } else {
        callAsync(bus_, {phone->busName, phone->path + "/share", "org.kde.kdeconnect.device.share"}, "shareUrl",
                  g_variant_new("(s)", uri), "()", timeout_, sending_, onReply);
    }
    return true;
}

}  // namespace quillon::delivery
