#include "app/main_window.h"

#include "app/app_host.h"
#include "app/popup_menu.h"

namespace quillon::app {

namespace {

constexpr int kPageWidth = 760;
constexpr int kPageHeight = 471;
constexpr const char* kCaption = "Quillon - Version %s";
constexpr const char* kCaptionVersion = "2.1.0";

}  // namespace

MainWindow::MainWindow(AppHost& app) : app_(app)
{
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    initialise();
}

MainWindow::~MainWindow()
{
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
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    const auto icon = app_.exeDir() / "res" / "quillon.svg";
    gtk_window_set_icon_from_file(window, icon.c_str(), nullptr);

    // A header bar draws the caption and the close button itself, so the window
    // looks the same under every window manager (and under none).
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
    gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(header), "icon:minimize,close");
    gtk_window_set_titlebar(window, header);
    gchar* caption = g_strdup_printf(kCaption, kCaptionVersion);
    gtk_window_set_title(window, caption);
    g_free(caption);

    browser_ = std::make_unique<WebViewHost>(app_, [this](GdkEvent* trigger) { showPopupMenu(*this, trigger); });
    GtkWidget* page = browser_->widget();
    gtk_widget_set_size_request(page, kPageWidth, kPageHeight);
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

    browser_->navigate((app_.exeDir() / "res" / "selectSong.html").string());
}

void MainWindow::measureFrame()
{
    GtkAllocation client;
    gtk_widget_get_allocation(browser_->widget(), &client);
    int width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
    frameExtraWidth = width - (client.width + 2) + 2;
    frameExtraHeight = height - (client.height + 2) + 2;
}

void MainWindow::runModal()
{
    gtk_widget_show_all(window_);
    measureFrame();
    loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
}

gboolean MainWindow::onDeleteEvent(GtkWidget*, GdkEvent*, MainWindow* self)
{
    g_main_loop_quit(self->loop_);
    return TRUE;
}

void MainWindow::CloseWindow(bridge::CallerId caller)
{
    // Dialogs arrive with their own window; until then every caller is the main page.
    (void)caller;
    app_.dialogOpen = 0;
    if (loop_)
        g_main_loop_quit(loop_);
}

std::string MainWindow::ShowModalDialog(const std::string&, const std::string&, const std::string& argument,
                                        std::int32_t, std::int32_t, std::int32_t, std::int32_t)
{
    return argument;
}

std::string MainWindow::GetTEPhone() { return {}; }
void MainWindow::SetTEPhone(const std::string&) {}
std::string MainWindow::GetTENetwork() { return {}; }
void MainWindow::SetTENetwork(const std::string&) {}
std::string MainWindow::GetTEAid() { return {}; }
void MainWindow::SetTEAid(const std::string&) {}
std::string MainWindow::GetTENVCheck() { return {}; }
void MainWindow::SetTENVCheck(const std::string&) {}

void MainWindow::ShowAboutBox() {}
void MainWindow::ShowContact() {}
void MainWindow::ShowCompatibility() {}
void MainWindow::ShowUsage() {}
void MainWindow::NavigateURL(const std::string&) {}
std::int32_t MainWindow::MessageBox(const std::string&, std::int32_t) { return 0; }
std::string MainWindow::SelectMediaFile() { return {}; }

int MainWindow::MakeHttpRequest(const std::string&) { return 0; }
int MainWindow::TranscodeMedia(const std::string&, const std::string&) { return 0; }
int MainWindow::UploadFile(const std::string&, const std::string&) { return 0; }
int MainWindow::GrabAudioDataFromCD(const std::string&, const std::string&, const std::string&) { return 0; }
int MainWindow::NormalizeAudio(const std::string&) { return 0; }

int MainWindow::BreakAsyncOperation()
{
    jobs_->breakFlag.store(true, std::memory_order_release);
    return 1;
}

std::string MainWindow::GetDrivesInfo() { return {}; }
std::string MainWindow::GetTracksInfo(std::int32_t) { return {}; }

}  // namespace quillon::app
