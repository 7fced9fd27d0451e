// Internal: the convolution's row loop, written once for the vectoriser. Included by exactly one
// source file per vector width, which defines QEL_VEC_NS (and the target for wide vectors) after
// including every header this one needs; everything here has that file's namespace.
//
// Every voxel's sum starts at 0.0 and adds its points' products in point order, in double, as a
// voxel at a time would: a row of sums takes one point after the other, and the vectors only
// hold the sums of neighbouring voxels side by side. Rows are stored as store_real stores.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "filters/qel_smooth_vec.hpp"
#include "volume/qel_store_vec_impl.hpp"
#include "volume/qel_unit_dispatch.hpp"

#if !defined(QEL_VEC_NS)
#error "define QEL_VEC_NS before including this file"
#endif

namespace qel::QEL_VEC_NS {

inline int64_t clamp_index(int64_t i, int64_t n) { return i < 0 ? 0 : i >= n ? n - 1 : i; }

// acc[x] += src[clamp(x + dx)] * w for x in 0..nx-1: the voxels near the row ends read the end
// voxel, the others a plain shifted row. Where a NaN sum meets a NaN product, the NaN that stays
// is the one the convolution has always kept: the product's inside the row, the sum's at the
// clamped ends (only floating units have NaNs).
template <class T>
inline void accumulate(double* __restrict acc, const T* __restrict src, int64_t nx, int64_t dx, double w) {
    const int64_t lo = std::clamp<int64_t>(-dx, 0, nx), hi = std::clamp<int64_t>(nx - dx, lo, nx);
    const double first = static_cast<double>(src[0]) * w, last = static_cast<double>(src[nx - 1]) * w;
    const T* shifted = src + dx;
    if constexpr (std::is_floating_point_v<T>) {
        for (int64_t x = 0; x < lo; ++x) acc[x] = acc[x] != acc[x] ? acc[x] : acc[x] + first;
        for (int64_t x = lo; x < hi; ++x) {
            const double p = static_cast<double>(shifted[x]) * w;
            acc[x] = p != p ? p : acc[x] + p;
        }
        for (int64_t x = hi; x < nx; ++x) acc[x] = acc[x] != acc[x] ? acc[x] : acc[x] + last;
    } else {
        for (int64_t x = 0; x < lo; ++x) acc[x] += first;
        for (int64_t x = lo; x < hi; ++x) acc[x] += static_cast<double>(shifted[x]) * w;
        for (int64_t x = hi; x < nx; ++x) acc[x] += last;
    }
}

// acc[x] = sum over the points of src[k][clamp(x + dx[k])] * w[k], starting from 0.0.
template <class T>
void row_sums(double* __restrict acc, const T* const* src, const int64_t* dx, const double* w, int n, int64_t nx) {
    for (int64_t x = 0; x < nx; ++x) acc[x] = 0.0;
    for (int k = 0; k < n; ++k) accumulate(acc, src[k], nx, dx[k], w[k]);
}

constexpr int64_t kBlock = 256;

template <class T>
void store_row(const double* __restrict acc, T* __restrict out, int64_t nx) {
    if constexpr (std::is_floating_point_v<T>) {
        for (int64_t x = 0; x < nx; ++x) out[x] = static_cast<T>(acc[x]);
    } else {
        for (int64_t start = 0; start < nx; start += kBlock) {
            const int64_t n = std::min(kBlock, nx - start);
            const double* a = acc + start;
            T* o = out + start;
            int64_t outside = 0;
            for (int64_t i = 0; i < n; ++i) {
                outside |= outside_fast_range<T>(a[i]);
                o[i] = store_fast<T>(a[i]);
            }
            if (outside)
                for (int64_t i = 0; i < n; ++i) o[i] = store_real<T>(a[i]);
        }
    }
}

// Row r of the original channel sits at ring slot r % window from the moment it is first read
// as a source until no later row reaches back to it; the rows after it are still untouched.
template <class T>
void convolve_typed(const ConvolveJob& job) {
    T* data = static_cast<T*>(job.data);
    T* ring = static_cast<T*>(job.ring);
    const T** src = reinterpret_cast<const T**>(job.sources);
    const int64_t nx = job.nx, ny = job.ny, nz = job.nz, rows = ny * nz;
    for (int k = 0; k < job.count; ++k) {
        job.dx[k] = job.points[k].dx;
        job.w[k] = job.points[k].w;
    }
    for (int64_t r = 0; r < rows; ++r) {
        const int64_t y = r % ny, z = r / ny;
        std::memcpy(ring + (r % job.window) * nx, data + r * nx, static_cast<size_t>(nx) * sizeof(T));
        for (int k = 0; k < job.count; ++k) {
            const ConvolvePoint& p = job.points[k];
            const int64_t s = clamp_index(y + p.dy, ny) + ny * clamp_index(z + p.dz, nz);
            src[k] = s <= r ? ring + (s % job.window) * nx : data + s * nx;
        }
        row_sums(job.acc, src, job.dx, job.w, job.count, nx);
        store_row(job.acc, data + r * nx, nx);
    }
}

void convolve_rows(const ConvolveJob& job) {
    dispatch_unit_void(job.unit, [&](auto tag) { convolve_typed<typename decltype(tag)::type>(job); });
}

}  // namespace qel::QEL_VEC_NS
