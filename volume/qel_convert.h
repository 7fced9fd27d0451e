// Voxel unit conversion of one channel through a value map, packing and unpacking of
// RGBA volumes, and the operations on binary channels (every voxel exactly 0 or 1).
#pragma once
#include "volume/qel_geometry.h"
#include "volume/qel_image.h"
#include "volume/qel_units.h"
#include "volume/qel_volume.h"

// Value maps: how a source value becomes a destination value.
#define QEL_MAP_IDENTITY 0      // x
#define QEL_MAP_CLAMP 1         // x limited to [dst.min, dst.max]
#define QEL_MAP_LINEAR 2        // src window stretched linearly onto dst
#define QEL_MAP_LINEAR_CLAMP 3  // map 2, then limited to [dst.min, dst.max]

// The two maps not already in qel_units.h (QEL_MapValueLinear and
// QEL_MapValueLinearClamped are maps 2 and 3). Unused ranges may be NULL.
double QEL_MapValueIdentity(float x, const QelValueRange* src, const QelValueRange* dst);
double QEL_MapValueClamp(float x, const QelValueRange* src, const QelValueRange* dst);

// Element loop: every value passes through single precision, is mapped, and is stored
// in dstUnit (integer units truncate and wrap; the clamping maps saturate into units
// 4 and 5). Nothing happens for count <= 0, an invalid unit or map, or a range the map
// needs but is not given.
void QEL_ConvertVoxelArray(int count, const void* src, void* dst, int srcUnit, int dstUnit,
                           const QelValueRange* srcRange, const QelValueRange* dstRange, int map);

// Replace a plain channel by a converted copy in newUnit. 0, or -1 with the channel
// unchanged (map outside 0..3, missing range, packed channel, invalid unit, no memory).
int QEL_ConvertVoxelUnit(QelRawVolumeData* vol, int channel, int newUnit,
                         const QelValueRange* srcRange, const QelValueRange* dstRange, int map);
int QEL_ConvertPixelUnit(QelRawImageData* image, int channel, int newUnit,
                         const QelValueRange* srcRange, const QelValueRange* dstRange, int map);

// In place: one packed channel (unit 4, attribute 2) -> four plain unit-0 channels R, G, B, A.
// Any other volume, or no memory: unchanged, silently.
void QEL_ConvertRawVolumeRgbaToUint8x4(QelRawVolumeData* vol);
// In place: four plain unit-0 channels -> one packed channel. Prints "Invalid type(s)" for
// another shape and "Memory Full?" when out of memory; the volume is then unchanged.
void QEL_ConvertRawVolumeUint8x4ToRgba(QelRawVolumeData* vol);

// Binary channels. Clear, invert and binarize return 0, or -1 when the channel could not be
// converted (packed or invalid unit); clear and invert leave a non-binary channel alone (0).
int QEL_IsBinaryChannel(const QelRawVolumeData* vol, int channel);
int QEL_ClearBinaryChannel(QelRawVolumeData* vol, int channel);
int QEL_InvertBinaryChannel(QelRawVolumeData* vol, int channel);
// Binarize: 1 where the value, truncated toward zero as it is stored into an integer unit
// (NaN, infinities and values beyond 64 bits give 0), is not 0; the channel keeps its unit.
int QEL_BinarizeChannel(QelRawVolumeData* vol, int channel);
int QEL_CountZerosOfBinaryChannel(const QelRawVolumeData* vol, int channel);  // -1: not binary
int QEL_CountOnesOfBinaryChannel(const QelRawVolumeData* vol, int channel);   // voxels + 1: not binary
QelBox3i* QEL_NewBoxOfBinaryChannel(const QelRawVolumeData* vol, int channel);
