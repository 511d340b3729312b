#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>

#include "bridge/channel_server.h"

namespace quillon::app {

class AppHost;

// One web view of the app (the main window's or a dialog's) with everything that
// makes it an application surface rather than a browser: its private bridge
// channel, the app's popup menu in place of the page menu, the key filter, the
// app's alert box and the navigation rules.
class WebViewHost {
public:
    using PopupHandler = std::function<void(GdkEvent* trigger)>;

    // popup shows the app's menu; an empty one means no menu outside input fields.
    WebViewHost(AppHost& app, PopupHandler popup);
    ~WebViewHost();
    WebViewHost(const WebViewHost&) = delete;
    WebViewHost& operator=(const WebViewHost&) = delete;

    [[nodiscard]] GtkWidget* widget() const { return GTK_WIDGET(view_); }
    [[nodiscard]] WebKitWebView* view() const { return view_; }
    void navigate(const std::string& pathOrUri);

private:
    void openChannel();
    static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, WebViewHost*);
    static gboolean onKeyPress(GtkWidget*, GdkEventKey*, WebViewHost*);
    static gboolean onButtonPress(GtkWidget*, GdkEventButton*, WebViewHost*);
    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, WebViewHost*);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, WebViewHost*);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, WebViewHost*);
    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, WebViewHost*);

    AppHost& app_;
    PopupHandler popup_;
    WebKitWebView* view_ = nullptr;
    std::shared_ptr<bridge::ChannelServer> channel_;
    std::string lastAppPage_;
};

}  // namespace quillon::app
