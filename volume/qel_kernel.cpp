#include "volume/qel_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "volume/qel_binary.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_unit_dispatch.hpp"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { free(p); }
};

// Zero-filled; a capacity of 0 still gets a block, so that NULL means only "no memory".
template <class T>
T* alloc_zeroed(int64_t n) {
    if (n < 0) return nullptr;
    return static_cast<T*>(calloc(n > 0 ? static_cast<size_t>(n) : 1, sizeof(T)));
}

// The shells are sorted on a (2h + 1)^3 grid; sizes whose grid does not fit an int are
// refused, which also bounds the point count.
bool shell_grid_fits(int64_t h) {
    if (h < 0 || h > std::numeric_limits<int32_t>::max()) return false;
    const int64_t side = 2 * h + 1;
    return qel::checked_voxels({side, side, side}).has_value();
}

// Builds a kernel of the grid points |x|, |y|, |z| <= h that lie on rows
// -extent(y, z) <= x <= extent(y, z) (extent < 0: an empty row), ordered by key(x, y, z)
// in 0..maxKey and, within one key, in scan order (z slowest, then y, then x). Point 0 is
// the centre, the only point of key 0. A counting sort over the keys, stable by construction.
template <class Extent, class Key, class Distance>
QelKernel* new_shell_kernel(int h, int64_t maxKey, Extent extent, Key key, Distance distance) {
    // The point count comes row by row, so that a kernel too large for memory is refused
    // before any table is built or any point visited.
    int64_t n = 0;
    for (int z = -h; z <= h; ++z)
        for (int y = -h; y <= h; ++y) {
            const int xm = extent(y, z);
            if (xm >= 0) n += 2 * int64_t{xm} + 1;
        }
    std::unique_ptr<QelKernel, decltype(&QEL_DeleteKernel)> kernel(QEL_NewKernel(static_cast<int>(n)),
                                                                   &QEL_DeleteKernel);  // n <= (2h + 1)^3 fits an int
    if (!kernel) return nullptr;
    std::unique_ptr<int64_t[], FreeDeleter> start(alloc_zeroed<int64_t>(maxKey + 1));
    if (!start) return nullptr;
    for (int z = -h; z <= h; ++z)
        for (int y = -h; y <= h; ++y) {
            const int xm = extent(y, z);
            for (int x = -xm; x <= xm; ++x) ++start[key(x, y, z)];
        }
    int64_t first = 0;
    for (int64_t k = 0; k <= maxKey; ++k) {
        const int64_t c = start[k];
        start[k] = first;
        first += c;
    }
    QelVoxelList* pts = kernel->points;
    for (int z = -h; z <= h; ++z)
        for (int y = -h; y <= h; ++y) {
            const int xm = extent(y, z);
            for (int x = -xm; x <= xm; ++x) {
                const int64_t k = key(x, y, z);
                const int64_t i = start[k]++;
                pts->x[i] = x;
                pts->y[i] = y;
                pts->z[i] = z;
                kernel->distance[i] = distance(k);
            }
        }
    pts->count = static_cast<int>(n);
    return kernel.release();
}

// Bytes of one kernel point: x, y, z and offset of the voxel list, distance and weight.
constexpr int64_t kPointBytes = 4 * sizeof(int) + 2 * sizeof(float);

}  // namespace

QelVoxelList* QEL_NewVoxelList(int capacity) {
    // Capacities come from radii and channels that a command line or a host chose: tables
    // beyond the memory bound count as memory that could not be had.
    if (capacity < 0 || !qel::fits_memory(int64_t{capacity} * 4 * int64_t{sizeof(int)})) return nullptr;
    auto* list = static_cast<QelVoxelList*>(calloc(1, sizeof(QelVoxelList)));
    if (!list) return nullptr;
    list->capacity = capacity;
    list->x = alloc_zeroed<int>(capacity);
    list->y = alloc_zeroed<int>(capacity);
    list->z = alloc_zeroed<int>(capacity);
    list->offset = alloc_zeroed<int>(capacity);
    list->dims = QEL_NewSize3i(1, 1, 1);
    if (!list->x || !list->y || !list->z || !list->offset || !list->dims) {
        QEL_DeleteVoxelList(list);
        return nullptr;
    }
    return list;
}

void QEL_DeleteVoxelList(QelVoxelList* list) {
    if (!list) return;
    free(list->x);
    free(list->y);
    free(list->z);
    free(list->offset);
    QEL_DeleteSize3i(list->dims);
    free(list);
}

int QEL_AppendToVoxelList(QelVoxelList* list, const QelPoint3i* p) {
    if (!list) return -1;
    if (!p || list->count >= list->capacity) return list->count;
    list->x[list->count] = p->x;
    list->y[list->count] = p->y;
    list->z[list->count] = p->z;
    return ++list->count;
}

int QEL_FindOrAppendVoxel(QelVoxelList* list, const QelPoint3i* p) {
    if (!list || !p) return -1;
    for (int i = 0; i < list->count; ++i)
        if (list->x[i] == p->x && list->y[i] == p->y && list->z[i] == p->z) return i;
    if (list->count >= list->capacity) return -1;
    const int index = list->count;
    QEL_AppendToVoxelList(list, p);
    return index;
}

