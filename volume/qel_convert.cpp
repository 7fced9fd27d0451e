#include "volume/qel_convert.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

#include "volume/qel_binary.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_convert_vec.hpp"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

// The ranges each map reads must be present.
bool map_is_usable(int map, const QelValueRange* srcRange, const QelValueRange* dstRange) {
    switch (map) {
        case QEL_MAP_IDENTITY: return true;
        case QEL_MAP_CLAMP: return dstRange != nullptr;
        case QEL_MAP_LINEAR:
        case QEL_MAP_LINEAR_CLAMP: return srcRange != nullptr && dstRange != nullptr;
        default: return false;
    }
}

// The checks shared by the volume and image unit changes, in their documented order.
bool conversion_allowed(int map, const QelValueRange* srcRange, const QelValueRange* dstRange,
                        int attribute, int oldUnit, int newUnit) {
    if (!map_is_usable(map, srcRange, dstRange)) return false;
    if (attribute != QEL_ATTRIBUTE_PLAIN) return false;  // packed words are not values
    return QEL_IsValidVoxelUnit(oldUnit) && QEL_IsValidVoxelUnit(newUnit);
}

// Runs fn(T* voxels, int64_t count) on a channel; false for an invalid unit or broken dims.
template <class Fn>
bool with_channel(const QelRawVolumeData* vol, int channel, Fn&& fn) {
    const auto n = qel::voxel_count(vol);
    if (!n) return false;
    return qel::dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        fn(static_cast<T*>(vol->data[channel]), *n);
    });
}

// Number of zeros of a binary channel, -1 when a voxel is neither 0 nor 1.
int64_t count_binary_zeros(const QelRawVolumeData* vol, int channel) {
    if (!qel::has_channel(vol, channel)) return -1;
    int64_t zeros = -1;
    with_channel(vol, channel, [&](auto* v, int64_t n) {
        int64_t z = 0;
        for (int64_t i = 0; i < n; ++i) {
            if (!qel::is_binary_value(v[i])) return;
            z += v[i] == 0;
        }
        zeros = z;
    });
    return zeros;
}

// Rewrites every voxel of a channel as 0 or 1 by a predicate on its value. The channel's
// own unit is kept; a channel that could not be converted to bytes gives -1.
template <class Pred>
int rewrite_as_binary(QelRawVolumeData* vol, int channel, Pred&& becomes_one) {
    if (!qel::has_channel(vol, channel) || vol->attribute[channel] != QEL_ATTRIBUTE_PLAIN) return -1;
    const bool done = with_channel(vol, channel, [&](auto* v, int64_t n) {
        using T = std::remove_pointer_t<decltype(v)>;
        for (int64_t i = 0; i < n; ++i) v[i] = becomes_one(v[i]) ? T(1) : T(0);
    });
    return done ? 0 : -1;
}

}  // namespace

