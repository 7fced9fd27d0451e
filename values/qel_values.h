// Value operations on one channel of a volume or image, in place: clear, fill with the
// unit's fill minimum, replace one value, add a constant, scale with an offset.
#pragma once
#include <cstdint>

#include "volume/qel_image.h"
#include "volume/qel_units.h"
#include "volume/qel_volume.h"

// Dispatchers: pick the line kernel of the channel's unit and run it over the whole channel.
// A NULL record, a channel index outside the record or a unit outside 0..7 changes nothing.
// QelValue arguments are read in the channel's unit (the first 1, 2, 4 or 8 bytes); a packed
// RGBA channel is treated as whole 32-bit words.
void QEL_ClearRawImageData(QelRawImageData* image, int channel);
void QEL_ClearRawVolumeData(QelRawVolumeData* volume, int channel);
// Fill minima per unit: 0, -128, 0, -32768, 0, -2147483647, 0.0, 0.0.
void QEL_FillMinimumOfRawImageData(QelRawImageData* image, int channel);
void QEL_FillMinimumOfRawVolumeData(QelRawVolumeData* volume, int channel);
void QEL_ReplaceValueOfRawVolumeData(QelRawVolumeData* volume, int channel, const QelValue* from,
                                     const QelValue* to);
// Adds shift to every value; integers wrap modulo their width. flag is not used.
void QEL_GreyOffsetterOfRawVolumeData(QelRawVolumeData* volume, int channel, const QelValue* shift, int flag);
// Every value becomes value * scale + offset, computed in double; integer units keep the low
// bits of the result truncated toward zero (values wrap, they are not clamped).
void QEL_ScaleValueOfRawVolumeData(QelRawVolumeData* volume, int channel, float scale, float offset);

// Line kernels: `count` elements from `data`; a count <= 0 writes nothing.
void QEL_ClearArray_Uint8(uint8_t* data, int32_t count);
void QEL_ClearArray_Int8(int8_t* data, int32_t count);
void QEL_ClearArray_Uint16(uint16_t* data, int32_t count);
void QEL_ClearArray_Int16(int16_t* data, int32_t count);
void QEL_ClearArray_Uint32(uint32_t* data, int32_t count);
void QEL_ClearArray_Int32(int32_t* data, int32_t count);
void QEL_ClearArray_Float32(float* data, int32_t count);
void QEL_ClearArray_Float64(double* data, int32_t count);

void QEL_FillArray_Uint8(uint8_t* data, int32_t count, uint8_t value);
void QEL_FillArray_Int8(int8_t* data, int32_t count, int8_t value);
void QEL_FillArray_Uint16(uint16_t* data, int32_t count, uint16_t value);
void QEL_FillArray_Int16(int16_t* data, int32_t count, int16_t value);
void QEL_FillArray_Uint32(uint32_t* data, int32_t count, uint32_t value);
void QEL_FillArray_Int32(int32_t* data, int32_t count, int32_t value);
void QEL_FillArray_Float32(float* data, int32_t count, float value);
void QEL_FillArray_Float64(double* data, int32_t count, double value);

// Floats compare with IEEE equality (NaN never matches, -0.0 matches 0.0); `to` is stored
// bit for bit.
void QEL_ReplaceInArray_Uint8(uint8_t* data, int32_t count, uint8_t from, uint8_t to);
void QEL_ReplaceInArray_Int8(int8_t* data, int32_t count, int8_t from, int8_t to);
void QEL_ReplaceInArray_Uint16(uint16_t* data, int32_t count, uint16_t from, uint16_t to);
void QEL_ReplaceInArray_Int16(int16_t* data, int32_t count, int16_t from, int16_t to);
void QEL_ReplaceInArray_Uint32(uint32_t* data, int32_t count, uint32_t from, uint32_t to);
void QEL_ReplaceInArray_Int32(int32_t* data, int32_t count, int32_t from, int32_t to);
void QEL_ReplaceInArray_Float32(float* data, int32_t count, float from, float to);
void QEL_ReplaceInArray_Float64(double* data, int32_t count, double from, double to);

void QEL_AddToArray_Uint8(uint8_t* data, int32_t count, uint8_t value);
void QEL_AddToArray_Int8(int8_t* data, int32_t count, int8_t value);
void QEL_AddToArray_Uint16(uint16_t* data, int32_t count, uint16_t value);
void QEL_AddToArray_Int16(int16_t* data, int32_t count, int16_t value);
void QEL_AddToArray_Uint32(uint32_t* data, int32_t count, uint32_t value);
void QEL_AddToArray_Int32(int32_t* data, int32_t count, int32_t value);
void QEL_AddToArray_Float32(float* data, int32_t count, float value);
void QEL_AddToArray_Float64(double* data, int32_t count, double value);

void QEL_ScaleArray_Uint8(uint8_t* data, int32_t count, float scale, float offset);
void QEL_ScaleArray_Int8(int8_t* data, int32_t count, float scale, float offset);
void QEL_ScaleArray_Uint16(uint16_t* data, int32_t count, float scale, float offset);
void QEL_ScaleArray_Int16(int16_t* data, int32_t count, float scale, float offset);
void QEL_ScaleArray_Uint32(uint32_t* data, int32_t count, float scale, float offset);
void QEL_ScaleArray_Int32(int32_t* data, int32_t count, float scale, float offset);
void QEL_ScaleArray_Float32(float* data, int32_t count, float scale, float offset);
void QEL_ScaleArray_Float64(double* data, int32_t count, float scale, float offset);
