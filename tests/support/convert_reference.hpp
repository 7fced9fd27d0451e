// The unit conversion one voxel at a time: each value goes through single precision, the map
// function of its code, the saturation of the clamping maps into units 4 and 5, and
// qel::store_real. The library's element loops must give these bytes exactly; the benchmark
// driver times it as the per-voxel baseline.
#pragma once
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "volume/qel_convert.h"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace qeltest {

template <class D>
double saturate_for_clamping_maps(double r) {
    if constexpr (std::is_same_v<D, uint32_t> || std::is_same_v<D, int32_t>) {
        const double lo = static_cast<double>(std::numeric_limits<D>::min());
        const double hi = static_cast<double>(std::numeric_limits<D>::max());
        if (r < lo) return lo;
        if (r > hi) return hi;
    }
    return r;
}

// The same contract as QEL_ConvertVoxelArray: nothing happens for a refused call.
inline void reference_convert(int count, const void* src, void* dst, int srcUnit, int dstUnit,
                              const QelValueRange* srcRange, const QelValueRange* dstRange, int map) {
    if (count <= 0 || !src || !dst || map < 0 || map > 3) return;
    if (map >= 1 && !dstRange) return;
    if (map >= 2 && !srcRange) return;
    qel::dispatch_unit_void(srcUnit, [&](auto s) {
        using S = typename decltype(s)::type;
        qel::dispatch_unit_void(dstUnit, [&](auto d) {
            using D = typename decltype(d)::type;
            const S* in = static_cast<const S*>(src);
            D* out = static_cast<D*>(dst);
            if constexpr (std::is_same_v<S, float> && std::is_same_v<D, float>) {
                // Map 0 keeps a single-precision value as it is, every bit of it; every other
                // path passes through double, where a signalling NaN becomes quiet.
                if (map == QEL_MAP_IDENTITY) {
                    std::memcpy(out, in, static_cast<size_t>(count) * sizeof(float));
                    return;
                }
            }
            for (int i = 0; i < count; ++i) {
                const float x = static_cast<float>(in[i]);
                double r;
                switch (map) {
                    case QEL_MAP_IDENTITY: r = QEL_MapValueIdentity(x, srcRange, dstRange); break;
                    case QEL_MAP_CLAMP: r = saturate_for_clamping_maps<D>(QEL_MapValueClamp(x, srcRange, dstRange)); break;
                    case QEL_MAP_LINEAR: r = QEL_MapValueLinear(x, srcRange, dstRange); break;
                    default: r = saturate_for_clamping_maps<D>(QEL_MapValueLinearClamped(x, srcRange, dstRange)); break;
                }
                out[i] = qel::store_real<D>(r);
            }
        });
    });
}

}  // namespace qeltest
