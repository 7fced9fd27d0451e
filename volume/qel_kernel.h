// Kernels (neighbourhoods of integer displacements ordered by distance, with the linear
// offsets of their points for one grid size) and the voxel lists that hold their points.
#pragma once
#include "volume/qel_geometry.h"
#include "volume/qel_volume.h"

#define QEL_KERNEL_SPHERICAL 0
#define QEL_KERNEL_CUBIC 1
#define QEL_KERNEL_GENERAL 2

// A list that never grows past its capacity. offset[i] = x[i] + nx*(y[i] + ny*z[i]) for
// dims (nx, ny, nz), valid only after QEL_SetVoxelListOffsets for the current dims.
struct QelVoxelList {
    int count;     // entries in use (for a kernel: the active points)
    int capacity;  // entries allocated (for a kernel: all its points)
    int* x;
    int* y;
    int* z;
    int* offset;
    QelSize3i* dims;  // what the offsets were computed for; (1, 1, 1) at creation
};

// Point 0 of every kernel but the channel-derived one is the centre. Spherical and cubic
// points are in non-decreasing distance, so the active points are a prefix of the list.
// margin: how far a filter pads a volume before applying the kernel; it covers the reach.
struct QelKernel {
    int kind;
    float radius;     // current radius (spherical, cubic: the active points lie within it)
    float maxRadius;  // radius of the whole point set
    int margin;
    QelVoxelList* points;
    float* distance;  // [capacity]
    float* weight;    // [capacity] (general kernels)
    float weightSum;
};

QelVoxelList* QEL_NewVoxelList(int capacity);
void QEL_DeleteVoxelList(QelVoxelList* list);
int QEL_AppendToVoxelList(QelVoxelList* list, const QelPoint3i* p);    // new count; count when full
int QEL_FindOrAppendVoxel(QelVoxelList* list, const QelPoint3i* p);    // index; -1 when full
int QEL_RemoveFromVoxelList(QelVoxelList* list, const QelPoint3i* p);  // new count
void QEL_SetVoxelListOffsets(QelVoxelList* list, const QelSize3i* dims);
// The 1-voxels of a binary channel in scan order; prints "Err: Short of memory" on failure.
QelVoxelList* QEL_NewVoxelListOfBinaryChannel(const QelRawVolumeData* vol, int channel);

QelKernel* QEL_NewKernel(int capacity);
void QEL_DeleteKernel(QelKernel* kernel);
QelKernel* QEL_NewSphericalKernel(float r);
QelKernel* QEL_NewCubicKernel(int size);
QelKernel* QEL_NewNeighborhoodKernel(int n);  // n = 6, 18 or 26
QelKernel* QEL_NewKernelFromRawVolumeData(const QelRawVolumeData* vol, int channel, const QelPoint3i* centre);
void QEL_SetKernelRadius(QelKernel* kernel, float r);
// Offsets for a grid of dims, every point (active or not); filters pass the padded dims.
void QEL_SetKernelOffsets(QelKernel* kernel, const QelSize3i* dims);
int QEL_SetKernelWeight(QelKernel* kernel, const QelPoint3i* p, float w);
