// Voxel sampling: the value of one channel at a real-valued position, in a 1-D element array,
// a 2-D row table or a 3-D slice table (element (i, j, k) is slices[k][j][i]). The index along
// an axis is the coordinate truncated toward zero. One member per voxel unit, picked once per
// channel, so that inner loops sample without further tests.
#pragma once
#include <cstdint>

// Nearest, bounded: 0 (0.0) when a truncated index is < 0 or >= its extent.
uint8_t QEL_SampleNearest1DBounded_Uint8(const void* data, int n, float x);
int8_t QEL_SampleNearest1DBounded_Int8(const void* data, int n, float x);
uint16_t QEL_SampleNearest1DBounded_Uint16(const void* data, int n, float x);
int16_t QEL_SampleNearest1DBounded_Int16(const void* data, int n, float x);
uint32_t QEL_SampleNearest1DBounded_Uint32(const void* data, int n, float x);
int32_t QEL_SampleNearest1DBounded_Int32(const void* data, int n, float x);
float QEL_SampleNearest1DBounded_Float32(const void* data, int n, float x);
double QEL_SampleNearest1DBounded_Float64(const void* data, int n, float x);

uint8_t QEL_SampleNearest2DBounded_Uint8(const void* const* rows, int nx, int ny, float x, float y);
int8_t QEL_SampleNearest2DBounded_Int8(const void* const* rows, int nx, int ny, float x, float y);
uint16_t QEL_SampleNearest2DBounded_Uint16(const void* const* rows, int nx, int ny, float x, float y);
int16_t QEL_SampleNearest2DBounded_Int16(const void* const* rows, int nx, int ny, float x, float y);
uint32_t QEL_SampleNearest2DBounded_Uint32(const void* const* rows, int nx, int ny, float x, float y);
int32_t QEL_SampleNearest2DBounded_Int32(const void* const* rows, int nx, int ny, float x, float y);
float QEL_SampleNearest2DBounded_Float32(const void* const* rows, int nx, int ny, float x, float y);
double QEL_SampleNearest2DBounded_Float64(const void* const* rows, int nx, int ny, float x, float y);

uint8_t QEL_SampleNearest3DBounded_Uint8(const void* const* const* slices, int nx, int ny, int nz,
                                         float x, float y, float z);
int8_t QEL_SampleNearest3DBounded_Int8(const void* const* const* slices, int nx, int ny, int nz,
                                       float x, float y, float z);
uint16_t QEL_SampleNearest3DBounded_Uint16(const void* const* const* slices, int nx, int ny, int nz,
                                           float x, float y, float z);
int16_t QEL_SampleNearest3DBounded_Int16(const void* const* const* slices, int nx, int ny, int nz,
                                         float x, float y, float z);
uint32_t QEL_SampleNearest3DBounded_Uint32(const void* const* const* slices, int nx, int ny, int nz,
                                           float x, float y, float z);
int32_t QEL_SampleNearest3DBounded_Int32(const void* const* const* slices, int nx, int ny, int nz,
                                         float x, float y, float z);
float QEL_SampleNearest3DBounded_Float32(const void* const* const* slices, int nx, int ny, int nz,
                                         float x, float y, float z);
double QEL_SampleNearest3DBounded_Float64(const void* const* const* slices, int nx, int ny, int nz,
                                          float x, float y, float z);

// Nearest, unchecked: every truncated index must lie in [0, extent); the extents are not used.
uint8_t QEL_SampleNearest1D_Uint8(const void* data, int n, float x);
int8_t QEL_SampleNearest1D_Int8(const void* data, int n, float x);
uint16_t QEL_SampleNearest1D_Uint16(const void* data, int n, float x);
int16_t QEL_SampleNearest1D_Int16(const void* data, int n, float x);
uint32_t QEL_SampleNearest1D_Uint32(const void* data, int n, float x);
int32_t QEL_SampleNearest1D_Int32(const void* data, int n, float x);
float QEL_SampleNearest1D_Float32(const void* data, int n, float x);
double QEL_SampleNearest1D_Float64(const void* data, int n, float x);

