// hdrexporter <server ID>: exports the host's volume as an ANALYZE 7.5 file pair.
#include <cstdio>

#include "gui/qel_gtk_dialogs.h"
#include "programs/hdrexporter/hdrexporter.h"
#include "values/qel_value_text.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Client initalization error because server ID is not specified.\n");
        return 0;
    }
    const int serverID = qel::parse_int32_low_bits(argv[1]);
    if (!QELgtk_Init(&argc, &argv)) {
        std::fprintf(stderr, "hdrexporter: cannot open display\n");
        return 0;
    }
    return RunHdrExporter(serverID);
}
