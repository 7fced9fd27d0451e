#include "gui/qel_gtk_beep.h"

#include <gtk/gtk.h>

void QELgtk_Beep() {
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_beep(display);
}
