// Entry of the web-process extension: unpacks the start-up data (the app's res
// folder), takes each page's channel from the UI process, and installs
// window.external on every app page the frame loads.
#include <gio/gunixfdlist.h>
#include <webkit2/webkit-web-extension.h>

#include <memory>
#include <string>

#include "bridge/app_page.h"
#include "bridge/channel_client.h"
#include "bridge/channel_message.h"
#include "bridge/external/external_object.h"

namespace {

constexpr const char* kChannelKey = "quillon-channel";

std::string resDir;

using SharedChannel = std::shared_ptr<quillon::bridge::PageChannel>;

gboolean onUserMessage(WebKitWebPage* page, WebKitUserMessage* message, gpointer)
{
    if (g_strcmp0(webkit_user_message_get_name(message), quillon::bridge::kChannelMessageName) != 0)
        return FALSE;
    GUnixFDList* fds = webkit_user_message_get_fd_list(message);
    const int fd = fds && g_unix_fd_list_get_length(fds) > 0 ? g_unix_fd_list_get(fds, 0, nullptr) : -1;
    g_object_set_data_full(
        G_OBJECT(page), kChannelKey,
        new SharedChannel(std::make_shared<quillon::bridge::PageChannel>(quillon::base::UniqueFd(fd))),
        [](gpointer p) { delete static_cast<SharedChannel*>(p); });
    return TRUE;
}

void onPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer)
{
    g_signal_connect(page, "user-message-received", G_CALLBACK(onUserMessage), nullptr);
}

void onWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer)
{
    const char* uri = webkit_frame_get_uri(frame);
    if (!uri || !quillon::bridge::isAppPage(uri, resDir))
        return;  // pages from anywhere else never get the bridge
    auto* channel = static_cast<SharedChannel*>(g_object_get_data(G_OBJECT(page), kChannelKey));
    auto client = channel ? *channel : std::make_shared<quillon::bridge::PageChannel>(quillon::base::UniqueFd());

    g_autoptr(JSCContext) context = webkit_frame_get_js_context_for_script_world(frame, world);
    g_autoptr(JSCValue) external = quillon::bridge::newExternalObject(context, std::move(client));
    g_autoptr(JSCValue) global = jsc_context_get_global_object(context);
    jsc_value_object_set_property(global, "external", external);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                               const GVariant* data)
{
    if (data && g_variant_is_of_type(const_cast<GVariant*>(data), G_VARIANT_TYPE_STRING))
        resDir = g_variant_get_string(const_cast<GVariant*>(data), nullptr);
    g_signal_connect(extension, "page-created", G_CALLBACK(onPageCreated), nullptr);
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(onWindowObjectCleared),
                     nullptr);
}
