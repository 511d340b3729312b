#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "app/web_view_host.h"

namespace quillon::app {

class AppHost;
class MainWindow;

// A modal window whose whole client area is one web view showing one page. It
// takes its page, caption and size from the main window's dialog fields.
class HtmlDialog {
public:
    HtmlDialog(AppHost& app, MainWindow& main, GtkWindow* owner);
    ~HtmlDialog();
    HtmlDialog(const HtmlDialog&) = delete;
    HtmlDialog& operator=(const HtmlDialog&) = delete;

    // Shows the dialog and runs a nested loop until it ends.
    void run();
    // Ends the loop with a result (1 closed by a page, 2 cancelled).
    void end(int result);
    [[nodiscard]] GtkWindow* window() const { return GTK_WINDOW(window_); }
    [[nodiscard]] WebKitWebView* view() const { return browser_->view(); }

private:
    void initialise();
    void cancel();
    static gboolean onKeyPress(GtkWidget*, GdkEventKey* event, HtmlDialog* self);
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, HtmlDialog* self);

    AppHost& app_;
    MainWindow& main_;
    GtkWidget* window_;
    std::unique_ptr<WebViewHost> browser_;
    std::string pageAddress_;
    GMainLoop* loop_;
    int result_ = 0;
};

}  // namespace quillon::app
