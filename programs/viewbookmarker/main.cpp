// viewbookmarker: records, replays, saves and interpolates locations in the host's view.
// Command line: viewbookmarker <server ID>.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <gtk/gtk.h>

#include "gui/qel_gtk_dialogs.h"
#include "programs/viewbookmarker/bookmark_host.h"
#include "programs/viewbookmarker/bookmark_window.h"

namespace {

// The integer value of the argument, 0 when it holds none; out-of-range values saturate.
int server_id_of(const char* text) {
    const long id = std::strtol(text, nullptr, 10);
    return id > INT_MAX ? INT_MAX : id < INT_MIN ? INT_MIN : static_cast<int>(id);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    const int serverID = server_id_of(argv[1]);
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
