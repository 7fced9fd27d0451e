// hdrimporter <server ID>: imports an ANALYZE 7.5 file pair into the host.
#include <cstdio>

#include "gui/qel_gtk_dialogs.h"
#include "programs/hdrimporter/hdrimporter.h"
#include "values/qel_value_text.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Client initalization error because server ID is not specified.\n");
        return 0;
    }
    const int serverID = qel::parse_int32_low_bits(argv[1]);
    if (!QELgtk_Init(&argc, &argv)) {
        std::fprintf(stderr, "hdrimporter: cannot open display\n");
        return 0;
    }
    return RunHdrImporter(serverID);
}
