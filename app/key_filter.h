#pragma once

namespace quillon::app {

// Decides which key presses the web view never sees: the engine's browser
// commands (reload, open, print, new window, find, zoom, history, caret mode,
// inspector). Copy, paste, typing and editing keys always reach the page, and so
// does Ctrl+S: the view has no save command of its own, and the last step's
// "Save a copy…" answers it.
// keyval is a GDK key value; the flags are the modifier state of the press.
[[nodiscard]] bool isSwallowedKey(unsigned keyval, bool control, bool alt, bool shift);

}  // namespace quillon::app
