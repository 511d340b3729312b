#include "delivery/save_copy.h"

#include <thread>

#include "delivery/clip_copy.h"
#include "delivery/clip_file_name.h"
#include "delivery/own_clip.h"

namespace quillon::delivery {

namespace {

constexpr const char* kNotAClip = "failed:::The copy failed: the ringtone is not there any more, make it again.";

void startIn(GtkFileChooser* chooser, const std::string& lastFolder)
{
    if (!lastFolder.empty()) {
        g_autoptr(GFile) folder = g_file_new_for_uri(lastFolder.c_str());
        if (g_file_query_exists(folder, nullptr) &&
            gtk_file_chooser_set_current_folder_uri(chooser, lastFolder.c_str()))
            return;
    }
    const char* music = g_get_user_special_dir(G_USER_DIRECTORY_MUSIC);
    gtk_file_chooser_set_current_folder(chooser,
                                        music && g_file_test(music, G_FILE_TEST_IS_DIR) ? music : g_get_home_dir());
}

// The place the user chose, or nullptr when they cancelled.
GFile* choosePlace(const SaveCopyRequest& request, const std::string& lastFolder)
{
    g_autoptr(GtkFileChooserNative) native = gtk_file_chooser_native_new(
        "Save a copy of the ringtone", request.owner, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
    auto* chooser = GTK_FILE_CHOOSER(native);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
    gtk_file_chooser_set_local_only(chooser, FALSE);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    startIn(chooser, lastFolder);
    gtk_file_chooser_set_current_name(chooser, clipFileName(request.suggestedName).c_str());
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native)) != GTK_RESPONSE_ACCEPT)
        return nullptr;
    return gtk_file_chooser_get_file(chooser);
}

// The copy runs on a thread of its own, as a slow phone can take seconds per
// megabyte; the thread holds its own references, so it may outlive the call.
std::shared_future<std::string> startCopy(GFile* source, GFile* destination, bool replace, GCancellable* cancellable)
{
    auto promise = std::make_shared<std::promise<std::string>>();
    std::shared_future<std::string> answer = promise->get_future().share();
    std::thread([promise, source = g_object_ref(source), destination = g_object_ref(destination), replace,
                 cancellable = g_object_ref(cancellable)] {
        promise->set_value(copyClip(source, destination, replace, cancellable));
        g_object_unref(source);
        g_object_unref(destination);
        g_object_unref(cancellable);
        g_main_context_wakeup(nullptr);
    }).detach();
    return answer;
}

}  // namespace

std::string saveClipCopy(const SaveCopyRequest& request, settings::SettingsStore& settings, const AwaitAnswer& await)
{
    if (!isOwnClip(request.clipPath, request.tempDir))
        return kNotAClip;
    g_autoptr(GFile) destination = choosePlace(request, settings.getSaveFolder());
    if (!destination)
        return {};
    // The chooser asked before letting an existing file be chosen.
    const bool replace = g_file_query_exists(destination, nullptr);
    g_autoptr(GFile) source = g_file_new_for_path(request.clipPath.c_str());
    g_autoptr(GCancellable) cancellable = g_cancellable_new();
    const std::shared_future<std::string> answer = startCopy(source, destination, replace, cancellable);
    std::string result = await(answer);
    if (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        // The app is ending: the copy stops and removes what it wrote.
        g_cancellable_cancel(cancellable);
        return {};
    }
    if (result.starts_with("saved:::")) {
        g_autoptr(GFile) folder = g_file_get_parent(destination);
        g_autofree gchar* uri = folder ? g_file_get_uri(folder) : nullptr;
        if (uri)
            settings.setSaveFolder(uri);
    }
    return result;
}

}  // namespace quillon::delivery
