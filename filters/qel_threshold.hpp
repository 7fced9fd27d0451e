// Internal: the per-unit binarisation loops and the range test that region growing shares.
#pragma once
#include <cstdint>
#include <cstring>

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
