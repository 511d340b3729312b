#include "app/media_file_chooser.h"

#include <cctype>

#include "app/file_name_check.h"
#include "app/message_box.h"
#include "app/message_box_style.h"

namespace quillon::app {

namespace {

constexpr std::size_t kPathBuffer = 512;

struct FilterEntry {
    const char* label;
    std::initializer_list<const char*> extensions;
};

const FilterEntry kFilters[] = {
    {"All Supported Audio Files (*.mp3; *.wma; *.ogg; *.wav)", {"mp3", "wma", "ogg", "wav"}},
    {"MPEG Layer-3 Audio Files (*.mp3)", {"mp3"}},
    {"Windows Media Audio Files (*.wma)", {"wma"}},
    {"OGG Vorbis Audio Files(*.ogg)", {"ogg"}},
    {"Windows Waveform Audio Files (*.wav)", {"wav"}},
    {"More audio files (*.flac; *.m4a; *.aac; *.opus; *.aif; *.aiff)", {"flac", "m4a", "aac", "opus", "aif", "aiff"}},
};

// "*.[mM][pP]3": file names match whatever the case of their extension.
std::string anyCasePattern(const char* extension)
{
    std::string pattern = "*.";
    for (const char* c = extension; *c; ++c) {
        if (std::isalpha(static_cast<unsigned char>(*c)))
            pattern += std::string("[") + char(std::tolower(*c)) + char(std::toupper(*c)) + "]";
        else
            pattern += *c;
    }
    return pattern;
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
    for (const auto& entry : kFilters) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, entry.label);
        for (const char* extension : entry.extensions)
            gtk_file_filter_add_pattern(filter, anyCasePattern(extension).c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
        if (!first)
            first = filter;
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
