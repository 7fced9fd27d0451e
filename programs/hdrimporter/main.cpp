// hdrimporter <server ID>: imports an ANALYZE 7.5 file pair into the host.
#include "gui/qel_gtk_plugin.hpp"
#include "programs/hdrimporter/hdrimporter.h"

int main(int argc, char** argv) { return qel::run_windowed_plugin(argc, argv, "hdrimporter", RunHdrImporter); }
