#pragma once

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <future>
#include <string>

#include "settings/settings_store.h"

namespace quillon::delivery {

struct SaveCopyRequest {
    GtkWindow* owner;  // the window that has the input: the chooser is modal over it
    std::string clipPath;
    std::string suggestedName;
    std::filesystem::path tempDir;
};

// Waits for an answer worked out on another thread while the window keeps
// painting; "" when the app is ending first.
using AwaitAnswer = std::function<std::string(const std::shared_future<std::string>&)>;

// "Save a copy…": asks where with the desktop's save chooser (a portal where there
// is one; phones and other places GVFS shows included), starting in the folder
// used last, and copies the clip there. Returns "" when the user cancels, else
// "saved:::<where>" or "failed:::<plain words>". A good copy remembers its folder.
[[nodiscard]] std::string saveClipCopy(const SaveCopyRequest& request, settings::SettingsStore& settings,
                                       const AwaitAnswer& await);

}  // namespace quillon::delivery