uint8_t QEL_SampleNearest2D_Uint8(const void* const* rows, int nx, int ny, float x, float y);
int8_t QEL_SampleNearest2D_Int8(const void* const* rows, int nx, int ny, float x, float y);
uint16_t QEL_SampleNearest2D_Uint16(const void* const* rows, int nx, int ny, float x, float y);
int16_t QEL_SampleNearest2D_Int16(const void* const* rows, int nx, int ny, float x, float y);
uint32_t QEL_SampleNearest2D_Uint32(const void* const* rows, int nx, int ny, float x, float y);
int32_t QEL_SampleNearest2D_Int32(const void* const* rows, int nx, int ny, float x, float y);
float QEL_SampleNearest2D_Float32(const void* const* rows, int nx, int ny, float x, float y);
double QEL_SampleNearest2D_Float64(const void* const* rows, int nx, int ny, float x, float y);

uint8_t QEL_SampleNearest3D_Uint8(const void* const* const* slices, int nx, int ny, int nz,
                                  float x, float y, float z);
int8_t QEL_SampleNearest3D_Int8(const void* const* const* slices, int nx, int ny, int nz,
                                float x, float y, float z);
uint16_t QEL_SampleNearest3D_Uint16(const void* const* const* slices, int nx, int ny, int nz,
                                    float x, float y, float z);
int16_t QEL_SampleNearest3D_Int16(const void* const* const* slices, int nx, int ny, int nz,
                                  float x, float y, float z);
uint32_t QEL_SampleNearest3D_Uint32(const void* const* const* slices, int nx, int ny, int nz,
                                    float x, float y, float z);
int32_t QEL_SampleNearest3D_Int32(const void* const* const* slices, int nx, int ny, int nz,
                                  float x, float y, float z);
float QEL_SampleNearest3D_Float32(const void* const* const* slices, int nx, int ny, int nz,
                                  float x, float y, float z);
double QEL_SampleNearest3D_Float64(const void* const* const* slices, int nx, int ny, int nz,
                                   float x, float y, float z);

// Linear, clamped: each axis clamped to its end samples; integer units truncate toward zero.
uint8_t QEL_SampleLinear1DClamped_Uint8(const void* data, int n, float x);
int8_t QEL_SampleLinear1DClamped_Int8(const void* data, int n, float x);
uint16_t QEL_SampleLinear1DClamped_Uint16(const void* data, int n, float x);
int16_t QEL_SampleLinear1DClamped_Int16(const void* data, int n, float x);
uint32_t QEL_SampleLinear1DClamped_Uint32(const void* data, int n, float x);
int32_t QEL_SampleLinear1DClamped_Int32(const void* data, int n, float x);
float QEL_SampleLinear1DClamped_Float32(const void* data, int n, float x);
double QEL_SampleLinear1DClamped_Float64(const void* data, int n, float x);

uint8_t QEL_SampleLinear2DClamped_Uint8(const void* const* rows, int nx, int ny, float x, float y);
int8_t QEL_SampleLinear2DClamped_Int8(const void* const* rows, int nx, int ny, float x, float y);
uint16_t QEL_SampleLinear2DClamped_Uint16(const void* const* rows, int nx, int ny, float x, float y);
int16_t QEL_SampleLinear2DClamped_Int16(const void* const* rows, int nx, int ny, float x, float y);
uint32_t QEL_SampleLinear2DClamped_Uint32(const void* const* rows, int nx, int ny, float x, float y);
int32_t QEL_SampleLinear2DClamped_Int32(const void* const* rows, int nx, int ny, float x, float y);
float QEL_SampleLinear2DClamped_Float32(const void* const* rows, int nx, int ny, float x, float y);
double QEL_SampleLinear2DClamped_Float64(const void* const* rows, int nx, int ny, float x, float y);

uint8_t QEL_SampleLinear3DClamped_Uint8(const void* const* const* slices, int nx, int ny, int nz,
                                        float x, float y, float z);
int8_t QEL_SampleLinear3DClamped_Int8(const void* const* const* slices, int nx, int ny, int nz,
                                      float x, float y, float z);
uint16_t QEL_SampleLinear3DClamped_Uint16(const void* const* const* slices, int nx, int ny, int nz,
                                          float x, float y, float z);
int16_t QEL_SampleLinear3DClamped_Int16(const void* const* const* slices, int nx, int ny, int nz,
                                        float x, float y, float z);
uint32_t QEL_SampleLinear3DClamped_Uint32(const void* const* const* slices, int nx, int ny, int nz,
                                          float x, float y, float z);
