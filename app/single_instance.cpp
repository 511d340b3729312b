#include "app/single_instance.h"

namespace quillon::app {

namespace {

constexpr const char* kHandOverAction = "hand-over";

// The application id of the copy in appFolder.
std::string applicationId(const std::filesystem::path& appFolder)
{
    // A digest keeps the id within the bus name rules whatever the folder's name.
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(appFolder, error);
    const std::string folder = (error ? appFolder : canonical).string();
    g_autofree gchar* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, folder.c_str(), -1);
    return "org.quillon.Quillon.i" + std::string(digest, 16);
}

}  // namespace

SingleInstance::SingleInstance(const std::filesystem::path& appFolder)
{
    const std::string id = applicationId(appFolder);
    application_.reset(g_application_new(id.c_str(), G_APPLICATION_DEFAULT_FLAGS));

    g_autoptr(GSimpleAction) action = g_simple_action_new(kHandOverAction, G_VARIANT_TYPE_STRING);
    g_signal_connect(action, "activate", G_CALLBACK(onHandOver), this);
    g_action_map_add_action(G_ACTION_MAP(application_.get()), G_ACTION(action));

    // With no session bus GApplication registers as a local, unshared instance.
    // Registering fails only when a running copy cannot be asked what it offers;
    // this start then runs on its own rather than not at all.
    if (!g_application_register(application_.get(), nullptr, nullptr))
        return;
    primary_ = !g_application_get_is_remote(application_.get());
}

SingleInstance::~SingleInstance() = default;

void SingleInstance::onHandOver(GSimpleAction*, GVariant* parameter, SingleInstance* self)
{
    if (self->receiver_ && parameter)
        self->receiver_(g_variant_get_string(parameter, nullptr));
}

std::string SingleInstance::handOver(const std::string& file) const
{
    GDBusConnection* bus = g_application_get_dbus_connection(application_.get());
    const char* objectPath = g_application_get_dbus_object_path(application_.get());
    if (!bus || !objectPath)
        return "no running copy to hand over to";

    std::string value = file;
    if (!value.empty()) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(value, error);
        if (!error)
            value = absolute.string();
    }
    // A bus string must be UTF-8; GLib aborts on anything else.
    if (!g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr))
        return "the file name is not UTF-8 text";
    GVariant* parameter = g_variant_new_variant(g_variant_new_string(value.c_str()));
    GVariant* arguments =
        g_variant_new("(s@av@a{sv})", kHandOverAction, g_variant_new_array(G_VARIANT_TYPE_VARIANT, &parameter, 1),
                      g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
    // The call returns once the running copy has run the action: its answer, not
    // just a sent message, is what makes this start's success true.
    g_autoptr(GError) failure = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, g_application_get_application_id(application_.get()), objectPath, "org.freedesktop.Application",
        "ActivateAction", arguments, nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, &failure);
    if (!reply)
        return failure ? failure->message : "no answer";
    return {};
}

}  // namespace quillon::app
