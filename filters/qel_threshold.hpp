// Internal: the per-unit binarisation loops and the range test that region growing shares.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "volume/qel_units.h"

namespace qel {

// A value held in a QelValue, read in the width of T.
template <class T>
inline T value_as(const QelValue& v) {
    T t;
    std::memcpy(&t, v.bytes, sizeof t);
    return t;
}

// Closed range; comparisons in T's own signedness, so NaN is never inside.
template <class T>
inline bool in_range(T v, T min, T max) {
    return min <= v && v <= max;
}

// The test of QEL_ThresholdChannelAtFloat in unit T: v >= t, where integer units take the
// threshold truncated toward zero and saturated (one above the maximum, or NaN, selects nothing;
// one below the minimum selects everything). Floats compare with the threshold itself.
template <class T>
struct FloatThreshold {
    bool none;  // nothing is inside
    T t;
    bool inside(T v) const { return !none && v >= t; }
};

template <class T>
FloatThreshold<T> float_threshold(float threshold) {
    using Lim = std::numeric_limits<T>;
    if constexpr (std::is_floating_point_v<T>) {
        return {false, static_cast<T>(threshold)};
    } else {
        // Integer thresholds saturate instead of wrapping: 300 on an 8-bit channel must not
        // become 44.
        const double t = std::trunc(static_cast<double>(threshold));
        if (std::isnan(t) || t > static_cast<double>(Lim::max())) return {true, Lim::max()};
        if (t < static_cast<double>(Lim::min())) return {false, Lim::min()};
        return {false, static_cast<T>(t)};
    }
}

template <class T>
int threshold_array(T* data, int n, T t) {
    int ones = 0;
    for (int i = 0; i < n; ++i) {
        const bool on = data[i] >= t;
        data[i] = on ? T(1) : T(0);
        ones += on;
    }
    return ones;
}

template <class T>
int select_range_array(T* data, int n, T min, T max) {
    int ones = 0;
    for (int i = 0; i < n; ++i) {
        const bool on = in_range(data[i], min, max);
        data[i] = on ? T(1) : T(0);
        ones += on;
    }
    return ones;
}

}  // namespace qel