int32_t QEL_SampleLinear3DClamped_Int32(const void* const* const* slices, int nx, int ny, int nz,
                                        float x, float y, float z);
float QEL_SampleLinear3DClamped_Float32(const void* const* const* slices, int nx, int ny, int nz,
                                        float x, float y, float z);
double QEL_SampleLinear3DClamped_Float64(const void* const* const* slices, int nx, int ny, int nz,
                                         float x, float y, float z);

// Linear, unchecked: every coordinate must lie in [0, extent - 1]; the extents are not used.
uint8_t QEL_SampleLinear1D_Uint8(const void* data, int n, float x);
int8_t QEL_SampleLinear1D_Int8(const void* data, int n, float x);
uint16_t QEL_SampleLinear1D_Uint16(const void* data, int n, float x);
int16_t QEL_SampleLinear1D_Int16(const void* data, int n, float x);
uint32_t QEL_SampleLinear1D_Uint32(const void* data, int n, float x);
int32_t QEL_SampleLinear1D_Int32(const void* data, int n, float x);
float QEL_SampleLinear1D_Float32(const void* data, int n, float x);
double QEL_SampleLinear1D_Float64(const void* data, int n, float x);

uint8_t QEL_SampleLinear2D_Uint8(const void* const* rows, int nx, int ny, float x, float y);
int8_t QEL_SampleLinear2D_Int8(const void* const* rows, int nx, int ny, float x, float y);
uint16_t QEL_SampleLinear2D_Uint16(const void* const* rows, int nx, int ny, float x, float y);
int16_t QEL_SampleLinear2D_Int16(const void* const* rows, int nx, int ny, float x, float y);
uint32_t QEL_SampleLinear2D_Uint32(const void* const* rows, int nx, int ny, float x, float y);
int32_t QEL_SampleLinear2D_Int32(const void* const* rows, int nx, int ny, float x, float y);
float QEL_SampleLinear2D_Float32(const void* const* rows, int nx, int ny, float x, float y);
double QEL_SampleLinear2D_Float64(const void* const* rows, int nx, int ny, float x, float y);

uint8_t QEL_SampleLinear3D_Uint8(const void* const* const* slices, int nx, int ny, int nz,
                                 float x, float y, float z);
int8_t QEL_SampleLinear3D_Int8(const void* const* const* slices, int nx, int ny, int nz,
                               float x, float y, float z);
uint16_t QEL_SampleLinear3D_Uint16(const void* const* const* slices, int nx, int ny, int nz,
                                   float x, float y, float z);
int16_t QEL_SampleLinear3D_Int16(const void* const* const* slices, int nx, int ny, int nz,
                                 float x, float y, float z);
uint32_t QEL_SampleLinear3D_Uint32(const void* const* const* slices, int nx, int ny, int nz,
                                   float x, float y, float z);
int32_t QEL_SampleLinear3D_Int32(const void* const* const* slices, int nx, int ny, int nz,
                                 float x, float y, float z);
float QEL_SampleLinear3D_Float32(const void* const* const* slices, int nx, int ny, int nz,
                                 float x, float y, float z);
double QEL_SampleLinear3D_Float64(const void* const* const* slices, int nx, int ny, int nz,
                                  float x, float y, float z);

// Packed RGBA words (R bits 24-31, G 16-23, B 8-15, A 0-7): each byte lane is interpolated on
// its own and truncated toward zero; lanes never carry into each other.
uint32_t QEL_SampleLinearRgba1D(const void* data, int n, float x);
uint32_t QEL_SampleLinearRgba2D(const void* const* rows, int nx, int ny, float x, float y);
uint32_t QEL_SampleLinearRgba3D(const void* const* const* slices, int nx, int ny, int nz,
                                float x, float y,
                                float z);
uint32_t QEL_SampleLinearRgba1DClamped(const void* data, int n, float x);
uint32_t QEL_SampleLinearRgba2DClamped(const void* const* rows, int nx, int ny, float x, float y);
uint32_t QEL_SampleLinearRgba3DClamped(const void* const* const* slices, int nx, int ny, int nz,
                                       float x,
                                       float y, float z);

// Reverses the bytes of each of count elements in place for units 2 to 5; other units and NULL do nothing.
void QEL_SwapByteOrder(void* data, int unit, int count);
