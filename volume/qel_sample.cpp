// The named per-unit samplers: thin instantiations of the families in qel_sample.hpp.
#include "volume/qel_sample.h"

#include "volume/qel_sample.hpp"
#include "volume/qel_units.h"

using Rows = const void* const*;
using Slices = const void* const* const*;

// X(suffix, element type) for every unit, in unit order.
#define QEL_FOR_EACH_UNIT(X) \
    X(Uint8, uint8_t)        \
    X(Int8, int8_t)          \
    X(Uint16, uint16_t)      \
    X(Int16, int16_t)        \
    X(Uint32, uint32_t)      \
    X(Int32, int32_t)        \
    X(Float32, float)        \
    X(Float64, double)

#define QEL_DEFINE_SAMPLERS(S, T)                                                                    \
    T QEL_SampleNearest1DBounded_##S(const void* data, int n, float x) {                             \
        return qel::sample_nearest_1d_bounded<T>(data, n, x);                                        \
    }                                                                                                \
    T QEL_SampleNearest2DBounded_##S(Rows rows, int nx, int ny, float x, float y) {                  \
        return qel::sample_nearest_2d_bounded<T>(rows, nx, ny, x, y);                                \
    }                                                                                                \
    T QEL_SampleNearest3DBounded_##S(Slices slices, int nx, int ny, int nz, float x, float y,        \
                                     float z) {                                                      \
        return qel::sample_nearest_3d_bounded<T>(slices, nx, ny, nz, x, y, z);                       \
    }                                                                                                \
    T QEL_SampleNearest1D_##S(const void* data, int, float x) {                                      \
        return qel::sample_nearest_1d<T>(data, x);                                                   \
    }                                                                                                \
    T QEL_SampleNearest2D_##S(Rows rows, int, int, float x, float y) {                               \
        return qel::sample_nearest_2d<T>(rows, x, y);                                                \
    }                                                                                                \
    T QEL_SampleNearest3D_##S(Slices slices, int, int, int, float x, float y, float z) {             \
        return qel::sample_nearest_3d<T>(slices, x, y, z);                                           \
    }                                                                                                \
    T QEL_SampleLinear1DClamped_##S(const void* data, int n, float x) {                              \
        return qel::sample_linear_1d_clamped<T>(data, n, x);                                         \
    }                                                                                                \
    T QEL_SampleLinear2DClamped_##S(Rows rows, int nx, int ny, float x, float y) {                   \
        return qel::sample_linear_2d_clamped<T>(rows, nx, ny, x, y);                                 \
    }                                                                                                \
    T QEL_SampleLinear3DClamped_##S(Slices slices, int nx, int ny, int nz, float x, float y,         \
                                    float z) {                                                       \
        return qel::sample_linear_3d_clamped<T>(slices, nx, ny, nz, x, y, z);                        \
    }                                                                                                \
    T QEL_SampleLinear1D_##S(const void* data, int, float x) {                                       \
        return qel::sample_linear_1d<T>(data, x);                                                    \
    }                                                                                                \
    T QEL_SampleLinear2D_##S(Rows rows, int, int, float x, float y) {                                \
        return qel::sample_linear_2d<T>(rows, x, y);                                                 \
    }                                                                                                \
    T QEL_SampleLinear3D_##S(Slices slices, int, int, int, float x, float y, float z) {              \
        return qel::sample_linear_3d<T>(slices, x, y, z);                                            \
    }

QEL_FOR_EACH_UNIT(QEL_DEFINE_SAMPLERS)

uint32_t QEL_SampleLinearRgba1D(const void* data, int, float x) {
    const qel::LinearAxis ax = qel::unchecked_axis(x);
    return qel::rgba_sample([&](const qel::LoadLane& load) { return qel::lerp_row<uint32_t>(data, ax, load); });
}

uint32_t QEL_SampleLinearRgba2D(Rows rows, int, int, float x, float y) {
    const qel::LinearAxis ax = qel::unchecked_axis(x), ay = qel::unchecked_axis(y);
    return qel::rgba_sample(
        [&](const qel::LoadLane& load) { return qel::lerp_plane<uint32_t>(rows, ax, ay, load); });
}

uint32_t QEL_SampleLinearRgba3D(Slices slices, int, int, int, float x, float y, float z) {
    const qel::LinearAxis ax = qel::unchecked_axis(x), ay = qel::unchecked_axis(y),
                          az = qel::unchecked_axis(z);
    return qel::rgba_sample(
        [&](const qel::LoadLane& load) { return qel::lerp_volume<uint32_t>(slices, ax, ay, az, load); });
}

uint32_t QEL_SampleLinearRgba1DClamped(const void* data, int n, float x) {
    if (!data || n < 1) return 0;
    const qel::LinearAxis ax = qel::clamped_axis(x, n);
    return qel::rgba_sample([&](const qel::LoadLane& load) { return qel::lerp_row<uint32_t>(data, ax, load); });
}

uint32_t QEL_SampleLinearRgba2DClamped(Rows rows, int nx, int ny, float x, float y) {
    if (!rows || nx < 1 || ny < 1) return 0;
    const qel::LinearAxis ax = qel::clamped_axis(x, nx), ay = qel::clamped_axis(y, ny);
    return qel::rgba_sample(
        [&](const qel::LoadLane& load) { return qel::lerp_plane<uint32_t>(rows, ax, ay, load); });
}

uint32_t QEL_SampleLinearRgba3DClamped(Slices slices, int nx, int ny, int nz, float x, float y, float z) {
    if (!slices || nx < 1 || ny < 1 || nz < 1) return 0;
    const qel::LinearAxis ax = qel::clamped_axis(x, nx), ay = qel::clamped_axis(y, ny),
                          az = qel::clamped_axis(z, nz);
    return qel::rgba_sample(
        [&](const qel::LoadLane& load) { return qel::lerp_volume<uint32_t>(slices, ax, ay, az, load); });
}

void QEL_SwapByteOrder(void* data, int unit, int count) {
    if (!data || count <= 0) return;
    char* p = static_cast<char*>(data);
    if (unit == QEL_VOXEL_UNIT_UINT16 || unit == QEL_VOXEL_UNIT_INT16) {
        for (int64_t e = 0; e < count; ++e) QEL_SwapBytes(p + 2 * e, p + 2 * e + 1);
    } else if (unit == QEL_VOXEL_UNIT_UINT32 || unit == QEL_VOXEL_UNIT_INT32) {
        for (int64_t e = 0; e < count; ++e) {
            QEL_SwapBytes(p + 4 * e, p + 4 * e + 3);
            QEL_SwapBytes(p + 4 * e + 1, p + 4 * e + 2);
        }
    }
}
