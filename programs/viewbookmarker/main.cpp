// viewbookmarker: records, replays, saves and interpolates locations in the host's view.
// Command line: viewbookmarker <server ID>.
#include <cstdio>

#include <gtk/gtk.h>

#include "gui/qel_gtk_dialogs.h"
#include "programs/viewbookmarker/bookmark_host.h"
#include "programs/viewbookmarker/bookmark_window.h"
#include "values/qel_value_text.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    const int serverID = qel::parse_int32_low_bits(argv[1]);
    if (!QELgtk_Init(&argc, &argv)) {
        std::fprintf(stderr, "viewbookmarker: cannot open display\n");
        return 0;
    }
    InitializeBookmarkIpc(serverID);
    BuildBookmarkWindow();
    gtk_main();
    TerminateBookmarkIpc();
    return 0;
}
