// Menu bars built from item-factory style tables (GTK 3).
#pragma once
#include <gtk/gtk.h>

// Called when the item is activated (a radio item: when it becomes or stays the chosen one;
// a check item: on every toggle).
typedef void (*QelGtkMenuCallback)(gpointer callbackData, guint callbackAction, GtkWidget* item);

// One menu entry. path: "/Menu/Sub/Item", an underscore marks the mnemonic ("/_Help"); paths are
// matched without their underscores. accelerator: NULL or as "<control>Q", "N", "F11".
// itemType: NULL, "" or "<Item>" a plain item; "<Branch>", "<LastBranch>" (right-aligned in the
// bar), "<Separator>", "<CheckItem>" ("<ToggleItem>"), "<RadioItem>" (starts a group), or the
// path of a radio item, whose group the item joins.
struct QelGtkMenuEntry {
    const char* path;
    const char* accelerator;
    QelGtkMenuCallback callback;
    guint callbackAction;
    const char* itemType;
};

// Builds a menu bar (not yet shown) from count entries, in order. Parent branches that have no
// entry of their own are made when first needed. Accelerators go into accelGroup (ignored when
// NULL), which the caller attaches to its window with gtk_window_add_accel_group. NULL for a
// table with a malformed path, an unknown item type, an unknown radio group or an accelerator
// that does not parse.
GtkWidget* QELgtk_NewMenuBar(const QelGtkMenuEntry* entries, int count, GtkAccelGroup* accelGroup,
                             gpointer callbackData);

// The item (or branch) of a menu bar built above, by path; NULL when there is none.
GtkWidget* QELgtk_GetMenuItem(GtkWidget* menuBar, const char* path);
