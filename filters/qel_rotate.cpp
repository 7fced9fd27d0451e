// 90- and 180-degree volume turns: one element-copy family per axis, written once over the
// element type, and the record-level turns that build the turned copy and swap it in.
#include "filters/qel_rotate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "volume/qel_region.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

// The y and z turns transpose a plane; walking it in square tiles keeps both the rows read
// and the rows written in cache.
constexpr int kTile = 8;

// Input row (y, z).
template <class T>
const T* in_row(const void* const* const* in, int y, int z) {
    return static_cast<const T*>(in[z][y]);
}

template <class T>
T* out_row(void*** out, int y, int z) {
    return static_cast<T*>(out[z][y]);
}

// Output size (nx, nz, ny): input row (y, z) becomes output row (z, ny - 1 - y) unchanged.
template <class T>
void rotate_x90(const void* const* const* in, void*** out, int nx, int ny, int nz) {
    const size_t row_bytes = static_cast<size_t>(nx) * sizeof(T);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y) std::memcpy(out_row<T>(out, z, ny - 1 - y), in_row<T>(in, y, z), row_bytes);
}

// Output size (nz, ny, nx): out[x][y][nz - 1 - z] = in[z][y][x]; each y is an (x, z) transpose.
template <class T>
void rotate_y90(const void* const* const* in, void*** out, int nx, int ny, int nz) {
    for (int y = 0; y < ny; ++y)
        for (int z0 = 0; z0 < nz; z0 += kTile)
            for (int x0 = 0; x0 < nx; x0 += kTile) {
                const int z1 = std::min(z0 + kTile, nz);
                const int x1 = std::min(x0 + kTile, nx);
                for (int z = z0; z < z1; ++z) {
                    const T* src = in_row<T>(in, y, z);
                    const int column = nz - 1 - z;
                    for (int x = x0; x < x1; ++x) out_row<T>(out, y, x)[column] = src[x];
                }
            }
}

// Output size (ny, nx, nz): out[z][nx - 1 - x][y] = in[z][y][x]; each slice is a transpose.
template <class T>
void rotate_z90(const void* const* const* in, void*** out, int nx, int ny, int nz) {
    for (int z = 0; z < nz; ++z)
        for (int y0 = 0; y0 < ny; y0 += kTile)
            for (int x0 = 0; x0 < nx; x0 += kTile) {
                const int y1 = std::min(y0 + kTile, ny);
                const int x1 = std::min(x0 + kTile, nx);
                for (int y = y0; y < y1; ++y) {
                    const T* src = in_row<T>(in, y, z);
                    for (int x = x0; x < x1; ++x) out_row<T>(out, nx - 1 - x, z)[y] = src[x];
                }
            }
}

enum class Axis { X, Y, Z };

template <class T>
void rotate_channel(Axis axis, const void* const* const* in, void*** out, int nx, int ny, int nz) {
    switch (axis) {
        case Axis::X: rotate_x90<T>(in, out, nx, ny, nz); break;
        case Axis::Y: rotate_y90<T>(in, out, nx, ny, nz); break;
        case Axis::Z: rotate_z90<T>(in, out, nx, ny, nz); break;
    }
}

int rotate_volume_90(QelRawVolumeData* vol, Axis axis) {
    if (!vol || !vol->size || !vol->unit || !vol->attribute || !vol->slices) return -1;
    const int nx = vol->size->nx;
    const int ny = vol->size->ny;
    const int nz = vol->size->nz;
    const int n = vol->size->nChannels;
    QelSize4i turned{nx, nz, ny, n};
    if (axis == Axis::Y) turned = {nz, ny, nx, n};
    if (axis == Axis::Z) turned = {ny, nx, nz, n};
    QelRawVolumeData* out = QEL_NewRawVolumeData(&turned, vol->unit, vol->attribute);
    if (!out) return -1;
    for (int c = 0; c < n; ++c)
        qel::dispatch_unit_void(vol->unit[c], [&](auto tag) {
            using T = typename decltype(tag)::type;
            rotate_channel<T>(axis, vol->slices[c], out->slices[c], nx, ny, nz);
        });
    QEL_SwapRawVolumeData(vol, out);
    QEL_DeleteRawVolumeData(out);
    return 0;
}

}  // namespace

using Slices = const void* const* const*;

// X(suffix, element type) for each element width of the families.
#define QEL_FOR_EACH_ROTATION_WIDTH(X) \
    X(Int8, int8_t)                    \
    X(Int16, int16_t)                  \
    X(Int32, int32_t)                  \
    X(Float32, float)                  \
    X(Float64, double)

#define QEL_DEFINE_ROTATIONS(S, T)                                          \
    void QEL_RotateX90_##S(Slices in, void*** out, int nx, int ny, int nz) { \
        rotate_x90<T>(in, out, nx, ny, nz);                                 \
    }                                                                       \
    void QEL_RotateY90_##S(Slices in, void*** out, int nx, int ny, int nz) { \
        rotate_y90<T>(in, out, nx, ny, nz);                                 \
    }                                                                       \
    void QEL_RotateZ90_##S(Slices in, void*** out, int nx, int ny, int nz) { \
        rotate_z90<T>(in, out, nx, ny, nz);                                 \
    }

QEL_FOR_EACH_ROTATION_WIDTH(QEL_DEFINE_ROTATIONS)

int QEL_RotateRawVolumeDataX90(QelRawVolumeData* vol) { return rotate_volume_90(vol, Axis::X); }
int QEL_RotateRawVolumeDataY90(QelRawVolumeData* vol) { return rotate_volume_90(vol, Axis::Y); }
int QEL_RotateRawVolumeDataZ90(QelRawVolumeData* vol) { return rotate_volume_90(vol, Axis::Z); }

int QEL_RotateRawVolumeData180(QelRawVolumeData* vol, const char* axis) {
    const int a = qel::axis_of_name(axis);
    if (!vol || a < 0) return -1;
    const Axis turn = a == 0 ? Axis::X : a == 1 ? Axis::Y : Axis::Z;
    if (rotate_volume_90(vol, turn) != 0) return -1;
    return rotate_volume_90(vol, turn);
}
