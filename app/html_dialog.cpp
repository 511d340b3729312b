#include "app/html_dialog.h"

namespace quillon::app {

HtmlDialog::HtmlDialog(AppHost& app, DialogRequest request, GtkWindow* owner)
    : request_(std::move(request)), window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)), loop_(g_main_loop_new(nullptr, FALSE))
{
    g_object_ref_sink(window_);
    gtk_window_set_transient_for(GTK_WINDOW(window_), owner);
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(window_), TRUE);
    // No popup menu is shown while a dialog is up, so the view gets no handler.
    browser_ = std::make_unique<WebViewHost>(app, nullptr);
}

HtmlDialog::~HtmlDialog()
{
    browser_.reset();
    gtk_widget_destroy(window_);
    g_object_unref(window_);
    g_main_loop_unref(loop_);
}

void HtmlDialog::initialise()
{
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_skip_taskbar_hint(window, TRUE);

    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
    gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(header), ":close");
    gtk_window_set_titlebar(window, header);

    gtk_widget_set_size_request(browser_->widget(), request_.pageWidth, request_.pageHeight);
    gtk_container_add(GTK_CONTAINER(window_), browser_->widget());
    // Centred over the owner: the requested corner is not used.
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_title(window, request_.title.c_str());

    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKeyPress), this);
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDeleteEvent), this);
    browser_->navigate(request_.url);
}

void HtmlDialog::run()
{
    initialise();
    gtk_widget_show_all(window_);
    g_main_loop_run(loop_);
    gtk_widget_hide(window_);
}

void HtmlDialog::end() { g_main_loop_quit(loop_); }

gboolean HtmlDialog::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self)
{
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    static_cast<HtmlDialog*>(self)->end();
    return TRUE;
}

gboolean HtmlDialog::onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self)
{
    static_cast<HtmlDialog*>(self)->end();
    return TRUE;
}

}  // namespace quillon::app
