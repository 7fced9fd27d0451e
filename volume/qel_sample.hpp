// Internal: the sampling rules, written once for every element type. The named per-unit
// samplers and the resampling tables are both built from these, so a resampled voxel is
// bit for bit what the sampler returns at the same position.
#pragma once
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "volume/qel_store.hpp"

namespace qel {

// trunc(c) for a coordinate the caller promises is inside the array. NaN gives 0 and values
// beyond the int range saturate, so no coordinate reaches an undefined conversion.
inline int trunc_index(float c) {
    if (c >= -2147483648.0f && c < 2147483648.0f) return static_cast<int>(c);
    if (c != c) return 0;
    return c > 0.0f ? INT_MAX : INT_MIN;
}

// The index trunc(c) when it lies in [0, n). That is exactly -1 < c < n (NaN fails);
// the upper test is done in double so that extents above 2^24 compare exactly.
inline bool bounded_index(float c, int n, int* index) {
    if (!(c > -1.0f && static_cast<double>(c) < static_cast<double>(n))) return false;
    *index = static_cast<int>(c);
    return true;
}

// One axis of a linear sample: cell i, weight w0 of sample i and w1 of sample i + 1.
struct LinearAxis {
    int i;
    float w0, w1;
};

inline LinearAxis unchecked_axis(float c) {
    const int i = trunc_index(c);
    const float f = c - static_cast<float>(i);
    return {i, 1.0f - f, f};
}

// Clamped axis of n samples: at or past the last cell the last sample is taken (cell n - 2,
// fraction 1), below the first cell the first sample (cell 0, fraction 0). A coordinate in
// (-1, 0) truncates to cell 0 and keeps its negative fraction. NaN takes the first sample.
inline LinearAxis clamped_axis(float c, int n) {
    const float t = std::trunc(c);
    if (static_cast<double>(t) >= static_cast<double>(n) - 1.0) return {n - 2, 0.0f, 1.0f};
    if (!(t >= 0.0f)) return {0, 1.0f, 0.0f};
    const float f = c - t;
    return {static_cast<int>(t), 1.0f - f, f};
}

// Weighted sum of the two neighbours along one axis, in double. A neighbour whose weight is
// exactly zero is not read: a sample on the last row of an array, or on an axis of extent 1,
// touches nothing beyond it. get(k) reads neighbour i + k.
inline double mix_both(double w0, double v0, double w1, double v1) { return w0 * v0 + w1 * v1; }

template <class Get>
inline double mix(const LinearAxis& a, Get&& get) {
    if (a.w1 == 0.0f) return static_cast<double>(a.w0) * get(0);
    if (a.w0 == 0.0f) return static_cast<double>(a.w1) * get(1);
    return mix_both(a.w0, get(0), a.w1, get(1));
}

// Element loaders: a plain element as its value, or one byte lane of a packed RGBA word in place.
template <class T>
struct LoadValue {
    double operator()(T v) const { return static_cast<double>(v); }
};

inline constexpr uint32_t kRgbaLaneMask[4] = {0xff000000u, 0x00ff0000u, 0x0000ff00u, 0x000000ffu};

struct LoadLane {
    uint32_t mask;
    double operator()(uint32_t w) const { return static_cast<double>(w & mask); }
};

// A lane's weighted sum truncated toward zero and masked again: lanes never carry or borrow.
inline uint32_t rgba_lane_result(double v, int lane) {
    return static_cast<uint32_t>(static_cast<uint64_t>(truncate_to_int64(v))) & kRgbaLaneMask[lane];
}

template <class T, class Load>
inline double lerp_row(const void* row, const LinearAxis& x, const Load& load) {
    const T* r = static_cast<const T*>(row);
    return mix(x, [&](int k) { return load(r[static_cast<ptrdiff_t>(x.i) + k]); });
}

template <class T, class Load>
inline double lerp_plane(const void* const* rows, const LinearAxis& x, const LinearAxis& y,
                         const Load& load) {
    return mix(y, [&](int k) { return lerp_row<T>(rows[static_cast<ptrdiff_t>(y.i) + k], x, load); });
}

template <class T, class Load>
inline double lerp_volume(const void* const* const* slices, const LinearAxis& x,
                          const LinearAxis& y, const LinearAxis& z, const Load& load) {
    return mix(z, [&](int k) {
        return lerp_plane<T>(slices[static_cast<ptrdiff_t>(z.i) + k], x, y, load);
    });
}

// Packed RGBA: every lane interpolated on its own with the same weights.
template <class LaneSample>
inline uint32_t rgba_sample(const LaneSample& sample) {
    uint32_t out = 0;
    for (int lane = 0; lane < 4; ++lane) out |= rgba_lane_result(sample(LoadLane{kRgbaLaneMask[lane]}), lane);
    return out;
}

// ---- The sampler families, one template each. ----

template <class T>
inline T sample_nearest_1d_bounded(const void* data, int n, float x) {
    int i;
    if (!data || !bounded_index(x, n, &i)) return T(0);
    return static_cast<const T*>(data)[i];
}

template <class T>
inline T sample_nearest_2d_bounded(const void* const* rows, int nx, int ny, float x, float y) {
    int i, j;
    if (!rows || !bounded_index(x, nx, &i) || !bounded_index(y, ny, &j)) return T(0);
    return static_cast<const T*>(rows[j])[i];
}

template <class T>
inline T sample_nearest_3d_bounded(const void* const* const* slices, int nx, int ny, int nz,
                                   float x, float y, float z) {
    int i, j, k;
    if (!slices || !bounded_index(x, nx, &i) || !bounded_index(y, ny, &j) || !bounded_index(z, nz, &k))
        return T(0);
    return static_cast<const T*>(slices[k][j])[i];
}

template <class T>
inline T sample_nearest_1d(const void* data, float x) {
    return static_cast<const T*>(data)[trunc_index(x)];
}

template <class T>
inline T sample_nearest_2d(const void* const* rows, float x, float y) {
    return static_cast<const T*>(rows[trunc_index(y)])[trunc_index(x)];
}

template <class T>
inline T sample_nearest_3d(const void* const* const* slices, float x, float y, float z) {
    return static_cast<const T*>(slices[trunc_index(z)][trunc_index(y)])[trunc_index(x)];
}

// Linear samplers return integers truncated toward zero and floats as they are.
template <class T>
inline T sample_linear_1d_clamped(const void* data, int n, float x) {
    if (!data || n < 1) return T(0);
    return store_real<T>(lerp_row<T>(data, clamped_axis(x, n), LoadValue<T>{}));
}

template <class T>
inline T sample_linear_2d_clamped(const void* const* rows, int nx, int ny, float x, float y) {
    if (!rows || nx < 1 || ny < 1) return T(0);
    return store_real<T>(lerp_plane<T>(rows, clamped_axis(x, nx), clamped_axis(y, ny), LoadValue<T>{}));
}

template <class T>
inline T sample_linear_3d_clamped(const void* const* const* slices, int nx, int ny, int nz,
                                  float x, float y, float z) {
    if (!slices || nx < 1 || ny < 1 || nz < 1) return T(0);
    return store_real<T>(lerp_volume<T>(slices, clamped_axis(x, nx), clamped_axis(y, ny),
                                        clamped_axis(z, nz), LoadValue<T>{}));
}

template <class T>
inline T sample_linear_1d(const void* data, float x) {
    return store_real<T>(lerp_row<T>(data, unchecked_axis(x), LoadValue<T>{}));
}

template <class T>
inline T sample_linear_2d(const void* const* rows, float x, float y) {
    return store_real<T>(lerp_plane<T>(rows, unchecked_axis(x), unchecked_axis(y), LoadValue<T>{}));
}

template <class T>
inline T sample_linear_3d(const void* const* const* slices, float x, float y, float z) {
    return store_real<T>(lerp_volume<T>(slices, unchecked_axis(x), unchecked_axis(y),
                                        unchecked_axis(z), LoadValue<T>{}));
}

}  // namespace qel
