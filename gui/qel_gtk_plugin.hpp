// Internal: the frame shared by the windowed plug-ins that run a few dialogs and a host
// exchange (the ANALYZE import and export programs).
#pragma once
#include <cstdio>

#include "gui/qel_gtk_dialogs.h"
#include "ipc/qel_ipc.h"
#include "values/qel_value_text.hpp"

namespace qel {

// Reads the server ID from argument 1, starts GTK and returns run(serverID). A command line
// without a server ID, or a display that does not open, ends the program with its line.
// Returns the exit code, always 0.
inline int run_windowed_plugin(int argc, char** argv, const char* name, int (*run)(int serverID)) {
    if (argc < 2) {
        std::fprintf(stderr, "Client initalization error because server ID is not specified.\n");
        return 0;
    }
    const int serverID = parse_int32_low_bits(argv[1]);
    if (!QELgtk_Init(&argc, &argv)) {
        std::fprintf(stderr, "%s: cannot open display\n", name);
        return 0;
    }
    return run(serverID);
}

// Ends the host connection however the run leaves; ending it talks to no host.
struct ClientSession {
    ClientSession() = default;
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;
    ~ClientSession() { QELipc_TerminateClient(); }
};

}  // namespace qel
