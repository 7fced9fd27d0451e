// The multi-channel image record: construction, copies, queries and the channel list.
#include "volume/qel_image.h"

#include <cstdio>
#include <cstdlib>

#include "volume/qel_checked.hpp"
#include "volume/qel_record_ops.hpp"

QelRawImageData* QEL_NewRawImageData(const QelSize3i* size, const int* units, const int* attributes) {
    if (!size || !units || !attributes) return nullptr;
    if (!qel::checked_voxels({size->nx, size->ny}) || size->nz <= 0) return nullptr;
    auto* image = static_cast<QelRawImageData*>(std::calloc(1, sizeof(QelRawImageData)));
    if (!image) return nullptr;
    image->size = QEL_CopySize3i(size);
    if (!image->size) {
        std::free(image);
        return nullptr;
    }
    return qel::complete_record(image, units, attributes);
}

QelRawImageData* QEL_NewSingleChannelRawImageData(const QelSize2i* size, int unit, int attribute) {
    if (!size) return nullptr;
    const QelSize3i s{size->width, size->height, 1};
    return QEL_NewRawImageData(&s, &unit, &attribute);
}

void QEL_DeleteRawImageData(QelRawImageData* image) {
    if (!image) return;
    qel::destroy_record(image, image->size ? image->size->nz : 0);
}

QelRawImageData* QEL_CopyRawImageData(const QelRawImageData* image) { return qel::copy_record(image); }

QelRawImageData* QEL_ExtractChannelOfRawImageData(const QelRawImageData* image, int channel) {
    return qel::extract_channel(image, channel);
}

int QEL_GetNumberOfPixels(const QelRawImageData* image) {
    if (!qel::is_record(image)) return 0;
    return static_cast<int>(qel::RecordTraits<QelRawImageData>::elements(*image));
}

QelRect2i* QEL_NewRectOfRawImageData(const QelRawImageData* image) {
    if (!qel::is_record(image)) return nullptr;
    const QelPoint2i origin{0, 0};
    const QelSize2i size{image->size->nx, image->size->ny};
    return QEL_NewRect2i(&origin, &size);
}

int QEL_IsRectInsideRawImageData(const QelRect2i* rect, const QelRawImageData* image) {
    QelRect2i* whole = QEL_NewRectOfRawImageData(image);
    if (!whole) return -1;
    const int inside = QEL_IsRect2iInside(rect, whole);
    QEL_DeleteRect2i(whole);
    return inside;
}

void** QEL_GetChannelArrayOfRawImageData(const QelRawImageData* image, int channel) {
    return image->rows[channel];
}

void* QEL_GetRowOfRawImageData(const QelRawImageData* image, int channel, int y) {
    return QEL_GetRowOfTypedArray3D(image->rows, image->unit[channel], channel, y);
}

void QEL_SwapRawImageData(QelRawImageData* a, QelRawImageData* b) { qel::swap_records(a, b); }

int QEL_AddChannelToRawImageData(QelRawImageData* image, int unit, int attribute) {
    return qel::append_channel(image, unit, attribute) < 0 ? -1 : 0;
}

int QEL_DuplicateChannelOfRawImageData(QelRawImageData* image, int channel) {
    return qel::append_channel_copy(image, image, channel);
}

int QEL_RemoveChannelFromRawImageData(QelRawImageData* image, int channel) {
    return qel::remove_channel(image, channel);
}

void QEL_InterleavedCopyRgbaRawImageData(const QelRawImageData* src, QelRawImageData* dst) {
    qel::interleave_rgba(dst, src);
}

void QEL_NonInterleavedCopyRgbaRawImageData(const QelRawImageData* src, int channel, QelRawImageData* dst) {
    if (!qel::deinterleave_rgba(dst, src, channel))
        std::fprintf(stderr, "Err:QEL_NonInterleavedCopyRgbaRawImageData\n");
}

void QEL_ToggleRgbaOfRawImageData(QelRawImageData* image) { qel::toggle_rgba(image); }
