// Internal: the conversion's element loop, written once for the vectoriser. Included by exactly
// one source file per vector width, which defines QEL_VEC_NS (and the target for wide vectors)
// after including every header this one needs; everything here has that file's namespace.
//
// Each lane computes what the per-voxel rule computes: the value in single precision, the map
// function's own operations in their own order in double, the saturation and the store rule.
// Where the ranges show that every result lies where plain vector conversions store it, the
// loop is one pass; otherwise blocks holding values beyond 32 bits are stored again exactly.
#pragma once
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "volume/qel_convert.h"
#include "volume/qel_convert_vec.hpp"
#include "volume/qel_store_vec_impl.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace qel::QEL_VEC_NS {

constexpr int kBlock = 256;

// The value of a voxel in single precision, widened: every unit of up to 16 bits is exact in
// single precision and is widened directly.
template <class S>
inline double single_precision(S v) {
    if constexpr (std::is_integral_v<S> && sizeof(S) <= 2)
        return static_cast<double>(v);
    else
        return static_cast<double>(static_cast<float>(v));
}

// The maps, on values that single_precision gave.

// Map 0.
struct Identity {
    double operator()(double x) const { return x; }
};

// Map 1: QEL_ClampToValueRange (its comparisons are exact in double), then saturation.
template <class D>
struct Clamp {
    double lo, hi;
    double operator()(double x) const { return saturate_to_unit<D>(x < lo ? lo : (x > hi ? hi : x)); }
};

// Map 2: QEL_MapValueLinear with a non-empty source span.
struct Linear {
    double srcMin, dstMin, dstSpan, srcSpan;
    double operator()(double x) const { return dstMin + dstSpan * (x - srcMin) / srcSpan; }
};

// Map 3: QEL_MapValueLinearClamped with a non-empty source span, then saturation.
template <class D>
struct LinearClamp {
    Linear linear;
    double dstMax;
    double operator()(double x) const {
        const double v = linear(x);
        return saturate_to_unit<D>(v < linear.dstMin ? linear.dstMin : (v > dstMax ? dstMax : v));
    }
};

// Map 3 where no NaN can arise (integer units, finite ranges) and dstMin <= dstMax: the same
// values through a minimum and a maximum.
template <class D>
struct LinearClampOrdered {
    Linear linear;
    double dstMax;
    double operator()(double x) const {
        return saturate_to_unit<D>(std::min(std::max(linear(x), linear.dstMin), dstMax));
    }
};

// What a map can give for an integer destination: only values in the fast range, those or
// NaN, or anything.
enum class Reach { fast, fastOrNan, any };

template <Reach R, class S, class D, class Map>
void convert_run(const S* __restrict src, D* __restrict dst, int64_t count, const Map map) {
    if constexpr (std::is_same_v<D, float>) {
        for (int64_t i = 0; i < count; ++i) dst[i] = quiet_after_double(static_cast<float>(map(single_precision(src[i]))));
    } else if constexpr (std::is_same_v<D, double>) {
        for (int64_t i = 0; i < count; ++i) dst[i] = map(single_precision(src[i]));
    } else if constexpr (R == Reach::fast) {
        for (int64_t i = 0; i < count; ++i) dst[i] = store_in_range<D>(map(single_precision(src[i])));
    } else if constexpr (R == Reach::fastOrNan) {
        for (int64_t i = 0; i < count; ++i) dst[i] = store_in_range_or_nan<D>(map(single_precision(src[i])));
    } else {
        for (int64_t start = 0; start < count; start += kBlock) {
            const int n = static_cast<int>(std::min<int64_t>(kBlock, count - start));
            const S* s = src + start;
            D* d = dst + start;
            int64_t outside = 0;
            for (int i = 0; i < n; ++i) {
                const double r = map(single_precision(s[i]));
                outside |= outside_fast_range<D>(r);
                d[i] = store_fast<D>(r);
            }
            if (outside)
                for (int i = 0; i < n; ++i) d[i] = store_real<D>(map(single_precision(s[i])));
        }
    }
}

