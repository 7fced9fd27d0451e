// hdrexporter <server ID>: exports the host's volume as an ANALYZE 7.5 file pair.
#include "gui/qel_gtk_plugin.hpp"
#include "programs/hdrexporter/hdrexporter.h"

int main(int argc, char** argv) { return qel::run_windowed_plugin(argc, argv, "hdrexporter", RunHdrExporter); }
