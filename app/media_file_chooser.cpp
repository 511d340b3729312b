#include "app/media_file_chooser.h"

#include <cctype>
#include <string_view>

#include "app/file_name_check.h"
#include "app/media_file_filters.h"
#include "app/message_box.h"
#include "app/message_box_style.h"

namespace quillon::app {

namespace {

constexpr std::size_t kPathBuffer = 512;

// "*.[mM][pP]3": file names match whatever the case of their extension.
std::string anyCasePattern(std::string_view extension)
{
    std::string pattern = "*.";
    for (const char c : extension) {
        if (std::isalpha(static_cast<unsigned char>(c)))
            pattern += std::string("[") + char(std::tolower(c)) + char(std::toupper(c)) + "]";
        else
            pattern += c;
    }
    return pattern;
}

GtkFileFilter* addFilter(GtkWidget* chooser, const MediaFileFilter& entry)
{
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, entry.label.c_str());
    for (const std::string_view extension : entry.extensions)
        gtk_file_filter_add_pattern(filter, anyCasePattern(extension).c_str());
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    return filter;
}

}  // namespace

std::string chooseMediaFile(GtkWindow* owner)
{
    GtkWidget* chooser = gtk_file_chooser_dialog_new("Select audio file to use on mobile phone as ringtone", owner,
                                                     GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel", GTK_RESPONSE_CANCEL,
                                                     "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
    GtkFileFilter* first = nullptr;
    for (const MediaFileFilter& entry : mediaFileFilters()) {
        GtkFileFilter* added = addFilter(chooser, entry);
        first = first ? first : added;
    }
    gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), first);

    std::string path;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (g_autofree gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser)))
            path = chosen;
    }
    gtk_widget_destroy(chooser);
    if (const auto message = unusableFileNameMessage(path)) {
        runMessageBox(owner, kAppBoxCaption, *message, kStyleWarningOk);
        path.clear();
    }
    return path.size() < kPathBuffer ? path : std::string();
}

}  // namespace quillon::app
