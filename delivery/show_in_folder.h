#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace quillon::delivery {

// Opens a folder with the desktop's default handler: the way when no file
// manager answers.
using OpenFolder = std::function<void(const std::string& folderUri)>;

// The default handler for folders, through GIO.
void openFolderByDefault(const std::string& folderUri);

// "Show in folder" for a saved copy, where as the user reads it (a path, or a
// place of a phone such as mtp://…/Ringtones/song.mp3): the desktop's file
// manager shows it selected (org.freedesktop.FileManager1.ShowItems on the
// session bus, without waiting, with a time-out); where none answers, its folder
// is opened by openFolder. Answers arrive on the calling thread's main context.
void showInFolder(const std::string& where, std::chrono::milliseconds timeout, OpenFolder openFolder);

}  // namespace quillon::delivery
