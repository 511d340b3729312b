#pragma once

#include <glib.h>

#include <future>
#include <string>

namespace quillon::app {

// Waits for an answer worked out on another thread while the UI thread keeps serving
// its main context, as a modal dialog does: windows paint, the channels are served.
// Whoever sets the answer must wake the default main context. Returns the answer, or
// an empty text when appLoop was told to quit first (the app is ending).
[[nodiscard]] std::string awaitServingUi(const std::shared_future<std::string>& answer, GMainLoop* appLoop);

}  // namespace quillon::app
