#include "app/main_window.h"

#include <glib-unix.h>

#include <algorithm>
#include <csignal>
#include <cstdint>

#include "app/app_host.h"
#include "app/html_dialog.h"
#include "app/job_members.h"
#include "app/media_file_chooser.h"
#include "app/message_box.h"
#include "app/popup_menu.h"
#include "base/version.h"
#include "service_endpoint/homepage.h"
#include "service_endpoint/service_host.h"

namespace quillon::app {

namespace {

// The page area of a window at its default size, and the least it takes: the
// pages fit any size from the least to the full screen, scrolling below the default.
constexpr int kPageWidth = 760;
constexpr int kPageHeight = 471;
constexpr int kLeastPageWidth = 600;
constexpr int kLeastPageHeight = 360;
// Dialogs opened inside one another: each level holds a web view and a nested
// loop, so a page that keeps opening them would exhaust the process. Past this
// depth the call returns the empty text at once, as a dialog closed unanswered.
constexpr std::size_t kMaxDialogDepth = 32;

// The page asks for a dialog's client size in the main window's measure, whose
// page area sits one pixel inside its client area all round.
// A page area no page can turn into an absurd surface.
int dialogPageExtent(std::int32_t requested)
{
    return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{requested} + 2, 1, 4096));
}

// Passes the desktop's colour scheme to GTK, whose dark preference the windows and
// the pages' prefers-color-scheme follow; without a preference, GTK's own setting stays.
std::unique_ptr<DesktopColorScheme> followDesktopColorScheme()
{
    GtkSettings* settings = gtk_settings_get_default();
    if (!settings)
        return nullptr;
    gboolean own = FALSE;
    g_object_get(settings, "gtk-application-prefer-dark-theme", &own, nullptr);
    return std::make_unique<DesktopColorScheme>([settings, own](ColorScheme scheme) {
        const gboolean dark = scheme == ColorScheme::NoPreference ? own : scheme == ColorScheme::PreferDark;
        g_object_set(settings, "gtk-application-prefer-dark-theme", dark, nullptr);
    });
}

}  // namespace

MainWindow::MainWindow(AppHost& app, JobMembers& jobs) : app_(app), jobs_(jobs)
{
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    initialise();
}

MainWindow::~MainWindow()
{
    for (const guint source : signalSources_)
        g_source_remove(source);
    // The browser goes first, then the window around it.
    browser_.reset();
    gtk_widget_destroy(window_);
    g_object_unref(window_);
    if (loop_)
        g_main_loop_unref(loop_);
}

void MainWindow::initialise()
{
    GtkWindow* window = GTK_WINDOW(window_);
    colorScheme_ = followDesktopColorScheme();
    const auto icon = app_.exeDir() / "res" / "quillon.svg";
    gtk_window_set_icon_from_file(window, icon.c_str(), nullptr);

    // A header bar draws the caption and the close button itself, so the window
    // looks the same under every window manager (and under none).
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
    gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(header), "icon:minimize,maximize,close");
    GtkAccelGroup* keys = gtk_accel_group_new();
    gtk_window_add_accel_group(window, keys);
    gtk_header_bar_pack_end(GTK_HEADER_BAR(header), windowMenuButton(*this, keys));
    g_object_unref(keys);
    gtk_window_set_titlebar(window, header);
    const std::string caption = "Quillon - Version " + std::string(base::kVersion);
    gtk_window_set_title(window, caption.c_str());

    // The app's menu is hidden while a dialog is up.
    browser_ = std::make_unique<WebViewHost>(app_, [this](GdkEvent* trigger) {
        if (dialogs_.empty())
            showPopupMenu(*this, trigger);
    });
    GtkWidget* page = browser_->widget();
    gtk_widget_set_size_request(page, kLeastPageWidth, kLeastPageHeight);
    int headerHeight = 0;
    gtk_widget_get_preferred_height(header, nullptr, &headerHeight);
    gtk_window_set_default_size(window, kPageWidth + 2, kPageHeight + 2 + headerHeight);
    // The page area sits at (1, 1) inside a client area one pixel larger all round.
    gtk_widget_set_margin_start(page, 1);
    gtk_widget_set_margin_end(page, 1);
    gtk_widget_set_margin_top(page, 1);
    gtk_widget_set_margin_bottom(page, 1);
    gtk_container_add(GTK_CONTAINER(window_), page);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);

    g_signal_connect(window_, "delete-event", G_CALLBACK(onDeleteEvent), this);
    // GtkWindow has no default action for Enter or Escape; the key filter of the
    // view keeps the engine's own keys away.

    browser_->navigate(startPageUri());
}

