// Convolution in place. Every output voxel must be computed from the channel as it was, but a
// row of output is only ever read back by rows at most `back` rows later, so a ring of that many
// original rows (and the row itself) stands in for a copy of the whole channel. Edge replication
// is clamping of the source coordinates: each point reads whole source rows (clamped in y and z)
// and only the few voxels near the row ends clamp x. Each voxel's sum adds its points' products
// in point order; the row loop (qel_smooth_vec_impl.hpp) does that for several voxels at once.
#include "filters/qel_smooth.h"
#include "filters/qel_smooth_vec.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "volume/qel_binary.hpp"
#include "volume/qel_checked.hpp"

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

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

struct KernelDeleter {
    void operator()(QelKernel* k) const { QEL_DeleteKernel(k); }
};
using KernelPtr = std::unique_ptr<QelKernel, KernelDeleter>;

// Rows (of nx voxels, storage order) by which a point can reach back from the row it is applied
// to; clamping only ever moves a source row closer.
int64_t rows_back(const qel::ConvolvePoint* pts, int count, int64_t ny) {
    int64_t back = 0;
    for (int k = 0; k < count; ++k)
        back = std::max(back, std::max<int64_t>(0, -pts[k].dy) + ny * std::max<int64_t>(0, -pts[k].dz));
    return back;
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
    qel::convolve_channel(qel::VecPath::best, vol, channel, kernel);
}

void qel::convolve_channel(VecPath path, QelRawVolumeData* vol, int channel, QelKernel* kernel) {
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
    const size_t slots = static_cast<size_t>(count) + 1;
    std::unique_ptr<qel::ConvolvePoint[]> points(new (std::nothrow) qel::ConvolvePoint[slots]);
    std::unique_ptr<double[]> acc(new (std::nothrow) double[static_cast<size_t>(nx)]);
    std::unique_ptr<const void*[]> sources(new (std::nothrow) const void*[slots]);
    std::unique_ptr<int64_t[]> dx(new (std::nothrow) int64_t[slots]);
    std::unique_ptr<double[]> w(new (std::nothrow) double[slots]);
    if (!points || !acc || !sources || !dx || !w) return;
    for (int k = 0; k < count; ++k) points[k] = {pts->x[k], pts->y[k], pts->z[k], kernel->weight[k]};
    // One more row than a point reaches back: the row being computed is saved first.
    const int64_t window = std::min<int64_t>(rows_back(points.get(), count, ny) + 1, int64_t{ny} * nz);
    const auto ringBytes = qel::checked_product({window, nx, QEL_GetVoxelUnitSize(vol->unit[channel])});
    if (!ringBytes) return;
    std::unique_ptr<unsigned char, FreeDeleter> ring(static_cast<unsigned char*>(std::malloc(static_cast<size_t>(*ringBytes))));
    if (!ring) return;
    convolve_rows(path, {vol->data[channel], vol->unit[channel], nx, ny, nz, points.get(), count, ring.get(), window,
                         acc.get(), sources.get(), dx.get(), w.get()});
}

void qel::convolve_rows(VecPath path, const ConvolveJob& job) {
    switch (resolve_vec_path(path)) {
        case VecPath::vec512: convolve_vec512::convolve_rows(job); break;
        case VecPath::vec256: convolve_vec256::convolve_rows(job); break;
        default: convolve_vec128::convolve_rows(job); break;
    }
}
