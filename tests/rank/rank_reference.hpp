// Brute-force rank filter for the tests: coordinate loops over the kernel's points, the
// border written out per axis, values gathered as floats and ordered by QEL_SortFloats.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "filters/qel_rank.h"
#include "support/records.hpp"
#include "volume/qel_kernel.h"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_volume.h"

namespace ranktest {

using qeltest::KernelPtr;

using qeltest::VolumePtr;

enum class Border { mirror, replicate };
// sort: gather as float, sort, pick. minimum / maximum: strict chain in the unit's type.
enum class Pick { sort, minimum, maximum };

// Source index of padded position q (q - w in unpadded coordinates) on an axis of n.
inline int border_index(int s, int n, Border b) {
    if (b == Border::replicate) return s < 0 ? 0 : (s >= n ? n - 1 : s);
    const int period = 2 * n;  // reflection with the edge repeated, again and again
    int t = s % period;
    if (t < 0) t += period;
    return t < n ? t : period - 1 - t;
}

template <class T>
float as_key(T v) {
    return static_cast<float>(v);
}

// The chosen float back in the unit: truncation toward zero, low bits kept, except that
// 32-bit values rounded past the maximum stay at the maximum.
template <class T>
T from_key(float f) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(f);
    } else {
        if constexpr (std::is_same_v<T, uint32_t>)
            if (f >= 4294967296.0f) return UINT32_MAX;
        if constexpr (std::is_same_v<T, int32_t>)
            if (f >= 2147483648.0f) return INT32_MAX;
        const int64_t i = static_cast<int64_t>(f);  // the keys here are integral and in range
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(static_cast<uint64_t>(i)));
    }
}

template <class T>
std::vector<T> reference_filter(const T* in, int nx, int ny, int nz, const QelKernel* kernel, Pick pick,
                                int rank, Border border) {
    const QelVoxelList* p = kernel->points;
    const int n = p->count;
    std::vector<T> out(static_cast<size_t>(nx) * ny * nz);
    std::vector<float> keys(static_cast<size_t>(n));
    auto at = [&](int x, int y, int z) {
        const int sx = border_index(x, nx, border);
        const int sy = border_index(y, ny, border);
        const int sz = border_index(z, nz, border);
        return in[(static_cast<size_t>(sz) * ny + sy) * nx + sx];
    };
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                T result;
                if (pick == Pick::sort) {
                    for (int k = 0; k < n; ++k) keys[k] = as_key(at(x + p->x[k], y + p->y[k], z + p->z[k]));
                    QEL_SortFloats(static_cast<uint32_t>(n), keys.data() - 1);
                    result = from_key<T>(keys[rank]);
                } else {
                    T v = at(x, y, z);
                    for (int k = 1; k < n; ++k) {
                        const T c = at(x + p->x[k], y + p->y[k], z + p->z[k]);
                        if (pick == Pick::maximum ? c > v : c < v) v = c;
                    }
                    result = v;
                }
                out[(static_cast<size_t>(z) * ny + y) * nx + x] = result;
            }
    return out;
}

// Random values of a unit: uniform bits, the unit's extremes, a few repeated values (ties)
// and, for floating units, NaN, infinities, signed zeros and values that narrow to them.
template <class T>
T random_value(std::mt19937_64& rng, bool special) {
    std::uniform_int_distribution<int> pick(0, 15);
    const int c = pick(rng);
    using L = std::numeric_limits<T>;
    if (c < 4) return static_cast<T>(c % 3);  // ties
    if (c == 4) return L::max();
    if (c == 5) return L::lowest();
    if constexpr (std::is_floating_point_v<T>) {
        if (special) {
            switch (c) {
                case 6: return L::quiet_NaN();
                case 7: return -T(0);
                case 8: return L::infinity();
                case 9: return static_cast<T>(-1e-300);  // a double narrowing to -0.0
            }
        }
        std::uniform_real_distribution<double> u(-1000.0, 1000.0);
        return static_cast<T>(u(rng));
    } else {
        uint64_t bits = rng();
        T v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
}

template <class T>
std::vector<T> random_values(size_t count, uint64_t seed, bool special) {
    std::mt19937_64 rng(seed);
    std::vector<T> v(count);
    for (T& e : v) e = random_value<T>(rng, special);
    return v;
}

// A one-channel volume of the unit holding `values` (nx * ny * nz of them, as bytes).
inline VolumePtr make_volume(int nx, int ny, int nz, int unit, const void* values, int attribute = 0) {
    const QelSize3i dims{nx, ny, nz};
    VolumePtr v(QEL_NewSingleChannelRawVolumeData(&dims, unit, attribute));
    if (v && values)
        std::memcpy(v->data[0], values, static_cast<size_t>(nx) * ny * nz * QEL_GetVoxelUnitSize(unit));
    return v;
}

inline std::string bytes_of(const void* p, size_t n) {
    return std::string(static_cast<const char*>(p), n);
}

}  // namespace ranktest
