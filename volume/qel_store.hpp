// Internal: storing a real value into a voxel unit.
// Integer units: truncation toward zero into 64 bits, then the low bits of the unit
// are kept (values wrap). NaN, infinities and values outside the 64-bit range store 0.
// Float units: a plain conversion. This is the only place that rule is written.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
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

// A single-precision value that passed through double: a signalling NaN comes out quiet. The
// compiler may leave out a round trip float -> double -> float, so the quiet bit is set here.
inline float quiet_after_double(float f) {
    return f != f ? std::bit_cast<float>(std::bit_cast<uint32_t>(f) | 0x00400000u) : f;
}

// The clamping value maps (1 and 3) saturate into units 4 and 5: the float limits of those units
// round up to 2^32 and 2^31, which would wrap to 0 and INT_MIN. NaN passes and stores 0.
template <class T>
inline double saturate_to_unit(double r) {
    if constexpr (std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t>) {
        constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
        constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
        return r < lo ? lo : (r > hi ? hi : r);
    }
    return r;
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
