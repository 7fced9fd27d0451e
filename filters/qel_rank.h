// Rank filters: every voxel of a channel becomes the value of a chosen rank among its
// kernel neighbourhood (minimum, median, maximum or any rank in between).
#pragma once
#include <cstdint>

#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

// Sorts a[1..n] ascending in place (a is addressed from 1: pass buffer - 1). Comparisons
// with NaN are false, so with NaNs present the order is what these exact steps give.
void QEL_SortFloats(uint32_t n, float* a);

// Slab routines. dst: size[0] * size[1] * size[2] elements (x fastest), written densely.
// src: the padded channel at the first padded slice of the slab, the grid being
// (nx + 2m) by (ny + 2m) per slice, m = kernel->margin. The kernel's offsets must be set for
// that padded grid. rank: 0-based position in the ascending order of the n gathered values.
// The rank family compares values as 32-bit floats (32-bit integers and doubles come back
// rounded to float precision); minimum and maximum compare in the unit's own type.
void QEL_RankFilterSlab_Uint8(uint8_t* dst, const int* size, const QelKernel* kernel, const uint8_t* src, int rank);
void QEL_RankFilterSlab_Int8(int8_t* dst, const int* size, const QelKernel* kernel, const int8_t* src, int rank);
void QEL_RankFilterSlab_Uint16(uint16_t* dst, const int* size, const QelKernel* kernel, const uint16_t* src, int rank);
void QEL_RankFilterSlab_Int16(int16_t* dst, const int* size, const QelKernel* kernel, const int16_t* src, int rank);
void QEL_RankFilterSlab_Uint32(uint32_t* dst, const int* size, const QelKernel* kernel, const uint32_t* src, int rank);
void QEL_RankFilterSlab_Int32(int32_t* dst, const int* size, const QelKernel* kernel, const int32_t* src, int rank);
void QEL_RankFilterSlab_Float32(float* dst, const int* size, const QelKernel* kernel, const float* src, int rank);
void QEL_RankFilterSlab_Float64(double* dst, const int* size, const QelKernel* kernel, const double* src, int rank);

void QEL_MinimumFilterSlab_Uint8(uint8_t* dst, const int* size, const QelKernel* kernel, const uint8_t* src);
void QEL_MinimumFilterSlab_Int8(int8_t* dst, const int* size, const QelKernel* kernel, const int8_t* src);
void QEL_MinimumFilterSlab_Uint16(uint16_t* dst, const int* size, const QelKernel* kernel, const uint16_t* src);
void QEL_MinimumFilterSlab_Int16(int16_t* dst, const int* size, const QelKernel* kernel, const int16_t* src);
void QEL_MinimumFilterSlab_Uint32(uint32_t* dst, const int* size, const QelKernel* kernel, const uint32_t* src);
void QEL_MinimumFilterSlab_Int32(int32_t* dst, const int* size, const QelKernel* kernel, const int32_t* src);
void QEL_MinimumFilterSlab_Float32(float* dst, const int* size, const QelKernel* kernel, const float* src);
void QEL_MinimumFilterSlab_Float64(double* dst, const int* size, const QelKernel* kernel, const double* src);

void QEL_MaximumFilterSlab_Uint8(uint8_t* dst, const int* size, const QelKernel* kernel, const uint8_t* src);
void QEL_MaximumFilterSlab_Int8(int8_t* dst, const int* size, const QelKernel* kernel, const int8_t* src);
void QEL_MaximumFilterSlab_Uint16(uint16_t* dst, const int* size, const QelKernel* kernel, const uint16_t* src);
void QEL_MaximumFilterSlab_Int16(int16_t* dst, const int* size, const QelKernel* kernel, const int16_t* src);
void QEL_MaximumFilterSlab_Uint32(uint32_t* dst, const int* size, const QelKernel* kernel, const uint32_t* src);
void QEL_MaximumFilterSlab_Int32(int32_t* dst, const int* size, const QelKernel* kernel, const int32_t* src);
void QEL_MaximumFilterSlab_Float32(float* dst, const int* size, const QelKernel* kernel, const float* src);
void QEL_MaximumFilterSlab_Float64(double* dst, const int* size, const QelKernel* kernel, const double* src);

// Argument of one filter thread; nx, ny, slices are handed to the slab routine as its size.
struct QelRankFilterTask {
    int unit;
    void* src;     // first padded slice of the slab
    void* dst;     // first output slice of the slab
    int rank;
    int nx;
    int ny;
    int slices;
    QelKernel* kernel;
};

// Thread start routines: run the slab routine of task->unit (which writes nothing when the
// task's pointers, size or kernel cannot describe a slab), then free the task record.
// The result is NULL, or non-NULL when the slab's scratch memory could not be had (the
// slab is then left unwritten).
void* QEL_MinimumFilterThread(void* task);
void* QEL_MaximumFilterThread(void* task);
void* QEL_RankFilterThread(void* task);

// Threaded filter: mirror borders, z split into `threads` slabs (< 1 counts as 1). Ranks
// 0 and n - 1 run the minimum and maximum routines. The volume is padded by the kernel's
// margin, or by its farthest point when that reaches further. Returns 0, or -1 with the
// channel unchanged (NULL kernel, invalid channel or rank, memory).
int QEL_RankFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int rank, int threads);
int QEL_MedianFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int threads);
int QEL_MinimumFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int threads);
int QEL_MaximumFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int threads);

// Single-threaded filter: replicated borders; QEL_RankFilter always sorts. Same results
// and failure rules as the threaded filter, but a NULL kernel or volume is silent.
int QEL_RankFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel, int rank);
int QEL_MedianFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel);
int QEL_MinimumFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel);
int QEL_MaximumFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel);
