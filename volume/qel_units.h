// Voxel units, channel attributes, value ranges, single values and typed arrays.
#pragma once
#include <cstdint>

#define QEL_VOXEL_UNIT_UINT8 0
#define QEL_VOXEL_UNIT_INT8 1
#define QEL_VOXEL_UNIT_UINT16 2
#define QEL_VOXEL_UNIT_INT16 3
#define QEL_VOXEL_UNIT_UINT32 4
#define QEL_VOXEL_UNIT_INT32 5
#define QEL_VOXEL_UNIT_FLOAT32 6
#define QEL_VOXEL_UNIT_FLOAT64 7

#define QEL_ATTRIBUTE_PLAIN 0
#define QEL_ATTRIBUTE_RGBA 2

struct QelValueRange { float min, max; };
// One voxel value in the width of a unit, at the start of 8 bytes.
struct QelValue { alignas(8) unsigned char bytes[8]; };
struct QelTypedValueRange { QelValue min, max; };
struct QelIntRange { int min, max; };

int QEL_GetVoxelUnitSize(int unit);
void QEL_GetVoxelUnitName(int unit, char* text);
int QEL_IsValidVoxelUnit(int unit);

float QEL_MaxFloat(float a, float b);
float QEL_MinFloat(float a, float b);
float QEL_Min3Float(float a, float b, float c);
float QEL_Max3Float(float a, float b, float c);
int QEL_MaxInt(int a, int b);
int QEL_MinInt(int a, int b);
int QEL_Min3Int(int a, int b, int c);
int QEL_Max3Int(int a, int b, int c);

QelValueRange* QEL_NewValueRange(float min, float max);
QelValueRange* QEL_CopyValueRange(const QelValueRange* r);
void QEL_DeleteValueRange(QelValueRange* r);
QelValueRange* QEL_NewValueRangeOfVoxelUnit(int unit);
int QEL_IsInValueRange(float x, const QelValueRange* r);
float QEL_ClampToValueRange(float x, const QelValueRange* r);
double QEL_MapValueLinear(float x, const QelValueRange* src, const QelValueRange* dst);
double QEL_MapValueLinearClamped(float x, const QelValueRange* src, const QelValueRange* dst);
QelValueRange* QEL_UniteValueRange(QelValueRange* a, const QelValueRange* b);
QelValueRange* QEL_GetValueRangeOfArray(const void* data, int count, int unit);

// Values and typed ranges have no destructor: they are single blocks, released with free().
QelValue* QEL_NewValue(float x, int unit);
QelTypedValueRange* QEL_NewTypedValueRange(const QelValueRange* r, int unit);

QelIntRange* QEL_NewIntRange(int min, int max);
QelIntRange* QEL_CopyIntRange(const QelIntRange* r);
void QEL_DeleteIntRange(QelIntRange* r);
int QEL_IsInIntRange(int x, const QelIntRange* r);
int QEL_ClampToIntRange(int x, const QelIntRange* r);
int QEL_MapIntLinear(int x, const QelIntRange* src, const QelIntRange* dst);

void* QEL_AllocateTypedArray(int n, int unit);
void** QEL_NewTypedArray2D(int nx, int ny, int unit);
void*** QEL_NewTypedArray3D(int nx, int ny, int nz, int unit);
void**** QEL_NewTypedArray4D(int nx, int ny, int nz, int nw, int unit);
void* QEL_GetTypedArray2DBase(void** rows, int unit);
void* QEL_GetTypedArray3DBase(void*** slices, int unit);
void* QEL_GetTypedArray4DBase(void**** top, int unit);
void QEL_DeleteTypedArray1D(void* block);
void QEL_DeleteTypedArray2D(void** rows, int nx, int ny, int unit);
void QEL_DeleteTypedArray3D(void*** slices, int nx, int ny, int nz, int unit);
void QEL_DeleteTypedArray4D(void**** top, int nx, int ny, int nz, int nw, int unit);
void* QEL_GetRowOfTypedArray2D(void** rows, int unit, int y);
void* QEL_GetRowOfTypedArray3D(void*** slices, int unit, int z, int y);
void** QEL_GetSliceOfTypedArray4D(void**** top, int unit, int w, int z);
void* QEL_GetRowOfTypedArray4D(void**** top, int unit, int w, int z, int y);
void* QEL_GetTableEntry(void** table, int unit, int i);
void* QEL_GetChannelTable(void** table, int unit, int i);
double QEL_GetValueOfTypedArray(const void* data, int unit, int n, int i);
void QEL_SwapBytes(char* a, char* b);
