// hdrimporter: an ANALYZE 7.5 file pair chosen in a file dialog becomes the host's volume.
// The steps after GTK has started; main.cpp only reads the server ID and starts GTK.
#pragma once
#include "gui/qel_analyze.h"
#include "volume/qel_geometry.h"
#include "volume/qel_volume.h"

#define HDRIMPORTER_NAME_SIZE 1024

// The smallest of v[0..2], its index in *index. Strict comparisons: ties go to the later index
// and a NaN loses every comparison.
float GetMinimumOfThree(const float v[3], int* index);

// Reads the pair named by name, whose last three characters are replaced by "hdr" for the
// header and then by "img" for the voxels (each letter keeps the case of the one it replaces).
// Prints the datatype and the matrix size, converts float voxels to Int16 (saturating) and
// turns the volume into the host's orientation. A data file that lacks more than 64 MiB of
// the voxels is refused with "Data file too short" before the volume is made. On failure
// prints its line (none when the data file cannot be opened) and returns NULL. *hdr holds the
// header read (zero if none). Needs no GTK.
QelRawVolumeData* ReadAnalyzePair(char* name, AnalyzeHeader* hdr);

// The size whose voxels are cubes of the smallest spacing: each extent times its spacing over
// the smallest one, computed in double and rounded to nearest; *index names the smallest
// spacing. -1 when a spacing is not a finite number above 0 or a new extent exceeds an int.
int GetCubicVoxelSize(const QelSize4i* size, const float spacing[3], int newSize[3], int* index);

// Resamples vol linearly to cubic voxels; *voxelSize becomes the smallest spacing. -1, with
// the volume and *voxelSize unchanged, when the size is refused (above) or the resample fails.
int ResampleToCubicVoxels(QelRawVolumeData* vol, const float spacing[3], float* voxelSize);

// File dialog, orientation notice, host connection, reading, the question whether to resample
// unequal spacings, transfer to the host and its voxel size. Returns the exit code, always 0.
// Needs GTK (hdrimporter_run.cpp).
int RunHdrImporter(int serverID);