// A clamping map gives its limits lo and hi or values between them (whichever is larger), or
// NaN: it reaches only the fast range when both limits lie in it, and gives no NaN from integer
// units when no range value is infinite either.
template <class S, class D, class Map>
void convert_clamped(const ConvertJob& job, const Map map, double lo, double hi, bool finiteRanges) {
    const S* src = static_cast<const S*>(job.src);
    D* dst = static_cast<D*>(job.dst);
    auto fast = [](double v) { return v > FastRange<D>::lo && v < FastRange<D>::hi; };
    if (!fast(saturate_to_unit<D>(lo)) || !fast(saturate_to_unit<D>(hi)))
        return convert_run<Reach::any>(src, dst, job.count, map);
    if (std::is_integral_v<S> && finiteRanges) {
        if constexpr (std::is_same_v<Map, LinearClamp<D>>)
            if (lo <= hi)
                return convert_run<Reach::fast>(src, dst, job.count, LinearClampOrdered<D>{map.linear, map.dstMax});
        return convert_run<Reach::fast>(src, dst, job.count, map);
    }
    convert_run<Reach::fastOrNan>(src, dst, job.count, map);
}

template <class D>
D stored(double r) {
    if constexpr (std::is_same_v<D, float>)
        return quiet_after_double(static_cast<float>(r));
    else
        return store_real<D>(r);
}

template <class S, class D>
void convert_typed(const ConvertJob& job) {
    const S* src = static_cast<const S*>(job.src);
    D* dst = static_cast<D*>(job.dst);
    if (job.map == QEL_MAP_IDENTITY) {
        // From single to single precision every bit is copied, signalling NaNs included.
        if constexpr (std::is_same_v<S, float> && std::is_same_v<D, float>)
            return static_cast<void>(std::memcpy(dst, src, static_cast<size_t>(job.count) * sizeof(float)));
        // Units of up to 16 bits hold nothing beyond the fast range.
        if constexpr (std::is_integral_v<S> && sizeof(S) <= 2)
            return convert_run<Reach::fast>(src, dst, job.count, Identity{});
        return convert_run<Reach::any>(src, dst, job.count, Identity{});
    }
    auto finite = [](const QelValueRange* r) {
        return r->min - r->min == 0.0f && r->max - r->max == 0.0f;
    };
    const double dstMin = job.dstRange->min, dstMax = job.dstRange->max;
    if (job.map == QEL_MAP_CLAMP)
        return convert_clamped<S, D>(job, Clamp<D>{dstMin, dstMax}, dstMin, dstMax, finite(job.dstRange));
    const double srcSpan = static_cast<double>(job.srcRange->max) - static_cast<double>(job.srcRange->min);
    if (srcSpan == 0.0) {
        // Maps 2 and 3 over an empty source span give one value for every voxel.
        const double r = job.map == QEL_MAP_LINEAR ? QEL_MapValueLinear(0.0f, job.srcRange, job.dstRange)
                                                   : saturate_to_unit<D>(QEL_MapValueLinearClamped(0.0f, job.srcRange, job.dstRange));
        return static_cast<void>(std::fill(dst, dst + job.count, stored<D>(r)));
    }
    const Linear linear{job.srcRange->min, dstMin, dstMax - dstMin, srcSpan};
    if (job.map == QEL_MAP_LINEAR) return convert_run<Reach::any>(src, dst, job.count, linear);
    convert_clamped<S, D>(job, LinearClamp<D>{linear, dstMax}, dstMin, dstMax,
                          finite(job.srcRange) && finite(job.dstRange));
}

void convert_elements(const ConvertJob& job) {
    dispatch_unit_void(job.srcUnit, [&](auto s) {
        dispatch_unit_void(job.dstUnit, [&](auto d) {
            convert_typed<typename decltype(s)::type, typename decltype(d)::type>(job);
        });
    });
}

}  // namespace qel::QEL_VEC_NS
