#include "app/web_view_host.h"

#include <gio/gunixfdlist.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "app/app_host.h"
#include "app/key_filter.h"
#include "app/message_box.h"
#include "app/message_box_style.h"
#include "bridge/app_page.h"
#include "bridge/channel_message.h"

namespace quillon::app {

namespace {

WebKitSettings* newSettings()
{
    const char* console = std::getenv("QUILLON_CONSOLE");
    // File-URL access rules matter only for file pages, and the navigation rule
    // below keeps the view's file pages inside the app's res folder. Universal
    // access stays: the host lets every page it shows read data across domains
    // (a page opened as a dialog may fetch from its site with XMLHttpRequest),
    // which for a file page is exactly this setting.
    return webkit_settings_new_with_settings(
        "allow-file-access-from-file-urls", TRUE, "allow-universal-access-from-file-urls", TRUE,
        "javascript-can-open-windows-automatically", FALSE, "enable-developer-extras", FALSE,
        "enable-back-forward-navigation-gestures", FALSE, "enable-caret-browsing", FALSE,
        "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER,
        "enable-write-console-messages-to-stdout", console && std::string(console) == "1", nullptr);
}

}  // namespace

WebViewHost::WebViewHost(AppHost& app, PopupHandler popup) : app_(app), popup_(std::move(popup))
{
    g_autoptr(WebKitSettings) settings = newSettings();
    view_ = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", app.webContext(), "settings", settings, nullptr));
    g_object_ref_sink(view_);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(onContextMenu), this);
    g_signal_connect(view_, "key-press-event", G_CALLBACK(onKeyPress), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(onButtonPress), this);
    g_signal_connect(view_, "script-dialog", G_CALLBACK(onScriptDialog), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), this);
    openChannel();
}

WebViewHost::~WebViewHost()
{
    g_signal_handlers_disconnect_by_data(view_, this);
    if (channel_)
        channel_->close();
    g_object_unref(view_);
}

// A socket pair per view: one end served here, the other handed to this view's
// page alone. No socket file exists, so no other process can reach the bridge.
void WebViewHost::openChannel()
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        g_warning("quillon: no bridge channel for a web view: %s", g_strerror(errno));
        return;
    }
    if (channel_)
        channel_->close();
    WebKitWebView* view = view_;
    channel_ = bridge::ChannelServer::serve(base::UniqueFd(ends[0]), app_.bridge(), view_,
                                            [view, isAppPage = bridge::AppPageCheck(app_.resDir())]() mutable {
                                                return isAppPage(webkit_web_view_get_uri(view));
                                            });
    g_autoptr(GUnixFDList) fds = g_unix_fd_list_new();
    g_unix_fd_list_append(fds, ends[1], nullptr);
    ::close(ends[1]);
    WebKitUserMessage* message = webkit_user_message_new_with_fd_list(bridge::kChannelMessageName, nullptr, fds);
    webkit_web_view_send_message_to_page(view_, message, nullptr, nullptr, nullptr);
}

void WebViewHost::navigate(const std::string& pathOrUri)
{
    // An absolute path is a local file; a text without a scheme names a page in res/.
    std::string uri = pathOrUri;
    g_autofree gchar* scheme = g_uri_parse_scheme(pathOrUri.c_str());
    if (!scheme) {
        const std::string path =
            !pathOrUri.empty() && pathOrUri.front() == '/' ? pathOrUri : app_.resDir() + "/" + pathOrUri;
        if (g_autofree gchar* fileUri = g_filename_to_uri(path.c_str(), nullptr, nullptr))
            uri = fileUri;
    }
    webkit_web_view_load_uri(view_, uri.c_str());
}

gboolean WebViewHost::onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* trigger, WebKitHitTestResult* hit,
                                    WebViewHost* self)
{
    if (webkit_hit_test_result_context_is_editable(hit))
        return FALSE;  // input fields keep the engine's edit menu
    if (self->popup_)
        self->popup_(trigger);
    return TRUE;
}

gboolean WebViewHost::onKeyPress(GtkWidget*, GdkEventKey* event, WebViewHost*)
{
    const auto state = event->state;
    return isSwallowedKey(event->keyval, state & GDK_CONTROL_MASK, state & GDK_MOD1_MASK, state & GDK_SHIFT_MASK);
}

gboolean WebViewHost::onButtonPress(GtkWidget*, GdkEventButton* event, WebViewHost*)
{
    return event->button == 8 || event->button == 9;  // the mouse's back and forward buttons
}

gboolean WebViewHost::onScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, WebViewHost*)
{
    if (webkit_script_dialog_get_dialog_type(dialog) != WEBKIT_SCRIPT_DIALOG_ALERT)
        return FALSE;
    // Whatever the page asked for: the app's caption and one OK button.
    GtkWidget* toplevel = gtk_widget_get_toplevel(GTK_WIDGET(view));
    runMessageBox(GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr, "   Quillon",
                  webkit_script_dialog_get_message(dialog), box_style::kOk);
    return TRUE;
}

gboolean WebViewHost::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                     WebViewHost* self)
{
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION)
        return FALSE;
    auto* action = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (uri && g_str_has_prefix(uri, "file:") && !bridge::isAppPage(uri, self->app_.resDir())) {
        webkit_policy_decision_ignore(decision);  // local files outside res/ never load here
        return TRUE;
    }
    return FALSE;
}

void WebViewHost::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, WebViewHost* self)
{
    const char* uri = webkit_web_view_get_uri(view);
    if (event == WEBKIT_LOAD_COMMITTED && uri && bridge::isAppPage(uri, self->app_.resDir()))
        self->lastAppPage_ = uri;
}

// A crashed page process takes its end of the channel with it: give the new one
// a fresh channel and show the last app page again.
void WebViewHost::onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, WebViewHost* self)
{
    self->openChannel();
    if (!self->lastAppPage_.empty())
        webkit_web_view_load_uri(self->view_, self->lastAppPage_.c_str());
}

}  // namespace quillon::app
