// Turning whole volumes by 90 or 180 degrees about the x, y or z axis, in place.
// A turn keeps the channel count, units and attributes; only the size and the voxel
// positions change:
//   90 about x: size (nx, nz, ny), voxel (x, y, z) -> (x, z, ny - 1 - y)
//   90 about y: size (nz, ny, nx), voxel (x, y, z) -> (nz - 1 - z, y, x)
//   90 about z: size (ny, nx, nz), voxel (x, y, z) -> (y, nx - 1 - x, z)
// 180 about an axis is two 90-degree turns about it.
#pragma once
#include "volume/qel_volume.h"

// Element copies of one channel: every voxel of the input slice table (input size nx, ny, nz)
// goes to its turned position in the output table, which must already have the turned size.
// Element bits are copied unchanged; the members differ only in element width (Int8 serves
// units 0 and 1, Int16 units 2 and 3, Int32 units 4 and 5).
void QEL_RotateX90_Int8(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateX90_Int16(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateX90_Int32(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateX90_Float32(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateX90_Float64(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateY90_Int8(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateY90_Int16(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateY90_Int32(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateY90_Float32(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateY90_Float64(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateZ90_Int8(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateZ90_Int16(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateZ90_Int32(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateZ90_Float32(const void* const* const* in, void*** out, int nx, int ny, int nz);
void QEL_RotateZ90_Float64(const void* const* const* in, void*** out, int nx, int ny, int nz);

// 90-degree turns of every channel. 0, or -1 with the volume unchanged (NULL volume, no
// memory for the turned copy). A channel of an invalid unit keeps its unit and holds nothing.
// Pointers taken into the old channel data or tables are invalid after a success.
int QEL_RotateRawVolumeDataX90(QelRawVolumeData* vol);
int QEL_RotateRawVolumeDataY90(QelRawVolumeData* vol);
int QEL_RotateRawVolumeDataZ90(QelRawVolumeData* vol);

// 180-degree turn about the axis "x", "X", "y", "Y", "z" or "Z" (the whole text must match).
// -1 with the volume unchanged for a NULL volume, any other axis text or a first turn that
// fails; when only the second turn fails, the volume stays turned by 90 degrees and -1 is
// returned. No message is printed.
int QEL_RotateRawVolumeData180(QelRawVolumeData* vol, const char* axis);
