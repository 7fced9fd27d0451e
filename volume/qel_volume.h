// The multi-channel 3-D volume record and its channel operations.
#pragma once
#include "volume/qel_geometry.h"
#include "volume/qel_units.h"

// Voxel (x, y, z) of channel c is element x + nx*(y + ny*z) of data[c].
struct QelRawVolumeData {
    QelSize4i* size;   // {nx, ny, nz, nChannels}
    int* unit;         // [nChannels] voxel unit codes
    int* attribute;    // [nChannels] 0 plain, 2 packed RGBA
    void** data;       // [nChannels] base of each channel's block
    void**** slices;   // [nChannels] slice table [nz] of row tables [ny]
};

QelRawVolumeData* QEL_NewRawVolumeData(const QelSize4i* size, const int* units, const int* attributes);
QelRawVolumeData* QEL_NewSingleChannelRawVolumeData(const QelSize3i* dims, int unit, int attribute);
void QEL_DeleteRawVolumeData(QelRawVolumeData* vol);
QelRawVolumeData* QEL_CopyRawVolumeData(const QelRawVolumeData* vol);
QelRawVolumeData* QEL_ExtractChannelOfRawVolumeData(const QelRawVolumeData* vol, int channel);

int QEL_GetNumberOfVoxels(const QelRawVolumeData* vol);
QelBox3i* QEL_NewBoxOfRawVolumeData(const QelRawVolumeData* vol);
int QEL_IsBoxInsideRawVolumeData(const QelBox3i* box, const QelRawVolumeData* vol);
void QEL_ClipBoxToRawVolumeData(QelBox3i* box, const QelRawVolumeData* vol);
void*** QEL_GetChannelArrayOfRawVolumeData(const QelRawVolumeData* vol, int channel);
void** QEL_GetSliceOfRawVolumeData(const QelRawVolumeData* vol, int channel, int z);
void* QEL_GetRowOfRawVolumeData(const QelRawVolumeData* vol, int channel, int z, int y);

void QEL_SwapRawVolumeData(QelRawVolumeData* a, QelRawVolumeData* b);
void QEL_SwapChannelsOfRawVolumeData(QelRawVolumeData* volA, int chA, QelRawVolumeData* volB, int chB);

int QEL_AddChannelToRawVolumeData(QelRawVolumeData* vol, int unit, int attribute);
int QEL_AddChannelCopyToRawVolumeData(QelRawVolumeData* vol, const QelRawVolumeData* src, int srcChannel);
int QEL_DuplicateChannelOfRawVolumeData(QelRawVolumeData* vol, int channel);
int QEL_RemoveChannelFromRawVolumeData(QelRawVolumeData* vol, int channel);

int QEL_SplitChannelsOfRawVolumeData(QelRawVolumeData* vol, int n, int layout);
int QEL_SplitPlanarChannels(QelRawVolumeData* vol, int n);
int QEL_SplitSliceInterleavedChannels(QelRawVolumeData* vol, int n);
int QEL_SplitVoxelInterleavedChannels(QelRawVolumeData* vol, int n);

void QEL_InterleavedCopyRgbaRawVolumeData(QelRawVolumeData* dst, const QelRawVolumeData* src);
void QEL_NonInterleavedCopyRgbaRawVolumeData(QelRawVolumeData* dst, int channel, const QelRawVolumeData* src);
void QEL_ToggleRgbaOfRawVolumeData(QelRawVolumeData* vol);
