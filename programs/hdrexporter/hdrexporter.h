// hdrexporter: the host's volume is written as an ANALYZE 7.5 file pair, name.hdr and name.img,
// under a name chosen in a file dialog. The steps after GTK has started; main.cpp only reads
// the server ID and starts GTK.
#pragma once
#include "volume/qel_volume.h"

#define HDREXPORTER_NAME_SIZE 1024
// Names up to this long leave room for ".hdr" or ".img" in a buffer of HDREXPORTER_NAME_SIZE.
#define HDREXPORTER_MAX_NAME_LENGTH (HDREXPORTER_NAME_SIZE - 5)

// 1 when the volume can be written (IsExportableVolume); otherwise prints why and returns 0.
int CheckExportableVolume(const QelRawVolumeData* vol);

// Writes name.hdr and name.img. A voxel size below 0 is reported and written as 0. The volume
// is turned into the file orientation in place (it stays turned). Both files are opened before
// either is written, and every write is checked: on a failed write both files are removed and
// a line is printed. -1 for a name longer than HDREXPORTER_MAX_NAME_LENGTH, a failed turn
// ("Memory full"), a file that cannot be created (silently; the other one is not left behind)
// or a failed write; else 0.
int WriteAnalyzePair(const char* name, QelRawVolumeData* vol, float voxelSize);

// File dialog, orientation notice, host connection, receive, voxel size and the file pair.
// Returns the exit code, always 0.
int RunHdrExporter(int serverID);
