// The smallest WebKitGTK window: a default web view in a top-level window loading
// one page, with the page's console on standard output. The start-up and memory
// figures of the app are measured against it, so it shows the page at the app's
// size and renders without GPU as the app does.
//
// Usage: bench_bare_window <page file>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2 || !gtk_init_check(&argc, &argv)) {
        std::fputs("usage: bench_bare_window <page file> (needs a display)\n", stderr);
        return 2;
    }
    WebKitSettings* settings =
        webkit_settings_new_with_settings("hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER,
                                          "enable-write-console-messages-to-stdout", TRUE, nullptr);
    GtkWidget* view = webkit_web_view_new_with_settings(settings);
    g_object_unref(settings);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_size_request(view, 760, 471);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gchar* uri = g_filename_to_uri(std::filesystem::absolute(argv[1]).c_str(), nullptr, nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
    g_free(uri);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
