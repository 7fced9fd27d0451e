// Binarisation of one channel in place: every voxel becomes 1 (inside) or 0 (outside) in the
// channel's own unit (1.0 and 0.0 for the float units). A NaN voxel is never inside.
#pragma once
#include <cstdint>

#include "volume/qel_units.h"
#include "volume/qel_volume.h"

// Inside: v >= threshold, read in the channel's unit. Returns the number of ones; 0 with
// nothing changed for a NULL argument, an invalid channel or unit.
int QEL_ThresholdChannel(QelRawVolumeData* vol, int channel, const QelValue* threshold);
// The threshold is truncated toward zero into integer units. One above the unit's maximum
// selects nothing, one below its minimum selects everything, NaN selects nothing.
int QEL_ThresholdChannelAtFloat(QelRawVolumeData* vol, int channel, float threshold);
// Inside: range->min <= v <= range->max, both read in the channel's unit.
int QEL_SelectRangeOfChannel(QelRawVolumeData* vol, int channel, const QelTypedValueRange* range);

// Per-unit loops over n voxels (n < 1: nothing); each returns the number of ones.
int QEL_ThresholdArray_Uint8(uint8_t* data, int n, uint8_t t);
int QEL_ThresholdArray_Int8(int8_t* data, int n, int8_t t);
int QEL_ThresholdArray_Uint16(uint16_t* data, int n, uint16_t t);
int QEL_ThresholdArray_Int16(int16_t* data, int n, int16_t t);
int QEL_ThresholdArray_Uint32(uint32_t* data, int n, uint32_t t);
int QEL_ThresholdArray_Int32(int32_t* data, int n, int32_t t);
int QEL_ThresholdArray_Float32(float* data, int n, float t);
int QEL_ThresholdArray_Float64(double* data, int n, double t);

int QEL_SelectRangeOfArray_Uint8(uint8_t* data, int n, uint8_t min, uint8_t max);
int QEL_SelectRangeOfArray_Int8(int8_t* data, int n, int8_t min, int8_t max);
int QEL_SelectRangeOfArray_Uint16(uint16_t* data, int n, uint16_t min, uint16_t max);
int QEL_SelectRangeOfArray_Int16(int16_t* data, int n, int16_t min, int16_t max);
int QEL_SelectRangeOfArray_Uint32(uint32_t* data, int n, uint32_t min, uint32_t max);
int QEL_SelectRangeOfArray_Int32(int32_t* data, int n, int32_t min, int32_t max);
int QEL_SelectRangeOfArray_Float32(float* data, int n, float min, float max);
int QEL_SelectRangeOfArray_Float64(double* data, int n, double min, double max);
