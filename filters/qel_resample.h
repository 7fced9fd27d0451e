// Resampling of whole images and volumes onto a new grid, in place.
// New index i along an axis samples the old grid at i * s, s = (old - 1) / (new - 1) held as a
// float, so the first and last samples fall on the old grid's ends. Mode 0 takes the nearest
// (truncated) sample, mode 1 interpolates (bi/tri)linearly; packed RGBA channels (unit 4 with a
// nonzero attribute) interpolate each byte lane on its own. The last new row (image) or slice (volume)
// repeats the one before it. Units, attributes and the channel count are kept.
#pragma once
#include "volume/qel_image.h"
#include "volume/qel_volume.h"

// newSize is {width, height} / {nx, ny, nz}. Every old and new size must be at least 2.
// Returns 0, or -1 leaving the record unchanged (NULL argument, size below 2, unknown mode,
// no memory). Pointers taken into the old channel data or tables are invalid after a success.
int QEL_ResizeRawImageData(QelRawImageData* image, const int* newSize, int mode);
int QEL_ResizeRawVolumeData(QelRawVolumeData* volume, const int* newSize, int mode);

// The per-channel loops of the resizes: fill every channel of dst (the new grid) from the same
// channel of src. Both records need the same channel count and units, and sizes of at least 2.
// 0 or -1.
int QEL_ResizeImageChannelsNearest(const QelRawImageData* src, QelRawImageData* dst);
int QEL_ResizeImageChannelsLinear(const QelRawImageData* src, QelRawImageData* dst);
int QEL_ResizeVolumeChannelsNearest(const QelRawVolumeData* src, QelRawVolumeData* dst);
int QEL_ResizeVolumeChannelsLinear(const QelRawVolumeData* src, QelRawVolumeData* dst);
