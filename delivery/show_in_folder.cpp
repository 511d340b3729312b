#include "delivery/show_in_folder.h"

#include <gio/gio.h>

#include "delivery/dbus_call.h"

namespace quillon::delivery {

void openFolderByDefault(const std::string& folderUri)
{
    g_app_info_launch_default_for_uri_async(folderUri.c_str(), nullptr, nullptr, nullptr, nullptr);
}

void showInFolder(const std::string& where, std::chrono::milliseconds timeout, OpenFolder openFolder)
{
    g_autoptr(GFile) file = g_file_parse_name(where.c_str());
    g_autoptr(GFile) folder = g_file_get_parent(file);
    g_autofree gchar* fileUri = g_file_get_uri(file);
    g_autofree gchar* folderUri = g_file_get_uri(folder ? folder : file);
    sessionBusAsync(nullptr, [fileUri = std::string(fileUri), folderUri = std::string(folderUri), timeout,
                              openFolder = std::move(openFolder)](GDBusConnection* bus) {
        if (!bus) {
            openFolder(folderUri);
            return;
        }
        const char* uris[] = {fileUri.c_str(), nullptr};
        callAsync(bus,
                  {"org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1"},
                  "ShowItems", g_variant_new("(^ass)", uris, ""), "()", timeout, nullptr,
                  [folderUri, openFolder](GVariant*, const GError* error) {
                      if (error)
                          openFolder(folderUri);
                  });
    });
}

}  // namespace quillon::delivery