namespace qel {

namespace {

// A range holding a NaN lets two NaNs meet in one operation of a map, and which of them comes out
// then depends on the operand order the map function was compiled with, which the vector loops
// do not keep. Such calls run the map functions voxel by voxel.
bool ranges_hold_nan(const ConvertJob& job) {
    auto nan = [](const QelValueRange* r) { return r && (r->min != r->min || r->max != r->max); };
    switch (job.map) {
        case QEL_MAP_CLAMP: return nan(job.dstRange);
        case QEL_MAP_LINEAR:
        case QEL_MAP_LINEAR_CLAMP: return nan(job.srcRange) || nan(job.dstRange);
        default: return false;
    }
}

void convert_per_voxel(const ConvertJob& job) {
    dispatch_unit_void(job.srcUnit, [&](auto s) {
        using S = typename decltype(s)::type;
        dispatch_unit_void(job.dstUnit, [&](auto d) {
            using D = typename decltype(d)::type;
            const S* in = static_cast<const S*>(job.src);
            D* out = static_cast<D*>(job.dst);
            for (int64_t i = 0; i < job.count; ++i) {
                const float x = static_cast<float>(in[i]);
                double r;
                switch (job.map) {
                    case QEL_MAP_CLAMP: r = saturate_to_unit<D>(QEL_MapValueClamp(x, job.srcRange, job.dstRange)); break;
                    case QEL_MAP_LINEAR: r = QEL_MapValueLinear(x, job.srcRange, job.dstRange); break;
                    default: r = saturate_to_unit<D>(QEL_MapValueLinearClamped(x, job.srcRange, job.dstRange)); break;
                }
                if constexpr (std::is_same_v<D, float>)
                    out[i] = quiet_after_double(static_cast<float>(r));
                else
                    out[i] = store_real<D>(r);
            }
        });
    });
}

}  // namespace

void convert_elements(VecPath path, const ConvertJob& job) {
    if (ranges_hold_nan(job)) return convert_per_voxel(job);
    switch (resolve_vec_path(path)) {
        case VecPath::vec512: convert_vec512::convert_elements(job); break;
        case VecPath::vec256: convert_vec256::convert_elements(job); break;
        default: convert_vec128::convert_elements(job); break;
    }
}

}  // namespace qel

double QEL_MapValueIdentity(float x, const QelValueRange*, const QelValueRange*) { return x; }

double QEL_MapValueClamp(float x, const QelValueRange*, const QelValueRange* dst) {
    return QEL_ClampToValueRange(x, dst);
}

void QEL_ConvertVoxelArray(int count, const void* src, void* dst, int srcUnit, int dstUnit,
                           const QelValueRange* srcRange, const QelValueRange* dstRange, int map) {
    if (count <= 0 || !src || !dst || !map_is_usable(map, srcRange, dstRange)) return;
    if (!QEL_IsValidVoxelUnit(srcUnit) || !QEL_IsValidVoxelUnit(dstUnit)) return;
    qel::convert_elements(qel::VecPath::best, {count, src, dst, srcUnit, dstUnit, map, srcRange, dstRange});
}

int QEL_ConvertVoxelUnit(QelRawVolumeData* vol, int channel, int newUnit, const QelValueRange* srcRange,
                         const QelValueRange* dstRange, int map) {
    if (!qel::has_channel(vol, channel) || !vol->slices) return -1;
    const int oldUnit = vol->unit[channel];
    if (!conversion_allowed(map, srcRange, dstRange, vol->attribute[channel], oldUnit, newUnit)) return -1;
    const int nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    const auto n = qel::voxel_count(vol);
    if (!n) return -1;
    void*** slices = QEL_NewTypedArray3D(nx, ny, nz, newUnit);
    if (!slices) return -1;
    void* base = QEL_GetTypedArray3DBase(slices, newUnit);
    QEL_ConvertVoxelArray(static_cast<int>(*n), vol->data[channel], base, oldUnit, newUnit, srcRange,
                          dstRange, map);
    QEL_DeleteTypedArray3D(vol->slices[channel], nx, ny, nz, oldUnit);
    vol->slices[channel] = slices;
    vol->data[channel] = base;
    vol->unit[channel] = newUnit;
    return 0;
}

int QEL_ConvertPixelUnit(QelRawImageData* image, int channel, int newUnit, const QelValueRange* srcRange,
                         const QelValueRange* dstRange, int map) {
    if (!qel::has_channel(image, channel) || !image->rows) return -1;
    const int oldUnit = image->unit[channel];
    if (!conversion_allowed(map, srcRange, dstRange, image->attribute[channel], oldUnit, newUnit)) return -1;
    const int width = image->size->nx, height = image->size->ny;
    const auto n = qel::checked_voxels({width, height});
    if (!n) return -1;
    void** rows = QEL_NewTypedArray2D(width, height, newUnit);
    if (!rows) return -1;
    void* base = QEL_GetTypedArray2DBase(rows, newUnit);
    QEL_ConvertVoxelArray(static_cast<int>(*n), image->data[channel], base, oldUnit, newUnit, srcRange,
                          dstRange, map);
    QEL_DeleteTypedArray2D(image->rows[channel], width, height, oldUnit);
    image->rows[channel] = rows;
    image->data[channel] = base;
    image->unit[channel] = newUnit;
    return 0;
}

