#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "app/web_view_host.h"

namespace quillon::app {

class AppHost;

// What a page's DTE_ShowModalDialog asks for, as the dialog shows it.
struct DialogRequest {
    std::string url;
    std::string title;
    int pageWidth = 1;
    int pageHeight = 1;
};

// A modal window whose whole client area is one web view showing the requested
// page. Whoever runs it decides what its ending means.
class HtmlDialog {
public:
    HtmlDialog(AppHost& app, DialogRequest request, GtkWindow* owner);
    ~HtmlDialog();
    HtmlDialog(const HtmlDialog&) = delete;
    HtmlDialog& operator=(const HtmlDialog&) = delete;

    // Shows the dialog and runs a nested loop until it ends.
    void run();
    // Ends the loop (a page closed the dialog, the user cancelled it, or the app ends).
    void end();
    [[nodiscard]] GtkWindow* window() const { return GTK_WINDOW(window_); }
    // Its page's view, which tells its bridge calls from other pages'.
    [[nodiscard]] WebKitWebView* view() const { return browser_->view(); }

private:
    void initialise();
    static gboolean onKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean onDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer self);

    const DialogRequest request_;
    GtkWidget* window_;
    std::unique_ptr<WebViewHost> browser_;
    GMainLoop* loop_;
};

}  // namespace quillon::app
