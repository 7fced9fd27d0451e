// Internal: storing a real value into a voxel unit.
// Integer units: truncation toward zero into 64 bits, then the low bits of the unit
// are kept (values wrap). NaN, infinities and values outside the 64-bit range store 0.
// Float units: a plain conversion. This is the only place that rule is written.
#pragma once
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace qel {

// Truncates toward zero into int64; NaN, infinite and out-of-range values give 0.
inline int64_t truncate_to_int64(double x) {
    // 2^63 is exactly representable; anything at or beyond it (or NaN) is out of range.
    if (!(x > -9223372036854775808.0 && x < 9223372036854775808.0)) {
        return x == -9223372036854775808.0 ? INT64_MIN : 0;
    }
    return static_cast<int64_t>(x);
}

template <class T>
inline T store_real(double x) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(x);
    } else {
        // Keep the low bits through the unsigned type: no signed-overflow UB.
        using U = std::make_unsigned_t<T>;
        return static_cast<T>(static_cast<U>(static_cast<uint64_t>(truncate_to_int64(x))));
    }
}

// Wrapping integer addition done in unsigned arithmetic; floats add normally.
template <class T>
inline T wrap_add(T a, T b) {
    if constexpr (std::is_floating_point_v<T>) {
        return a + b;
    } else {
        using U = std::make_unsigned_t<T>;
        return static_cast<T>(static_cast<U>(static_cast<U>(a) + static_cast<U>(b)));
    }
}

}  // namespace qel
