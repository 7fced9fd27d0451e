// Internal: checked 64-bit size arithmetic. Every size computed from dimensions, counts
// or units goes through these before it reaches an allocation, a copy or a read.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>

namespace qel {

// Product of non-negative factors; nullopt when a factor is negative or the product
// overflows int64.
inline std::optional<int64_t> checked_product(std::initializer_list<int64_t> factors) {
    int64_t p = 1;
    for (int64_t f : factors) {
        if (f < 0) return std::nullopt;
        if (f != 0 && p > std::numeric_limits<int64_t>::max() / f) return std::nullopt;
        p *= f;
    }
    return p;
}

inline std::optional<int64_t> checked_sum(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// True when v fits the 32-bit signed field that carries it (board and record fields).
inline bool fits_int32(int64_t v) {
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// Element count of dimensions that must all be >= 1 and whose product fits an int
// (the record fields that hold it are 32-bit); nullopt otherwise.
inline std::optional<int64_t> checked_voxels(std::initializer_list<int64_t> dims) {
    for (int64_t d : dims)
        if (d <= 0) return std::nullopt;
    auto n = checked_product(dims);
    if (!n || *n > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return n;
}

}  // namespace qel
