// Convolution over a padded copy with precomputed linear offsets. The copy is grown only by
// the reach of the points along each axis: with edge replication that reads the same values
// as growing every side by the margin, at a fraction of the copying for one-dimensional
// kernels. The sums run point by point over a row of double accumulators, which keeps each
// voxel's additions in point order and lets the row loop vectorise.
#include "filters/qel_smooth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "volume/qel_binary.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_pad.h"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

// A single voxel grown by R on all six sides must still fit the 32-bit voxel count, or no
// volume could ever be convolved with the kernel: (2R + 1)^3 <= 2^31 - 1.
constexpr int kMaxGaussianRadius = 644;

int axis_of(const char* axis) {
    if (!axis) return -1;
    if (!std::strcmp(axis, "x") || !std::strcmp(axis, "X")) return 0;
    if (!std::strcmp(axis, "y") || !std::strcmp(axis, "Y")) return 1;
    if (!std::strcmp(axis, "z") || !std::strcmp(axis, "Z")) return 2;
    return -1;
}

struct VolumeDeleter {
    void operator()(QelRawVolumeData* v) const { QEL_DeleteRawVolumeData(v); }
};
using VolumePtr = std::unique_ptr<QelRawVolumeData, VolumeDeleter>;

struct KernelDeleter {
    void operator()(QelKernel* k) const { QEL_DeleteKernel(k); }
};
using KernelPtr = std::unique_ptr<QelKernel, KernelDeleter>;

template <class T>
void convolve_rows(const T* copy, T* out, int nx, int ny, int nz, const int64_t reach[3], const int64_t* off,
                   const float* weight, int count, double* acc) {
    const int64_t qx = nx + 2 * reach[0], qy = ny + 2 * reach[1];
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y) {
            const T* base = copy + reach[0] + qx * ((y + reach[1]) + qy * (z + reach[2]));
            for (int x = 0; x < nx; ++x) acc[x] = 0.0;
            for (int k = 0; k < count; ++k) {
                const T* src = base + off[k];
                const double w = weight[k];
                for (int x = 0; x < nx; ++x) acc[x] += static_cast<double>(src[x]) * w;
            }
            for (int x = 0; x < nx; ++x) out[x] = qel::store_real<T>(acc[x]);
            out += nx;
        }
}

}  // namespace

QelKernel* QEL_NewGaussianKernel1D(const char* axis, float sigma) {
    const int a = axis_of(axis);
    if (a < 0) return nullptr;
    const double t = std::trunc(static_cast<double>(-3.2f) * static_cast<double>(sigma));
    if (!std::isfinite(t) || t > 1.0 || 1.0 - t > kMaxGaussianRadius) return nullptr;
    const int r = static_cast<int>(1.0 - t);
    KernelPtr kernel(QEL_NewKernel(2 * r + 1));
    if (!kernel) return nullptr;
    const QelPoint3i centre{0, 0, 0};
    QEL_SetKernelWeight(kernel.get(), &centre, 1.0f);
    const float d = 2.0f * sigma * sigma;
    for (int i = -r; i <= r; ++i) {
        if (i == 0) continue;
        QelPoint3i p{0, 0, 0};
        (a == 0 ? p.x : a == 1 ? p.y : p.z) = i;
        const float w = static_cast<float>(std::exp(-static_cast<double>(i * i) / static_cast<double>(d)));
        QEL_SetKernelWeight(kernel.get(), &p, w);
    }
    const int n = kernel->points->count;
    float s = 0.0f;
    for (int k = 0; k < n; ++k) s += kernel->weight[k];
    for (int k = 0; k < n; ++k) kernel->weight[k] /= s;
    kernel->weightSum = 1.0f;
    kernel->radius = static_cast<float>(r);
    kernel->maxRadius = static_cast<float>(r);
    kernel->margin = r;
    return kernel.release();
}

void QEL_GaussianSmoothChannel(QelRawVolumeData* vol, int channel, float sigma) {
    if (sigma == 0.0f) return;
    KernelPtr kx(QEL_NewGaussianKernel1D("x", sigma));
    if (!kx) return;
    KernelPtr ky(QEL_NewGaussianKernel1D("y", sigma));
    if (!ky) return;
    KernelPtr kz(QEL_NewGaussianKernel1D("z", sigma));
    if (!kz) return;
    QEL_ConvolveChannel(vol, channel, kx.get());
    QEL_ConvolveChannel(vol, channel, ky.get());
    QEL_ConvolveChannel(vol, channel, kz.get());
}

void QEL_ConvolveChannel(QelRawVolumeData* vol, int channel, QelKernel* kernel) {
    if (!vol || !kernel || !kernel->points || !kernel->weight || !qel::has_channel(vol, channel)) return;
    if (!QEL_IsValidVoxelUnit(vol->unit[channel]) || !qel::voxel_count(vol)) return;
    const int nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    const int64_t m = std::max(kernel->margin, 0);
    const auto padded = qel::checked_voxels({nx + 2 * m, ny + 2 * m, nz + 2 * m});
    if (!padded) return;  // the volume cannot be grown by the margin
    const QelSize3i dims{static_cast<int>(nx + 2 * m), static_cast<int>(ny + 2 * m), static_cast<int>(nz + 2 * m)};
    QEL_SetKernelOffsets(kernel, &dims);

    const QelVoxelList* pts = kernel->points;
    const int count = std::clamp(pts->count, 0, pts->capacity);
    int64_t reach[3] = {0, 0, 0};
    for (int k = 0; k < count; ++k) {
        reach[0] = std::max(reach[0], std::abs(int64_t{pts->x[k]}));
        reach[1] = std::max(reach[1], std::abs(int64_t{pts->y[k]}));
        reach[2] = std::max(reach[2], std::abs(int64_t{pts->z[k]}));
    }
    const int64_t grown[3] = {nx + 2 * reach[0], ny + 2 * reach[1], nz + 2 * reach[2]};
    if (!qel::checked_voxels({grown[0], grown[1], grown[2]})) return;

    VolumePtr copy(QEL_ExtractChannelOfRawVolumeData(vol, channel));
    if (!copy) return;
    QelPoint3i origin{static_cast<int>(-reach[0]), static_cast<int>(-reach[1]), static_cast<int>(-reach[2])};
    QelSize3i size{static_cast<int>(grown[0]), static_cast<int>(grown[1]), static_cast<int>(grown[2])};
    const QelBox3i box{&origin, &size};
    if (QEL_CropRawVolumeData(copy.get(), &box, QEL_PAD_REPLICATE) != 0) return;

    std::unique_ptr<int64_t[]> off(new (std::nothrow) int64_t[static_cast<size_t>(count) + 1]);
    std::unique_ptr<double[]> acc(new (std::nothrow) double[static_cast<size_t>(nx)]);
    if (!off || !acc) return;
    for (int k = 0; k < count; ++k) off[k] = pts->x[k] + grown[0] * (pts->y[k] + grown[1] * pts->z[k]);

    qel::dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        convolve_rows(static_cast<const T*>(copy->data[0]), static_cast<T*>(vol->data[channel]), nx, ny, nz, reach,
                      off.get(), kernel->weight, count, acc.get());
    });
}