// The start page learns where the service is, and this copy's temporary folder,
// from its address: no script member tells them, and the uploads and the pages
// must reach the same service, the jobs and the pages the same folder.
std::string MainWindow::startPageUri() const
{
    const std::string page = (app_.exeDir() / "res" / "selectSong.html").string();
    g_autofree gchar* uri = g_filename_to_uri(page.c_str(), nullptr, nullptr);
    g_autofree gchar* service =
        g_uri_escape_string(service_endpoint::serviceHost().authority().c_str(), nullptr, FALSE);
    g_autofree gchar* temp = g_uri_escape_string(app_.tempDir().c_str(), nullptr, FALSE);
    return std::string(uri ? uri : page.c_str()) + "?service=" + service + "&tmp=" + temp;
}

void MainWindow::runModal()
{
    gtk_widget_show_all(window_);
    loop_ = g_main_loop_new(nullptr, FALSE);
    // Asked to stop, the app ends as if its window were closed, so its clean-up
    // (the tools its jobs run included) still happens.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        signalSources_.push_back(g_unix_signal_add(signal, G_SOURCE_FUNC(&MainWindow::onEndSignal), this));
    g_main_loop_run(loop_);
}

void MainWindow::end()
{
    // Closing the main window ends the app, dialogs still open over it included.
    for (HtmlDialog* dialog : dialogs_)
        dialog->end();
    g_main_loop_quit(loop_);
}

gboolean MainWindow::onDeleteEvent(GtkWidget*, GdkEvent*, MainWindow* self)
{
    self->end();
    return TRUE;
}

gboolean MainWindow::onEndSignal(MainWindow* self)
{
    self->end();
    return G_SOURCE_CONTINUE;
}

std::string MainWindow::version() { return std::string(base::kVersionCode); }

void MainWindow::navigate(std::string_view where) { service_endpoint::navigateUrl(where); }

GtkWindow* MainWindow::topWindow() const { return dialogs_.empty() ? GTK_WINDOW(window_) : dialogs_.back()->window(); }

void MainWindow::closeWindow(bridge::CallerId caller)
{
    // The clip being made goes on while a dialog closes.
    const auto dialog = std::ranges::find_if(
        dialogs_, [caller](const HtmlDialog* open) { return static_cast<const void*>(open->view()) == caller; });
    if (dialog != dialogs_.end()) {
        (*dialog)->end();
        return;
    }
    jobs_.endAll();
    if (loop_)
        end();
}

std::string MainWindow::showModalDialog(const std::string& title, const std::string& url, const std::string& argument,
                                        std::int32_t, std::int32_t, std::int32_t width, std::int32_t height)
{
    if (dialogs_.size() >= kMaxDialogDepth)
        return {};
    GtkWindow* owner = topWindow();
    HtmlDialog dialog(app_, DialogRequest{url, "  " + title, dialogPageExtent(width), dialogPageExtent(height)}, owner);
    dialogArgument_ = argument;

    // A window made insensitive drops its keyboard focus; the page that had it gets it back.
    GtkWidget* focused = gtk_window_get_focus(owner);
    if (focused)
        g_object_add_weak_pointer(G_OBJECT(focused), reinterpret_cast<gpointer*>(&focused));
    gtk_widget_set_sensitive(GTK_WIDGET(owner), FALSE);
    dialogs_.push_back(&dialog);
    dialog.run();
    dialogs_.pop_back();
    gtk_widget_set_sensitive(GTK_WIDGET(owner), TRUE);
    if (focused) {
        g_object_remove_weak_pointer(G_OBJECT(focused), reinterpret_cast<gpointer*>(&focused));
        gtk_widget_grab_focus(focused);
    }
    return dialogArgument_;
}

void MainWindow::showFixedDialog(const char* title, const char* page, int width, int height)
{
    const std::string path = (app_.exeDir() / "res" / page).string();
    showModalDialog(title, path, "", 100, 100, width, height);
}

void MainWindow::showAboutBox() { showFixedDialog("About Quillon", "aboutBox.html", 247, 245); }
void MainWindow::showContact() { showFixedDialog("Quillon - FAQ and Contact us", "helpContact.html", 720, 520); }
void MainWindow::showCompatibility()
{
    showFixedDialog("Quillon - Phone Compatibility Test", "helpCompatibility.html", 700, 520);
}
void MainWindow::showUsage() { showFixedDialog("Quillon - How to use the application", "helpUsage.html", 700, 520); }

std::int32_t MainWindow::messageBox(const std::string& text, std::int32_t style)
{
    // Captioned with the program file's name, as the app's name.
    const std::string caption = std::filesystem::path(g_get_prgname() ? g_get_prgname() : "quillon").stem().string();
    return runMessageBox(topWindow(), caption, text, style);
}

std::string MainWindow::selectMediaFile() { return chooseMediaFile(topWindow()); }

}  // namespace quillon::app
