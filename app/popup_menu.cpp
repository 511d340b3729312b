#include "app/popup_menu.h"

#include <span>

#include "app/main_window.h"

namespace quillon::app {

namespace {

using Command = void (*)(MainWindow&);

struct MenuEntry {
    const char* label;  // nullptr: a separator
    Command command;
};

const MenuEntry kPopupEntries[] = {
    {"_Go to Homepage", [](MainWindow&) { MainWindow::navigate("homepage"); }},
    {nullptr, nullptr},
    {"_Phone Compatibility Test", [](MainWindow& w) { w.showCompatibility(); }},
    {"How to use the application", [](MainWindow& w) { w.showUsage(); }},
    {"_FAQ and Contact us", [](MainWindow& w) { w.showContact(); }},
    {nullptr, nullptr},
    {"_About Quillon", [](MainWindow& w) { w.showAboutBox(); }},
};

const MenuEntry kWindowEntries[] = {
    {"_About Quillon...", [](MainWindow& w) { w.showAboutBox(); }},
};

struct Activation {
    MainWindow* window;
    Command command;
};

GtkWidget* buildMenu(MainWindow& window, std::span<const MenuEntry> entries)
{
    GtkWidget* menu = gtk_menu_new();
    for (const auto& entry : entries) {
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
    return menu;
}

}  // namespace

void showPopupMenu(MainWindow& window, GdkEvent* trigger)
{
    GtkWidget* menu = buildMenu(window, kPopupEntries);
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

GtkWidget* windowMenuButton(MainWindow& window, GtkAccelGroup* keys)
{
    GtkWidget* button = gtk_menu_button_new();
    gtk_button_set_image(GTK_BUTTON(button), gtk_image_new_from_icon_name("open-menu-symbolic", GTK_ICON_SIZE_BUTTON));
    gtk_widget_set_tooltip_text(button, "Menu");
    // The keys stay with the page: F10 opens the menu, and Tab never leaves the page for the header bar.
    gtk_widget_set_can_focus(button, FALSE);
    gtk_menu_button_set_popup(GTK_MENU_BUTTON(button), buildMenu(window, kWindowEntries));
    // Opened as a click on the button opens it; a button's "activate" would also hold the keys for a moment.
    gtk_accel_group_connect(keys, GDK_KEY_F10, static_cast<GdkModifierType>(0), static_cast<GtkAccelFlags>(0),
                            g_cclosure_new_swap(G_CALLBACK(+[](GtkToggleButton* opener) {
                                                    gtk_toggle_button_set_active(opener, TRUE);
                                                    return TRUE;
                                                }),
                                                button, nullptr));
    return button;
}

}  // namespace quillon::app
