// Thresholds and value ranges, one loop per unit behind the unit switch.
#include "filters/qel_threshold.h"

#include <cmath>
#include <limits>
#include <type_traits>

#include "filters/qel_threshold.hpp"
#include "volume/qel_binary.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

// Calls fn(T* voxels, int n) on the channel; 0 for a missing channel or an invalid unit.
template <class Fn>
int with_voxels(QelRawVolumeData* vol, int channel, Fn&& fn) {
    if (!qel::has_channel(vol, channel)) return 0;
    const auto n = qel::voxel_count(vol);
    if (!n) return 0;
    return qel::dispatch_unit<int>(vol->unit[channel], 0, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return fn(static_cast<T*>(vol->data[channel]), static_cast<int>(*n));
    });
}

}  // namespace

int QEL_ThresholdChannel(QelRawVolumeData* vol, int channel, const QelValue* threshold) {
    if (!threshold) return 0;
    return with_voxels(vol, channel, [&](auto* v, int n) {
        using T = std::remove_pointer_t<decltype(v)>;
        return qel::threshold_array(v, n, qel::value_as<T>(*threshold));
    });
}

int QEL_ThresholdChannelAtFloat(QelRawVolumeData* vol, int channel, float threshold) {
    return with_voxels(vol, channel, [&](auto* v, int n) {
        using T = std::remove_pointer_t<decltype(v)>;
        const qel::FloatThreshold<T> t = qel::float_threshold<T>(threshold);
        if (t.none) return qel::select_range_array(v, n, T(1), T(0));  // an empty range
        return qel::threshold_array(v, n, t.t);
    });
}

int QEL_SelectRangeOfChannel(QelRawVolumeData* vol, int channel, const QelTypedValueRange* range) {
    if (!range) return 0;
    return with_voxels(vol, channel, [&](auto* v, int n) {
        using T = std::remove_pointer_t<decltype(v)>;
        return qel::select_range_array(v, n, qel::value_as<T>(range->min), qel::value_as<T>(range->max));
    });
}

#define QEL_BINARISE_FAMILY(Suffix, T)                                                    \
    int QEL_ThresholdArray_##Suffix(T* data, int n, T t) {                                \
        return data ? qel::threshold_array(data, n, t) : 0;                               \
    }                                                                                     \
    int QEL_SelectRangeOfArray_##Suffix(T* data, int n, T min, T max) {                   \
        return data ? qel::select_range_array(data, n, min, max) : 0;                     \
    }

QEL_BINARISE_FAMILY(Uint8, uint8_t)
QEL_BINARISE_FAMILY(Int8, int8_t)
QEL_BINARISE_FAMILY(Uint16, uint16_t)
QEL_BINARISE_FAMILY(Int16, int16_t)
QEL_BINARISE_FAMILY(Uint32, uint32_t)
QEL_BINARISE_FAMILY(Int32, int32_t)
QEL_BINARISE_FAMILY(Float32, float)
QEL_BINARISE_FAMILY(Float64, double)

#undef QEL_BINARISE_FAMILY
