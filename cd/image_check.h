#pragma once

#include <string_view>

namespace quillon::cd {

// A disc has at most 99 tracks; libcdio's image readers do not check.
inline constexpr int kMaxImageTracks = 99;

// Whether the text of a .toc or .cue image may be handed to libcdio: at most
// kMaxImageTracks tracks, and every data file it names a regular file that can be
// read now (a pipe would make the reader wait for ever, a device worse). Relative
// names are looked up in folderFd, the image's folder. Nothing is opened.
[[nodiscard]] bool imageTextUsable(std::string_view text, int folderFd);

}  // namespace quillon::cd
