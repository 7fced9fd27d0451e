// Links the dialogs of the installed library, and with them GTK, as a windowed plug-in does.
// Nothing is shown: that it links and starts is the point.
#include <cstdio>

#include "gui/qel_gtk_dialogs.h"

int main() {
    int (*volatile init)(int*, char***) = QELgtk_Init;
    std::printf("dialogs linked: %s\n", init ? "yes" : "no");
    return init ? 0 : 1;
}
