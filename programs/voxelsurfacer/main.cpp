// voxelsurfacer: thresholds the host's current channel and shows the surface of its voxels in
// the host as a group of small meshes, as often as the user asks for it.
// Command line: voxelsurfacer <server ID>.
#include <cstdio>

#include <gtk/gtk.h>

#include "gui/qel_gtk_dialogs.h"
#include "mesher_window.h"

int main(int argc, char** argv) {
    if (!QELgtk_Init(&argc, &argv)) {
        std::fprintf(stderr, "voxelsurfacer: cannot open display\n");
        return 0;
    }
    if (!InitializeMesher(argc, argv)) return 0;
    gtk_main();
    CleanupMesher();
    return 0;
}
