#include "app/popup_menu.h"

#include "app/main_window.h"

namespace quillon::app {

namespace {

using Command = void (*)(MainWindow&);

struct MenuEntry {
    const char* label;  // nullptr: a separator
    Command command;
};

const MenuEntry kEntries[] = {
    {"_Go to Homepage", [](MainWindow& w) { w.NavigateURL("homepage"); }},
    {nullptr, nullptr},
    {"_Phone Compatibility Test", [](MainWindow& w) { w.ShowCompatibility(); }},
    {"How to use the application", [](MainWindow& w) { w.ShowUsage(); }},
    {"_FAQ and Contact us", [](MainWindow& w) { w.ShowContact(); }},
    {nullptr, nullptr},
    {"_About Quillon", [](MainWindow& w) { w.ShowAboutBox(); }},
};

struct Activation {
    MainWindow* window;
    Command command;
};

}  // namespace

void showPopupMenu(MainWindow& window, GdkEvent* trigger)
{
    GtkWidget* menu = gtk_menu_new();
    for (const auto& entry : kEntries) {
        GtkWidget* item = entry.label ? gtk_menu_item_new_with_mnemonic(entry.label) : gtk_separator_menu_item_new();
        if (entry.command) {
            // Commands run after the menu has closed, from the main loop, so a
            // dialog they open does not nest inside the menu's grab.
            g_signal_connect_data(
                item, "activate", G_CALLBACK(+[](GtkMenuItem*, Activation* a) {
                    g_idle_add_full(
                        G_PRIORITY_DEFAULT_IDLE,
                        [](gpointer p) {
                            auto* act = static_cast<Activation*>(p);
                            act->command(*act->window);
                            return G_SOURCE_REMOVE;
                        },
                        new Activation(*a), [](gpointer p) { delete static_cast<Activation*>(p); });
                }),
                new Activation{&window, entry.command},
                [](gpointer p, GClosure*) { delete static_cast<Activation*>(p); }, GConnectFlags(0));
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_widget_show_all(menu);
    gtk_menu_attach_to_widget(GTK_MENU(menu), window.widget(), nullptr);
    // The menu is dropped once it has closed.
    g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkWidget* m) {
                         g_idle_add(
                             [](gpointer p) {
                                 gtk_widget_destroy(GTK_WIDGET(p));
                                 return G_SOURCE_REMOVE;
                             },
                             m);
                     }),
                     nullptr);
    gtk_menu_popup_at_pointer(GTK_MENU(menu), trigger);
}

}  // namespace quillon::app
