#pragma once

#include <gio/gio.h>

#include <string>

namespace quillon::delivery {

// Copies a clip through GIO, so a place GVFS shows (a phone over USB by MTP, a
// network share) takes it like a local folder. replace: destination exists and
// the user agreed to overwrite it. Blocks: run it off the UI thread.
//
// Returns "saved:::<destination as the user reads it>", "failed:::<plain words>",
// or "" when cancelled. A failed or cancelled copy leaves no part of itself behind,
// and a destination it was not allowed to replace untouched.
[[nodiscard]] std::string copyClip(GFile* source, GFile* destination, bool replace, GCancellable* cancellable);

}  // namespace quillon::delivery
