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

}  // namespace

std::int32_t runMessageBox(GtkWindow* owner, const std::string& caption, const std::string& text, std::int32_t style)
{
    const MessageBoxLayout layout = messageBoxLayout(style);
    GtkWidget* box = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, messageType(layout.icon), GTK_BUTTONS_NONE, "%s",
                                            text.c_str());
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
