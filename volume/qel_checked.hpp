// Internal: checked 64-bit size arithmetic. Every size computed from dimensions, counts
// or units goes through these before it reaches an allocation, a copy or a read.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <unistd.h>

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

// Memory taken on the word of a header, a board or an argument (a file's dimensions, a
// board's counts, a kernel's radius) is bounded before it is allocated: a request above half
// of the machine's physical memory counts as a failed allocation, so that a few hostile bytes
// cannot make a program page the machine to a halt.
inline int64_t memory_bound() {
    static const int64_t bound = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long page = sysconf(_SC_PAGESIZE);
        if (pages <= 0 || page <= 0) return std::numeric_limits<int64_t>::max();
        return checked_product({pages, page}).value_or(std::numeric_limits<int64_t>::max()) / 2;
    }();
    return bound;
}

inline bool fits_memory(int64_t bytes) { return bytes >= 0 && bytes <= memory_bound(); }

// A file shorter than its header says is still read, the missing part filled in, while at
// most this much of it is missing; a file missing more is refused before anything is
// allocated, so that a tiny file cannot ask for gigabytes.
inline constexpr int64_t kMaxMissingFileBytes = int64_t{64} << 20;

inline bool missing_part_allowed(int64_t wanted, int64_t held) {
    return wanted - (held < 0 ? 0 : held) <= kMaxMissingFileBytes;
}

}  // namespace qel
