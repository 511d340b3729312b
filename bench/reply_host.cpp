// A web view hosted like the app's main view (the app's web extension, a private
// bridge channel served by the same ScriptBridge and ChannelServer) that also
// offers WebKit's own asynchronous script message with a reply, so one page can
// time both kinds of call in the same process and run.
//
// Usage: bench_reply_host <app folder> <page in its res folder>
#include <gio/gunixfdlist.h>
#include <gtk/gtk.h>
#include <sys/socket.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/version.h"
#include "bridge/app_page.h"
#include "bridge/channel_message.h"
#include "bridge/channel_server.h"
#include "bridge/script_bridge.h"
#include "tests/recording_members.h"

namespace {

// The page finds the handler as window.webkit.messageHandlers.qbench.
constexpr const char* kReplyHandler = "qbench";

gboolean onMessageWithReply(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply, gpointer)
{
    // The same answer a DTE_GetVersion call gives, so both calls carry the same text back.
    JSCContext* context = jsc_value_get_context(value);
    JSCValue* answer = jsc_value_new_string(context, "210");
    webkit_script_message_reply_return_value(reply, answer);
    g_object_unref(answer);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || !gtk_init_check(&argc, &argv)) {
        std::fputs("usage: bench_reply_host <app folder> <page> (needs a display)\n", stderr);
        return 2;
    }
    const std::filesystem::path app = std::filesystem::canonical(argv[1]);
    const std::string resDir = (app / "res").string();
    const std::string page = (app / "res" / argv[2]).string();

    WebKitWebContext* context = webkit_web_context_new();
    webkit_web_context_set_web_extensions_directory(context, (app / "webext").c_str());
    webkit_web_context_set_web_extensions_initialization_user_data(context, g_variant_new_string(resDir.c_str()));

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    g_signal_connect(content, "script-message-with-reply-received", G_CALLBACK(onMessageWithReply), nullptr);
    webkit_user_content_manager_register_script_message_handler_with_reply(content, kReplyHandler, nullptr);

    WebKitSettings* settings = webkit_settings_new_with_settings(
        "allow-file-access-from-file-urls", TRUE, "hardware-acceleration-policy",
        WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, "enable-write-console-messages-to-stdout", TRUE, nullptr);
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings,
                                              "user-content-manager", content, nullptr));
    g_object_unref(settings);

    quillon::test::RecordedCalls target;  // answers as the app's bridge does, without windows or jobs
    target.recording = false;
    target.answers["GetVersion"] = {quillon::bridge::BridgeValue::text(std::string(quillon::base::kVersionCode))};
    quillon::bridge::ScriptBridge bridge(quillon::test::recordingMembers(),
                                         [&target] { return static_cast<void*>(&target); });
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        std::perror("socketpair");
        return 1;
    }
    const auto channel =
        quillon::bridge::ChannelServer::serve(quillon::base::UniqueFd(ends[0]), bridge, view,
                                              [view, isAppPage = quillon::bridge::AppPageCheck(resDir)]() mutable {
                                                  return isAppPage(webkit_web_view_get_uri(view));
                                              });
    GUnixFDList* fds = g_unix_fd_list_new();
    g_unix_fd_list_append(fds, ends[1], nullptr);
    ::close(ends[1]);
    WebKitUserMessage* message =
        webkit_user_message_new_with_fd_list(quillon::bridge::kChannelMessageName, nullptr, fds);
    g_object_unref(fds);
    webkit_web_view_send_message_to_page(view, message, nullptr, nullptr, nullptr);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_size_request(GTK_WIDGET(view), 760, 471);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gchar* uri = g_filename_to_uri(page.c_str(), nullptr, nullptr);
    webkit_web_view_load_uri(view, uri);
    g_free(uri);
    gtk_widget_show_all(window);
    gtk_main();
    channel->close();
    g_object_unref(content);
    g_object_unref(context);
    return 0;
}