// Both conversions are the packed/plain toggle restricted to one direction.
void QEL_ConvertRawVolumeRgbaToUint8x4(QelRawVolumeData* vol) {
    if (qel::has_channel(vol, 0) && qel::is_packed_record(vol)) qel::toggle_rgba(vol);
}

void QEL_ConvertRawVolumeUint8x4ToRgba(QelRawVolumeData* vol) {
    if (!qel::has_channel(vol, 0) || !qel::is_uint8x4_record(vol)) {
        fprintf(stderr, "Invalid type(s)\n");
        return;
    }
    if (!qel::toggle_rgba(vol)) fprintf(stderr, "Memory Full?\n");
}

// The binary operations work on each unit directly: for a binary channel this gives the
// same voxels as converting to bytes and back, without a second block that could fail.

int QEL_IsBinaryChannel(const QelRawVolumeData* vol, int channel) {
    return count_binary_zeros(vol, channel) >= 0 ? 1 : 0;
}

int QEL_ClearBinaryChannel(QelRawVolumeData* vol, int channel) {
    if (!QEL_IsBinaryChannel(vol, channel)) return 0;
    return rewrite_as_binary(vol, channel, [](auto) { return false; });
}

int QEL_InvertBinaryChannel(QelRawVolumeData* vol, int channel) {
    if (!QEL_IsBinaryChannel(vol, channel)) return 0;
    return rewrite_as_binary(vol, channel, [](auto v) { return v == 0; });
}

int QEL_BinarizeChannel(QelRawVolumeData* vol, int channel) {
    // The value as a conversion to bytes reads it (through single precision, truncated toward
    // zero by the store rule), but whole rather than its low 8 bits: 256 in 16 bits is set,
    // while a float 0.5, -0.7, NaN or infinity is not.
    return rewrite_as_binary(vol, channel, [](auto v) { return qel::truncate_to_int64(static_cast<float>(v)) != 0; });
}

int QEL_CountZerosOfBinaryChannel(const QelRawVolumeData* vol, int channel) {
    return static_cast<int>(count_binary_zeros(vol, channel));
}

int QEL_CountOnesOfBinaryChannel(const QelRawVolumeData* vol, int channel) {
    if (!qel::has_channel(vol, channel)) return -1;
    const int64_t ones = int64_t{QEL_GetNumberOfVoxels(vol)} - count_binary_zeros(vol, channel);
    return qel::fits_int32(ones) ? static_cast<int>(ones) : -1;
}

QelBox3i* QEL_NewBoxOfBinaryChannel(const QelRawVolumeData* vol, int channel) {
    if (!QEL_IsBinaryChannel(vol, channel)) return nullptr;
    QelPoint3i lo{vol->size->nx - 1, vol->size->ny - 1, vol->size->nz - 1};
    QelPoint3i hi{0, 0, 0};
    int64_t found = 0;
    qel::for_each_one(vol, channel, [&](int x, int y, int z) {
        if (x < lo.x) lo.x = x;
        if (y < lo.y) lo.y = y;
        if (z < lo.z) lo.z = z;
        if (x > hi.x) hi.x = x;
        if (y > hi.y) hi.y = y;
        if (z > hi.z) hi.z = z;
        ++found;
    });
    if (found == 0) return nullptr;
    const QelSize3i size{hi.x - lo.x + 1, hi.y - lo.y + 1, hi.z - lo.z + 1};
    return QEL_NewBox3i(&lo, &size);
}
