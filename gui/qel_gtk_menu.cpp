// Menu bars from item-factory style tables.
#include "gui/qel_gtk_menu.h"

#include <cstring>
#include <map>
#include <string>

namespace {

constexpr const char* kItemsKey = "qel-menu-items";

// Items of one menu bar by their path without underscores; "" is the bar itself.
using Items = std::map<std::string, GtkWidget*>;

void free_items(gpointer items) { delete static_cast<Items*>(items); }

struct Action {
    QelGtkMenuCallback callback;
    guint action;
    gpointer data;
};

void free_action(gpointer action, GClosure*) { delete static_cast<Action*>(action); }

void on_activate(GtkMenuItem* item, gpointer data) {
    const auto* a = static_cast<const Action*>(data);
    // Switching a radio group also activates the item being switched off: only the chosen
    // one's callback runs.
    if (GTK_IS_RADIO_MENU_ITEM(item) && !gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item))) return;
    a->callback(a->data, a->action, GTK_WIDGET(item));
}

// "__" stands for one underscore; a single one only marks the mnemonic.
std::string strip_underscores(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '_') {
            out += s[i];
        } else if (i + 1 < s.size() && s[i + 1] == '_') {
            out += '_';
            ++i;
        }
    }
    return out;
}

class Builder {
public:
    Builder(GtkWidget* bar, Items* items, GtkAccelGroup* accel, gpointer data)
        : bar_(bar), items_(items), accel_(accel), data_(data) {
        (*items_)[""] = bar;
    }

    bool add(const QelGtkMenuEntry& e) {
        if (!e.path || e.path[0] != '/') return false;
        const std::string path = e.path;
        const size_t cut = path.rfind('/');
        const std::string parent = path.substr(0, cut);
        const std::string label = path.substr(cut + 1);
        const std::string key = strip_underscores(path);
        const std::string type = e.itemType ? e.itemType : "";
        const bool branch = type == "<Branch>" || type == "<LastBranch>";
        if (branch && submenu_of(key)) return true;  // made earlier for an item below it
        GtkWidget* shell = shell_for(parent);
        if (!shell || label.empty()) return false;

        GtkWidget* item;
        if (type.empty() || type == "<Item>" || branch) {
            item = gtk_menu_item_new_with_mnemonic(label.c_str());
        } else if (type == "<Separator>") {
            item = gtk_separator_menu_item_new();
        } else if (type == "<CheckItem>" || type == "<ToggleItem>") {
            item = gtk_check_menu_item_new_with_mnemonic(label.c_str());
        } else if (type == "<RadioItem>") {
            item = gtk_radio_menu_item_new_with_mnemonic(nullptr, label.c_str());
        } else if (type[0] == '/') {
            auto group = items_->find(strip_underscores(type));
            if (group == items_->end() || !GTK_IS_RADIO_MENU_ITEM(group->second)) return false;
            item = gtk_radio_menu_item_new_with_mnemonic_from_widget(GTK_RADIO_MENU_ITEM(group->second),
                                                                     label.c_str());
        } else {
            return false;
        }
        g_object_ref_sink(item);
        const bool ok = finish(item, e, branch, type == "<LastBranch>", shell, key);
        g_object_unref(item);
        return ok;
    }

private:
    GtkWidget* submenu_of(const std::string& key) const {
        auto it = items_->find(key);
        if (it == items_->end()) return nullptr;
        if (it->second == bar_) return bar_;
        return gtk_menu_item_get_submenu(GTK_MENU_ITEM(it->second));
    }

    // The menu shell that items below `parent` go into, making missing branches on the way.
    GtkWidget* shell_for(const std::string& parent) {
        const std::string key = strip_underscores(parent);
        if (items_->count(key)) return submenu_of(key);
        const size_t cut = parent.rfind('/');
        GtkWidget* above = shell_for(parent.substr(0, cut));
        const std::string label = parent.substr(cut + 1);
        if (!above || label.empty()) return nullptr;
        GtkWidget* item = gtk_menu_item_new_with_mnemonic(label.c_str());
        add_branch(item, above, key, false);
        return gtk_menu_item_get_submenu(GTK_MENU_ITEM(item));
    }

    void add_branch(GtkWidget* item, GtkWidget* shell, const std::string& key, bool last) {
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), gtk_menu_new());
        if (last) {
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            gtk_menu_item_set_right_justified(GTK_MENU_ITEM(item), TRUE);
            G_GNUC_END_IGNORE_DEPRECATIONS
        }
        gtk_widget_show(item);
        gtk_menu_shell_append(GTK_MENU_SHELL(shell), item);
        (*items_)[key] = item;
    }

    bool finish(GtkWidget* item, const QelGtkMenuEntry& e, bool branch, bool last, GtkWidget* shell,
                const std::string& key) {
        if (e.accelerator && e.accelerator[0] && accel_) {
            guint keyval = 0;
            GdkModifierType mods = static_cast<GdkModifierType>(0);
            gtk_accelerator_parse(e.accelerator, &keyval, &mods);
            if (keyval == 0) return false;
            gtk_widget_add_accelerator(item, "activate", accel_, keyval, mods, GTK_ACCEL_VISIBLE);
        }
        if (e.callback) {
            g_signal_connect_data(item, "activate", G_CALLBACK(on_activate), new Action{e.callback, e.callbackAction, data_},
                                  free_action, static_cast<GConnectFlags>(0));
        }
        if (branch) {
            add_branch(item, shell, key, last);
            return true;
        }
        gtk_widget_show(item);
        gtk_menu_shell_append(GTK_MENU_SHELL(shell), item);
        if (!GTK_IS_SEPARATOR_MENU_ITEM(item) && !items_->count(key)) (*items_)[key] = item;
        return true;
    }

    GtkWidget* bar_;
    Items* items_;
    GtkAccelGroup* accel_;
    gpointer data_;
};

}  // namespace

GtkWidget* QELgtk_NewMenuBar(const QelGtkMenuEntry* entries, int count, GtkAccelGroup* accelGroup,
                             gpointer callbackData) {
    if (count < 0 || (count > 0 && !entries)) return nullptr;
    GtkWidget* bar = gtk_menu_bar_new();
    auto* items = new Items;
    g_object_set_data_full(G_OBJECT(bar), kItemsKey, items, free_items);
    Builder builder(bar, items, accelGroup, callbackData);
    for (int i = 0; i < count; ++i) {
        if (!builder.add(entries[i])) {
            g_object_ref_sink(bar);
            gtk_widget_destroy(bar);
            g_object_unref(bar);
            return nullptr;
        }
    }
    return bar;
}

GtkWidget* QELgtk_GetMenuItem(GtkWidget* menuBar, const char* path) {
    if (!menuBar || !path || path[0] != '/') return nullptr;
    const auto* items = static_cast<const Items*>(g_object_get_data(G_OBJECT(menuBar), kItemsKey));
    if (!items) return nullptr;
    auto it = items->find(strip_underscores(path));
    return it == items->end() ? nullptr : it->second;
}
