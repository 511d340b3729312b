#include "app/html_dialog.h"

#include <algorithm>

#include "app/app_host.h"
#include "app/main_window.h"

namespace quillon::app {

namespace {

// A page area no page can turn into an absurd surface.
int pageExtent(int requested) { return std::clamp(requested, 1, 4096); }

}  // namespace

HtmlDialog::HtmlDialog(AppHost& app, MainWindow& main, GtkWindow* owner)
    : app_(app), main_(main), window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)), loop_(g_main_loop_new(nullptr, FALSE))
{
    g_object_ref_sink(window_);
    gtk_window_set_transient_for(GTK_WINDOW(window_), owner);
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(window_), TRUE);
    // No popup menu is shown while a dialog is up, so the view gets no handler.
    browser_ = std::make_unique<WebViewHost>(app_, nullptr);
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
    pageAddress_ = main_.dialogUrl;
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_skip_taskbar_hint(window, TRUE);

    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
    gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(header), ":close");
    gtk_window_set_titlebar(window, header);

    // The dialog's outer size is given in the main window's measure; its frame is
    // the same, so the page gets what remains once that frame is taken off.
    gtk_widget_set_size_request(browser_->widget(), pageExtent(main_.dialogWidth - (main_.frameExtraWidth - 2)),
                                pageExtent(main_.dialogHeight - (main_.frameExtraHeight - 2)));
    gtk_container_add(GTK_CONTAINER(window_), browser_->widget());
    // Centred over the owner: the requested corner is not used.
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_title(window, main_.dialogTitle.c_str());

    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKeyPress), this);
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDeleteEvent), this);
    browser_->navigate(pageAddress_);
}

void HtmlDialog::run()
{
    initialise();
    gtk_widget_show_all(window_);
    g_main_loop_run(loop_);
    gtk_widget_hide(window_);
}

void HtmlDialog::end(int result)
{
    result_ = result;
    g_main_loop_quit(loop_);
}

void HtmlDialog::cancel()
{
    main_.clearDialogFields();
    app_.dialogOpen = 0;
    end(2);
}

gboolean HtmlDialog::onKeyPress(GtkWidget*, GdkEventKey* event, HtmlDialog* self)
{
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    self->cancel();
    return TRUE;
}

gboolean HtmlDialog::onDeleteEvent(GtkWidget*, GdkEvent*, HtmlDialog* self)
{
    self->cancel();
    return TRUE;
}

}  // namespace quillon::app
