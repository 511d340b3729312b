#include "app/media_file_chooser.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <string_view>
#include <vector>

#include "app/file_name_check.h"
#include "app/message_box.h"
#include "app/message_box_style.h"
#include "base/audio_types.h"

namespace quillon::app {

namespace {

constexpr std::size_t kPathBuffer = 512;

// The four first formats keep filters of their own under these labels, and the
// first filter takes all four.
struct ClassicFilter {
    const char* label;
    std::string_view extension;
};
constexpr const char* kAllClassicLabel = "All Supported Audio Files (*.mp3; *.wma; *.ogg; *.wav)";
constexpr ClassicFilter kClassicFilters[] = {
    {"MPEG Layer-3 Audio Files (*.mp3)", "mp3"},
    {"Windows Media Audio Files (*.wma)", "wma"},
    {"OGG Vorbis Audio Files(*.ogg)", "ogg"},
    {"Windows Waveform Audio Files (*.wav)", "wav"},
};

// Every other extension the app opens goes into one last filter.
std::vector<std::string_view> moreExtensions()
{
    std::vector<std::string_view> more;
    for (const std::string_view extension : kAudioExtensions) {
        if (std::ranges::none_of(kClassicFilters, [&](const auto& filter) { return filter.extension == extension; }))
            more.push_back(extension);
    }
    return more;
}

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

GtkFileFilter* addFilter(GtkWidget* chooser, const std::string& label, std::span<const std::string_view> extensions)
{
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, label.c_str());
    for (const std::string_view extension : extensions)
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
    std::vector<std::string_view> classic;
    for (const auto& filter : kClassicFilters)
        classic.push_back(filter.extension);
    GtkFileFilter* first = addFilter(chooser, kAllClassicLabel, classic);
    for (const auto& filter : kClassicFilters)
        addFilter(chooser, filter.label, std::span(&filter.extension, 1));
    const std::vector<std::string_view> more = moreExtensions();
    std::string moreLabel = "More audio files (";
    for (const std::string_view extension : more)
        moreLabel.append(&extension == more.data() ? "*." : "; *.").append(extension);
    addFilter(chooser, moreLabel + ")", more);
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
