#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/desktop_color_scheme.h"
#include "app/web_view_host.h"
#include "bridge/member_table.h"

namespace quillon::app {

class AppHost;
class HtmlDialog;
class JobMembers;

// The main window: a page area of 760 x 471 at first, resizable, that shows the
// start page, and the dialogs opened over it.
class MainWindow {
public:
    MainWindow(AppHost& app, JobMembers& jobs);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shows the window and runs until it is closed.
    void runModal();
    [[nodiscard]] GtkWidget* widget() const { return window_; }
    // The innermost open dialog, else the main window: the one that has the input.
    [[nodiscard]] GtkWindow* topWindow() const;
    // The app's loop while it runs, else nullptr.
    [[nodiscard]] GMainLoop* loop() const { return loop_; }

    // Tells a page that it runs in the app.
    static bool isHost() { return true; }
    static std::string version();
    // Opens a place of the service (or the homepage) in the default browser.
    static void navigate(std::string_view where);
    // A dialog's page closes that dialog only; the main window's ends the app.
    void closeWindow(bridge::CallerId caller);
    std::string showModalDialog(const std::string& title, const std::string& url, const std::string& argument,
                                std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    // The argument of the dialog last opened, and then the value its page returns.
    [[nodiscard]] std::string dialogArgument() const { return dialogArgument_; }
    void setDialogReturnValue(const std::string& value) { dialogArgument_ = value; }
    void showAboutBox();
    void showContact();
    void showCompatibility();
    void showUsage();
    std::int32_t messageBox(const std::string& text, std::int32_t style);
    [[nodiscard]] std::string selectMediaFile();

private:
    void initialise();
    void showFixedDialog(const char* title, const char* page, int width, int height);
    [[nodiscard]] std::string startPageUri() const;
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, MainWindow* self);
    static gboolean onEndSignal(MainWindow* self);
    // Ends the app's loop, dialogs still open over it included.
    void end();

    AppHost& app_;
    JobMembers& jobs_;
    GtkWidget* window_ = nullptr;
    std::unique_ptr<WebViewHost> browser_;
    GMainLoop* loop_ = nullptr;
    // The open HTML dialogs, innermost last: a dialog is up while it is not empty.
    std::vector<HtmlDialog*> dialogs_;
    std::string dialogArgument_;
    std::vector<guint> signalSources_;
    std::unique_ptr<DesktopColorScheme> colorScheme_;
};

}  // namespace quillon::app
