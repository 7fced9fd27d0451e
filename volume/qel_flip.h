// Region operations on one channel: mirroring a box in place along an axis, and copying a
// box of one channel into a channel of another (or the same) record.
#pragma once
#include "volume/qel_geometry.h"
#include "volume/qel_image.h"
#include "volume/qel_volume.h"

// Mirrors the box of the channel in place along the axis "x", "y" or "z" (either case);
// a NULL box is the whole volume. Returns 0 when flipped, -1 (channel unchanged) when the
// channel or axis is invalid, the box does not lie inside the volume, or the swap buffer
// cannot be had.
int QEL_FlipRawVolumeData(QelRawVolumeData* vol, int channel, const QelBox3i* box, const char* axis);
// The image form: axes "x" and "y" only.
int QEL_FlipRawImageData(QelRawImageData* image, int channel, const QelRect2i* rect, const char* axis);

// Copies the box of the source channel so that its origin lands on position in the
// destination channel. Only the part of the box that lies inside the source and, once
// moved, inside the destination is copied; channels of different units copy nothing.
// Source and destination regions must not overlap.
void QEL_CopyBoxOfRawVolumeData(const QelRawVolumeData* src, int srcChannel, QelRawVolumeData* dst,
                                int dstChannel, const QelBox3i* box, const QelPoint3i* position);
void QEL_CopyRectOfRawImageData(const QelRawImageData* src, int srcChannel, QelRawImageData* dst,
                                int dstChannel, const QelRect2i* rect, const QelPoint2i* position);

// Steps of the flips. They trust their caller: the region must lie inside the table and
// have no negative size. The y and z steps go through the swap buffer and return -1 (nothing
// changed) when it cannot be allocated; the x steps always return 0.
int QEL_FlipBoxX(void*** slices, const QelBox3i* box, int unit);
int QEL_FlipBoxY(void*** slices, const QelBox3i* box, int unit);
int QEL_FlipBoxZ(void*** slices, const QelBox3i* box, int unit);
int QEL_FlipRectX(void** rows, const QelRect2i* rect, int unit);
int QEL_FlipRectY(void** rows, const QelRect2i* rect, int unit);

// Reverses the order of n elements of elementSize bytes in place; n < 2 does nothing.
void QEL_ReverseElements(int n, void* run, int elementSize);

// The process-wide row buffer of the y and z flips (not for two threads at once).
// Allocation returns 0, or -1 after printing "arraySwapBuffer allocation fault\n".
int QEL_AllocateArraySwapBuffer(int bytes);
void QEL_FreeArraySwapBuffer(void);
// Exchanges two non-overlapping blocks through the buffer; nothing when the buffer is
// missing or shorter than bytes.
void QEL_SwapBlocks(int bytes, void* a, void* b);
