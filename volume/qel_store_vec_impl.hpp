// Internal: qel::store_real written for the vectoriser. Included by the per-width sources after
// their target switch (with QEL_VEC_NS defined, as the *_vec_impl headers), so that it is built
// for their width.
//
// Inside FastRange a 32-bit truncation gives store_real's low bits, which plain vector
// conversions compute. NaN, infinities and values outside 64 bits store 0, which a select gives.
// Only finite values beyond FastRange that still fit 64 bits need store_real itself: a loop that
// may meet them ORs outside_fast_range over a block and stores a block where that is not 0 again
// with store_real.
#pragma once
#include <cstdint>
#include <type_traits>

#include "volume/qel_store.hpp"

#if !defined(QEL_VEC_NS)
#error "define QEL_VEC_NS before including this file"
#endif

namespace qel::QEL_VEC_NS {

// Open interval of the plain conversions of an integer unit: (-2^31 - 1, 2^31), and up to
// 2^32 for unit 4.
template <class D>
struct FastRange {
    static constexpr double lo = -2147483649.0;
    static constexpr double hi = std::is_same_v<D, uint32_t> ? 4294967296.0 : 2147483648.0;
};

// 1 when r lies outside the fast range, NaN included. 64 bits wide like the doubles it comes
// from, which keeps the vectorised OR free of repacking.
template <class D>
inline int64_t outside_fast_range(double r) {
    return int64_t(!(r > FastRange<D>::lo)) | int64_t(!(r < FastRange<D>::hi));
}

// store_real<D>(r) for r in the fast range.
template <class D>
inline D store_in_range(double r) {
    static_assert(std::is_integral_v<D>);
    if constexpr (std::is_same_v<D, uint32_t>) {
        // Values of 2^31 and more are truncated as r - 2^32 (exact there), rounded down instead
        // of toward zero, which is the truncation of r itself.
        const bool high = r >= 2147483648.0;
        const double u = high ? r - 4294967296.0 : r;
        int32_t k = static_cast<int32_t>(u);
        k -= (high && u < static_cast<double>(k)) ? 1 : 0;
        return static_cast<uint32_t>(k);
    } else {
        return static_cast<D>(static_cast<int32_t>(r));
    }
}

// store_real<D>(r) for r in the fast range or NaN.
template <class D>
inline D store_in_range_or_nan(double r) {
    return store_in_range<D>(r == r ? r : 0.0);
}

// store_real<D>(r) everywhere but on finite values beyond the fast range within 64 bits, which
// store 0 here.
template <class D>
inline D store_fast(double r) {
    return store_in_range<D>(outside_fast_range<D>(r) ? 0.0 : r);
}

}  // namespace qel::QEL_VEC_NS
