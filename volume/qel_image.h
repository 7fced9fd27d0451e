// The multi-channel 2-D image record, the twin of the volume record.
#pragma once
#include "volume/qel_geometry.h"
#include "volume/qel_units.h"

// Pixel (x, y) of channel c is element x + width*y of data[c].
struct QelRawImageData {
    QelSize3i* size;  // {width, height, nChannels} in {nx, ny, nz}
    int* unit;        // [nChannels]
    int* attribute;   // [nChannels]
    void** data;      // [nChannels] base of each channel's block
    void*** rows;     // [nChannels] row table [height]
};

QelRawImageData* QEL_NewRawImageData(const QelSize3i* size, const int* units, const int* attributes);
QelRawImageData* QEL_NewSingleChannelRawImageData(const QelSize2i* size, int unit, int attribute);
void QEL_DeleteRawImageData(QelRawImageData* image);
QelRawImageData* QEL_CopyRawImageData(const QelRawImageData* image);
QelRawImageData* QEL_ExtractChannelOfRawImageData(const QelRawImageData* image, int channel);

int QEL_GetNumberOfPixels(const QelRawImageData* image);
QelRect2i* QEL_NewRectOfRawImageData(const QelRawImageData* image);
int QEL_IsRectInsideRawImageData(const QelRect2i* rect, const QelRawImageData* image);
void** QEL_GetChannelArrayOfRawImageData(const QelRawImageData* image, int channel);
void* QEL_GetRowOfRawImageData(const QelRawImageData* image, int channel, int y);

void QEL_SwapRawImageData(QelRawImageData* a, QelRawImageData* b);
int QEL_AddChannelToRawImageData(QelRawImageData* image, int unit, int attribute);
int QEL_DuplicateChannelOfRawImageData(QelRawImageData* image, int channel);
int QEL_RemoveChannelFromRawImageData(QelRawImageData* image, int channel);

// The image versions take the source first.
void QEL_InterleavedCopyRgbaRawImageData(const QelRawImageData* src, QelRawImageData* dst);
void QEL_NonInterleavedCopyRgbaRawImageData(const QelRawImageData* src, int channel, QelRawImageData* dst);
void QEL_ToggleRgbaOfRawImageData(QelRawImageData* image);