int QEL_RemoveFromVoxelList(QelVoxelList* list, const QelPoint3i* p) {
    if (!list) return -1;
    if (!p) return list->count;
    for (int i = 0; i < list->count; ++i) {
        if (list->x[i] != p->x || list->y[i] != p->y || list->z[i] != p->z) continue;
        const size_t later = static_cast<size_t>(list->count - i - 1) * sizeof(int);
        memmove(list->x + i, list->x + i + 1, later);
        memmove(list->y + i, list->y + i + 1, later);
        memmove(list->z + i, list->z + i + 1, later);
        memmove(list->offset + i, list->offset + i + 1, later);
        return --list->count;
    }
    return list->count;
}

void QEL_SetVoxelListOffsets(QelVoxelList* list, const QelSize3i* dims) {
    if (!list || !dims) return;
    if (list->dims) *list->dims = *dims;
    // Unsigned arithmetic: an offset that does not fit keeps its low 32 bits instead of
    // overflowing; the offsets of a kernel for its padded size always fit.
    const uint64_t nx = static_cast<uint64_t>(int64_t{dims->nx});
    const uint64_t ny = static_cast<uint64_t>(int64_t{dims->ny});
    for (int i = 0; i < list->capacity; ++i) {
        const uint64_t x = static_cast<uint64_t>(int64_t{list->x[i]});
        const uint64_t y = static_cast<uint64_t>(int64_t{list->y[i]});
        const uint64_t z = static_cast<uint64_t>(int64_t{list->z[i]});
        list->offset[i] = static_cast<int>(static_cast<uint32_t>(x + nx * (y + ny * z)));
    }
}

QelVoxelList* QEL_NewVoxelListOfBinaryChannel(const QelRawVolumeData* vol, int channel) {
    if (!qel::has_channel(vol, channel)) return nullptr;
    QelVoxelList* list = QEL_NewVoxelList(QEL_CountOnesOfBinaryChannel(vol, channel));
    if (!list) {
        fprintf(stderr, "Err: Short of memory\n");
        return nullptr;
    }
    qel::for_each_one(vol, channel, [&](int x, int y, int z) {
        const QelPoint3i p{x, y, z};
        QEL_AppendToVoxelList(list, &p);
    });
    return list;
}

QelKernel* QEL_NewKernel(int capacity) {
    if (capacity <= 0 || !qel::fits_memory(int64_t{capacity} * kPointBytes)) return nullptr;
    auto* kernel = static_cast<QelKernel*>(calloc(1, sizeof(QelKernel)));
    if (!kernel) return nullptr;
    kernel->kind = QEL_KERNEL_GENERAL;
    kernel->radius = 1.0f;
    kernel->maxRadius = 1.0f;
    kernel->margin = 1;
    kernel->points = QEL_NewVoxelList(capacity);
    kernel->distance = alloc_zeroed<float>(capacity);
    kernel->weight = alloc_zeroed<float>(capacity);
    if (!kernel->points || !kernel->distance || !kernel->weight) {
        QEL_DeleteKernel(kernel);
        return nullptr;
    }
    kernel->points->count = 1;  // the centre, (0, 0, 0) with offset, distance and weight 0
    return kernel;
}

void QEL_DeleteKernel(QelKernel* kernel) {
    if (!kernel) return;
    QEL_DeleteVoxelList(kernel->points);
    free(kernel->distance);
    free(kernel->weight);
    free(kernel);
}

QelKernel* QEL_NewSphericalKernel(float r) {
    // NaN fails the first test; r >= 2^31 would not fit the truncation below.
    if (!(r >= 1.0f) || !(r < 2147483648.0f)) return nullptr;
    const int64_t h = static_cast<int64_t>(r) + 1;
    if (!shell_grid_fits(h)) return nullptr;
    const float r2 = r * r;
    const double limit = r2;
    const int hi = static_cast<int>(h);
    // Largest x with x*x + y*y + z*z <= r2, or -1 when the row misses the ball.
    auto extent = [&](int y, int z) {
        const int64_t yz = int64_t{y} * y + int64_t{z} * z;
        if (static_cast<double>(yz) > limit) return -1;
        int64_t xm = static_cast<int64_t>(std::sqrt(limit - static_cast<double>(yz)));
        while (static_cast<double>((xm + 1) * (xm + 1) + yz) <= limit) ++xm;
        while (xm > 0 && static_cast<double>(xm * xm + yz) > limit) --xm;
        return static_cast<int>(xm < hi ? xm : hi);
    };
    auto key = [](int x, int y, int z) { return int64_t{x} * x + int64_t{y} * y + int64_t{z} * z; };
    auto distance = [](int64_t w) { return std::sqrt(static_cast<float>(w)); };
    QelKernel* kernel = new_shell_kernel(hi, 3 * h * h, extent, key, distance);
    if (!kernel) return nullptr;
    kernel->kind = QEL_KERNEL_SPHERICAL;
    kernel->radius = r;
    kernel->maxRadius = r;
    kernel->margin = hi;  // trunc(r) + 1: one more than any point reaches
    return kernel;
}

