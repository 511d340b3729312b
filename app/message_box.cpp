#include "app/message_box.h"

#include "app/message_box_style.h"

namespace quillon::app {

namespace {

GtkMessageType messageType(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Error: return GTK_MESSAGE_ERROR;
    case BoxIcon::Question: return GTK_MESSAGE_QUESTION;
    case BoxIcon::Warning: return GTK_MESSAGE_WARNING;
    case BoxIcon::Information: return GTK_MESSAGE_INFO;
    case BoxIcon::None: break;
    }
    return GTK_MESSAGE_OTHER;
}

const char* iconName(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Error: return "dialog-error";
    case BoxIcon::Question: return "dialog-question";
    case BoxIcon::Warning: return "dialog-warning";
    case BoxIcon::Information: return "dialog-information";
    case BoxIcon::None: break;
    }
    return nullptr;
}

}  // namespace

std::int32_t runMessageBox(GtkWindow* owner, const std::string& caption, const std::string& text, std::int32_t style)
{
    const MessageBoxLayout layout = messageBoxLayout(style);
    GtkWidget* box =
        gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, messageType(layout.icon), GTK_BUTTONS_NONE, "%s", text.c_str());
    // Workaround(https://docs.gtk.org/gtk3/method.MessageDialog.set_image.html, deprecated
    // since 3.12): GTK no longer draws an icon for the message kind, so it goes beside the
    // text, in the row that holds the message area; remove when the box is built from a
    // toolkit widget that draws it.
    GtkWidget* row = gtk_widget_get_parent(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box)));
    if (const char* icon = iconName(layout.icon); icon && GTK_IS_BOX(row)) {
        GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
        gtk_widget_set_valign(image, GTK_ALIGN_START);
        gtk_widget_show(image);
        gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
        gtk_box_reorder_child(GTK_BOX(row), image, 0);
    }
    // A header bar draws the caption the same under every window manager, as the
    // app's own windows do.
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_title(GTK_HEADER_BAR(header), caption.c_str());
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), layout.closeAnswer != 0);
    gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(header), ":close");
    gtk_widget_show(header);
    gtk_window_set_titlebar(GTK_WINDOW(box), header);
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    for (const auto& button : layout.buttons)
        gtk_dialog_add_button(GTK_DIALOG(box), button.label.c_str(), button.id);
    gtk_dialog_set_default_response(GTK_DIALOG(box), layout.buttons[layout.defaultButton].id);
    gtk_window_set_deletable(GTK_WINDOW(box), layout.closeAnswer != 0);

    std::int32_t answer = 0;
    while (answer == 0) {
        const int response = gtk_dialog_run(GTK_DIALOG(box));
        answer = response > 0 ? response : layout.closeAnswer;  // closing without a button
    }
    gtk_widget_destroy(box);
    return answer;
}

}  // namespace quillon::app
