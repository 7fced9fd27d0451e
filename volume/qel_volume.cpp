// The multi-channel volume record: construction, copies, queries and the channel list.
#include "volume/qel_volume.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "volume/qel_checked.hpp"
#include "volume/qel_record_ops.hpp"

QelRawVolumeData* QEL_NewRawVolumeData(const QelSize4i* size, const int* units, const int* attributes) {
    if (!size || !units || !attributes) return nullptr;
    // Dimensions and the channel count must be positive and one channel's voxel count must
    // fit the int that carries it.
    if (!qel::checked_voxels({size->nx, size->ny, size->nz}) || size->nChannels <= 0) return nullptr;
    auto* vol = static_cast<QelRawVolumeData*>(std::calloc(1, sizeof(QelRawVolumeData)));
    if (!vol) return nullptr;
    vol->size = QEL_CopySize4i(size);
    if (!vol->size) {
        std::free(vol);
        return nullptr;
    }
    return qel::complete_record(vol, units, attributes);
}

QelRawVolumeData* QEL_NewSingleChannelRawVolumeData(const QelSize3i* dims, int unit, int attribute) {
    if (!dims) return nullptr;
    const QelSize4i size{dims->nx, dims->ny, dims->nz, 1};
    return QEL_NewRawVolumeData(&size, &unit, &attribute);
}

void QEL_DeleteRawVolumeData(QelRawVolumeData* vol) {
    if (!vol) return;
    qel::destroy_record(vol, vol->size ? vol->size->nChannels : 0);
}

QelRawVolumeData* QEL_CopyRawVolumeData(const QelRawVolumeData* vol) { return qel::copy_record(vol); }

QelRawVolumeData* QEL_ExtractChannelOfRawVolumeData(const QelRawVolumeData* vol, int channel) {
    return qel::extract_channel(vol, channel);
}

int QEL_GetNumberOfVoxels(const QelRawVolumeData* vol) {
    if (!qel::is_record(vol)) return 0;
    return static_cast<int>(qel::RecordTraits<QelRawVolumeData>::elements(*vol));
}

QelBox3i* QEL_NewBoxOfRawVolumeData(const QelRawVolumeData* vol) {
    if (!qel::is_record(vol)) return nullptr;
    const QelPoint3i origin{0, 0, 0};
    const QelSize3i size{vol->size->nx, vol->size->ny, vol->size->nz};
    return QEL_NewBox3i(&origin, &size);
}

int QEL_IsBoxInsideRawVolumeData(const QelBox3i* box, const QelRawVolumeData* vol) {
    QelBox3i* whole = QEL_NewBoxOfRawVolumeData(vol);
    if (!whole) return -1;
    const int inside = QEL_IsBox3iInside(box, whole);
    QEL_DeleteBox3i(whole);
    return inside;
}

void QEL_ClipBoxToRawVolumeData(QelBox3i* box, const QelRawVolumeData* vol) {
    if (!box || !box->origin || !box->size || !qel::is_record(vol)) return;
    // Worked in 64 bits; only a box wholly outside can end with a size below 0, which is
    // kept within the int range.
    auto clip = [](int& origin, int& size, int n) {
        int64_t first = origin;
        int64_t last = first + size - 1;
        first = std::max<int64_t>(first, 0);
        last = std::min<int64_t>(last, static_cast<int64_t>(n) - 1);
        origin = static_cast<int>(first);
        size = static_cast<int>(std::max<int64_t>(last - first + 1, INT32_MIN));
    };
    clip(box->origin->x, box->size->nx, vol->size->nx);
    clip(box->origin->y, box->size->ny, vol->size->ny);
    clip(box->origin->z, box->size->nz, vol->size->nz);
}

void*** QEL_GetChannelArrayOfRawVolumeData(const QelRawVolumeData* vol, int channel) {
    return vol->slices[channel];
}

void** QEL_GetSliceOfRawVolumeData(const QelRawVolumeData* vol, int channel, int z) {
    return QEL_GetSliceOfTypedArray4D(vol->slices, vol->unit[channel], channel, z);
}

void* QEL_GetRowOfRawVolumeData(const QelRawVolumeData* vol, int channel, int z, int y) {
    return QEL_GetRowOfTypedArray4D(vol->slices, vol->unit[channel], channel, z, y);
}

void QEL_SwapRawVolumeData(QelRawVolumeData* a, QelRawVolumeData* b) { qel::swap_records(a, b); }

void QEL_SwapChannelsOfRawVolumeData(QelRawVolumeData* volA, int chA, QelRawVolumeData* volB, int chB) {
    if (!qel::has_channel(volA, chA) || !qel::has_channel(volB, chB) ||
        !qel::RecordTraits<QelRawVolumeData>::same_dims(*volA, *volB))
        return;
    std::swap(volA->unit[chA], volB->unit[chB]);
    std::swap(volA->attribute[chA], volB->attribute[chB]);
    std::swap(volA->data[chA], volB->data[chB]);
    std::swap(volA->slices[chA], volB->slices[chB]);
}

int QEL_AddChannelToRawVolumeData(QelRawVolumeData* vol, int unit, int attribute) {
    return qel::append_channel(vol, unit, attribute) < 0 ? -1 : 0;
}

int QEL_AddChannelCopyToRawVolumeData(QelRawVolumeData* vol, const QelRawVolumeData* src, int srcChannel) {
    return qel::append_channel_copy(vol, src, srcChannel);
}

int QEL_DuplicateChannelOfRawVolumeData(QelRawVolumeData* vol, int channel) {
    return qel::append_channel_copy(vol, vol, channel);
}

int QEL_RemoveChannelFromRawVolumeData(QelRawVolumeData* vol, int channel) {
    return qel::remove_channel(vol, channel);
}

void QEL_InterleavedCopyRgbaRawVolumeData(QelRawVolumeData* dst, const QelRawVolumeData* src) {
    qel::interleave_rgba(dst, src);
}

void QEL_NonInterleavedCopyRgbaRawVolumeData(QelRawVolumeData* dst, int channel, const QelRawVolumeData* src) {
    if (!qel::deinterleave_rgba(dst, src, channel))
        std::fprintf(stderr, "Err:QEL_NonInterleavedCopyRgbaRawVolumeData\n");
}

void QEL_ToggleRgbaOfRawVolumeData(QelRawVolumeData* vol) { qel::toggle_rgba(vol); }