QelKernel* QEL_NewCubicKernel(int size) {
    const int64_t s = size % 2 != 0 ? int64_t{size} : int64_t{size} + 1;
    if (s < 3) return nullptr;
    const int64_t h = (s - 1) / 2;
    if (!shell_grid_fits(h)) return nullptr;
    const int hi = static_cast<int>(h);
    auto extent = [hi](int, int) { return hi; };
    auto key = [](int x, int y, int z) {
        const int64_t ax = std::abs(int64_t{x}), ay = std::abs(int64_t{y}), az = std::abs(int64_t{z});
        return ax > ay ? (ax > az ? ax : az) : (ay > az ? ay : az);
    };
    auto distance = [](int64_t w) { return static_cast<float>(w); };
    QelKernel* kernel = new_shell_kernel(hi, h, extent, key, distance);
    if (!kernel) return nullptr;
    kernel->kind = QEL_KERNEL_CUBIC;
    kernel->radius = static_cast<float>(h);
    kernel->maxRadius = static_cast<float>(h);
    kernel->margin = hi;  // the points reach h voxels along each axis
    return kernel;
}

QelKernel* QEL_NewNeighborhoodKernel(int n) {
    switch (n) {
        case 6: return QEL_NewSphericalKernel(1.1f);
        case 18: return QEL_NewSphericalKernel(1.5f);
        case 26: return QEL_NewSphericalKernel(1.8f);
        default: return nullptr;
    }
}

QelKernel* QEL_NewKernelFromRawVolumeData(const QelRawVolumeData* vol, int channel, const QelPoint3i* centre) {
    // The channel is read as the float channel it would become through map 0; a channel
    // that conversion refuses (packed, invalid unit) gives no kernel.
    if (!centre || !qel::has_channel(vol, channel) || vol->attribute[channel] != QEL_ATTRIBUTE_PLAIN) return nullptr;
    const auto voxels = qel::voxel_count(vol);
    if (!voxels) return nullptr;
    const int nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    QelKernel* kernel = nullptr;
    bool ok = false;
    qel::dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* data = static_cast<const T*>(vol->data[channel]);
        int64_t n = 0;
        for (int64_t v = 0; v < *voxels; ++v) n += static_cast<float>(data[v]) != 0.0f;
        kernel = QEL_NewKernel(static_cast<int>(n));
        if (!kernel) return;
        QelVoxelList* pts = kernel->points;
        int64_t reach = 0, i = 0;
        float sum = 0.0f;
        const T* p = data;
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x, ++p) {
                    const float w = static_cast<float>(*p);
                    if (w == 0.0f) continue;
                    const int64_t d[3] = {int64_t{x} - centre->x, int64_t{y} - centre->y, int64_t{z} - centre->z};
                    for (int64_t c : d) {
                        if (!qel::fits_int32(c)) return;  // a displacement no int holds
                        reach = std::max(reach, c < 0 ? -c : c);
                    }
                    pts->x[i] = static_cast<int>(d[0]);
                    pts->y[i] = static_cast<int>(d[1]);
                    pts->z[i] = static_cast<int>(d[2]);
                    kernel->weight[i] = w;
                    sum += w;
                    ++i;
                }
        if (reach > std::numeric_limits<int32_t>::max()) return;
        pts->count = static_cast<int>(n);
        kernel->weightSum = sum;
        // A filter pads by the margin, so it must cover the farthest point.
        kernel->margin = std::max<int>(1, static_cast<int>(reach));
        ok = true;
    });
    if (!ok) {
        QEL_DeleteKernel(kernel);
        return nullptr;
    }
    return kernel;
}

void QEL_SetKernelRadius(QelKernel* kernel, float r) {
    if (!kernel || !kernel->points || !(r >= 0.0f)) return;
    QelVoxelList* pts = kernel->points;
    if (r > kernel->maxRadius) {
        pts->count = pts->capacity;
        kernel->radius = kernel->maxRadius;
        return;
    }
    for (int i = 0; i < pts->capacity; ++i) {
        if (r < kernel->distance[i]) {
            pts->count = i;
            kernel->radius = r;
            return;
        }
    }
    pts->count = pts->capacity;
    kernel->radius = kernel->maxRadius;
}

void QEL_SetKernelOffsets(QelKernel* kernel, const QelSize3i* dims) {
    if (kernel) QEL_SetVoxelListOffsets(kernel->points, dims);
}

int QEL_SetKernelWeight(QelKernel* kernel, const QelPoint3i* p, float w) {
    if (!kernel || !kernel->points) return -1;
    if (kernel->kind == QEL_KERNEL_GENERAL) {
        const int index = QEL_FindOrAppendVoxel(kernel->points, p);
        if (index >= 0) kernel->weight[index] = w;
    }
    return kernel->points->count;
}
