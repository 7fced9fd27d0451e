// Test helper for windowed programs: a menu bar as the user sees it, written out as text so that
// a test can compare a whole bar (order, separators, radio groups, accelerators) with the table
// the program must follow. Header-only; GTK test areas only.
#pragma once
#include <gtk/gtk.h>

#include <string>

namespace qeltest {

namespace menu_outline_detail {

// The label of the first item of a radio item's group (the group list holds the newest first).
inline std::string radio_leader(GtkRadioMenuItem* item) {
    GSList* group = gtk_radio_menu_item_get_group(item);
    GSList* last = g_slist_last(group);
    return last ? gtk_menu_item_get_label(GTK_MENU_ITEM(last->data)) : "";
}

inline gboolean is_closure(GtkAccelKey*, GClosure* closure, gpointer wanted) { return closure == wanted; }

// The accelerators that activate the item, each as "  " and its name.
inline std::string accelerators(GtkWidget* item) {
    std::string text;
    GList* closures = gtk_widget_list_accel_closures(item);
    for (GList* c = closures; c; c = c->next) {
        auto* closure = static_cast<GClosure*>(c->data);
        GtkAccelGroup* group = gtk_accel_group_from_accel_closure(closure);
        GtkAccelKey* key = group ? gtk_accel_group_find(group, is_closure, closure) : nullptr;
        if (!key) continue;
        gchar* name = gtk_accelerator_name(key->accel_key, key->accel_mods);
        text += std::string("  ") + name;
        g_free(name);
    }
    g_list_free(closures);
    return text;
}

inline void outline(GtkWidget* shell, int depth, std::string& out) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* l = children; l; l = l->next) {
        GtkWidget* item = GTK_WIDGET(l->data);
        out.append(static_cast<size_t>(2 * depth), ' ');
        if (!gtk_widget_get_visible(item)) out += "(hidden) ";
        if (GTK_IS_SEPARATOR_MENU_ITEM(item)) {
            out += "---\n";
            continue;
        }
        if (GTK_IS_RADIO_MENU_ITEM(item))
            out += gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) ? "(*) " : "( ) ";
        else if (GTK_IS_CHECK_MENU_ITEM(item))
            out += gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) ? "[x] " : "[ ] ";
        const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item));
        out += label ? label : "";
        out += accelerators(item);
        if (GTK_IS_RADIO_MENU_ITEM(item)) {
            const std::string leader = radio_leader(GTK_RADIO_MENU_ITEM(item));
            if (leader != (label ? label : "")) out += "  [group of " + leader + "]";
        }
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        if (gtk_menu_item_get_right_justified(GTK_MENU_ITEM(item))) out += "  (right)";
        G_GNUC_END_IGNORE_DEPRECATIONS
        out += "\n";
        if (GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) outline(sub, depth + 1, out);
    }
    g_list_free(children);
}

}  // namespace menu_outline_detail

// One line per item, two blanks of indent per level: "---" for a separator, "(*) " or "( ) "
// before a radio item and "[x] " or "[ ] " before a check item, then the label (mnemonic
// underscores included), two blanks and the accelerator as gtk_accelerator_name writes it,
// "  [group of <first item>]" for a radio item that joined another's group, "  (right)" for a
// right-aligned branch. Hidden items are marked "(hidden) ".
inline std::string menu_outline(GtkWidget* menuBar) {
    std::string out;
    if (menuBar && GTK_IS_MENU_SHELL(menuBar)) menu_outline_detail::outline(menuBar, 0, out);
    return out;
}

}  // namespace qeltest
