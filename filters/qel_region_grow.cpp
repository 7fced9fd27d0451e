// Region growing. The region is grown breadth first from a queue that holds each reached
// candidate once (4 bytes per candidate); when the queue cannot be had, raster passes in
// alternating directions take over. Both reach every candidate linked to a seed, so the mask
// and the count do not depend on the strategy.
#include "filters/qel_region_grow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "volume/qel_huge_pages.hpp"
#include "filters/qel_region_grow.hpp"
#include "filters/qel_threshold.h"
#include "filters/qel_threshold.hpp"
#include "volume/qel_binary.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_unit_dispatch.hpp"

namespace qel {

namespace {
void* default_queue_alloc(size_t bytes) { return std::malloc(bytes > 0 ? bytes : 1); }
}  // namespace

void* (*grow_queue_alloc)(size_t bytes) = default_queue_alloc;

Neighbours neighbours_of(int connectivity, int64_t nx, int64_t ny) {
    Neighbours nb;
    QelKernel* kernel = QEL_NewNeighborhoodKernel(connectivity);
    if (!kernel) return nb;
    const QelVoxelList* pts = kernel->points;
    for (int k = 1; k < pts->count && nb.count < 26; ++k, ++nb.count) {
        const int x = pts->x[k], y = pts->y[k], z = pts->z[k];
        nb.d[nb.count][0] = x;
        nb.d[nb.count][1] = y;
        nb.d[nb.count][2] = z;
        nb.offset[nb.count] = x + nx * (y + ny * z);
    }
    QEL_DeleteKernel(kernel);
    return nb;
}

namespace {

inline bool touches_region(const uint8_t* cell, const int64_t* off, size_t k) {
    for (size_t i = 0; i < k; ++i)
        if (cell[off[i]] == kRegion) return true;
    return false;
}

int64_t grow_by_queue(uint8_t* cells, int64_t count, const Neighbours& nb, uint32_t* queue) {
    const int64_t* off = nb.offset;
    const size_t k = static_cast<size_t>(nb.count);
    int64_t tail = 0;
    for (int64_t p = 0; p < count; ++p) {
        if (cells[p] != kRegion) continue;
        for (size_t i = 0; i < k; ++i) {
            const int64_t q = p + off[i];
            if (cells[q] == kCandidate) {
                cells[q] = kRegion;
                queue[tail++] = static_cast<uint32_t>(q);
            }
        }
    }
    for (int64_t head = 0; head < tail; ++head) {
        const int64_t p = queue[head];
        for (size_t i = 0; i < k; ++i) {
            const int64_t q = p + off[i];
            if (cells[q] == kCandidate) {
                cells[q] = kRegion;
                queue[tail++] = static_cast<uint32_t>(q);
            }
        }
    }
    return tail;
}

int64_t grow_by_passes(uint8_t* cells, int64_t count, const Neighbours& nb) {
    const int64_t* off = nb.offset;
    const size_t k = static_cast<size_t>(nb.count);
    int64_t total = 0, added;
    do {
        added = 0;
        for (int64_t p = 0; p < count; ++p)
            if (cells[p] == kCandidate && touches_region(cells + p, off, k)) {
                cells[p] = kRegion;
                ++added;
            }
        for (int64_t p = count - 1; p >= 0; --p)
            if (cells[p] == kCandidate && touches_region(cells + p, off, k)) {
                cells[p] = kRegion;
                ++added;
            }
        total += added;
    } while (added > 0);
    return total;
}

}  // namespace

int64_t grow_region(uint8_t* cells, int64_t count, const Neighbours& nb, uint32_t* queue) {
    return queue ? grow_by_queue(cells, count, nb, queue) : grow_by_passes(cells, count, nb);
}

}  // namespace qel

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

bool same_dims(const QelRawVolumeData* a, const QelRawVolumeData* b) {
    return a->size->nx == b->size->nx && a->size->ny == b->size->ny && a->size->nz == b->size->nz;
}

bool convertible(const QelRawVolumeData* vol, int channel) {
    return vol->attribute[channel] == QEL_ATTRIBUTE_PLAIN && QEL_IsValidVoxelUnit(vol->unit[channel]);
}

int refuse(const char* line) {
    fputs(line, stderr);
    return 0;
}

}  // namespace

int QEL_GrowSeedRegion(QelRawVolumeData* vol, int channel, const QelRawVolumeData* seedVol, int seedChannel,
                       const QelTypedValueRange* range, int connectivity) {
    if (!qel::has_channel(vol, channel)) return refuse("invalid channel ID\n");
    if (!qel::has_channel(seedVol, seedChannel)) return refuse("invalid seed channel ID\n");
    if (!same_dims(vol, seedVol)) return refuse("volume matrix mismatch\n");
    if (!convertible(seedVol, seedChannel)) return refuse("seed volume not ready\n");
    if (!convertible(vol, channel) || !range) return refuse("result volume not ready\n");

    const int nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    // The padded grid's indices must fit the 32-bit queue entries.
    const auto cellCount = qel::checked_voxels({int64_t{nx} + 2, int64_t{ny} + 2, int64_t{nz} + 2});
    const auto slice = qel::checked_voxels({nx, ny});
    if (!cellCount || !slice) return refuse("result volume not ready\n");
    const int px = nx + 2, py = ny + 2;
    const qel::Neighbours nb = qel::neighbours_of(connectivity, px, py);
    if (nb.count == 0) return refuse("result volume not ready\n");

    std::unique_ptr<uint8_t, FreeDeleter> cells(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(*cellCount), 1)));
    std::unique_ptr<uint8_t[]> seedSlice(new (std::nothrow) uint8_t[static_cast<size_t>(*slice)]);
    if (!cells || !seedSlice) return refuse("result volume not ready\n");
    qel::advise_huge_pages(cells.get(), static_cast<size_t>(*cellCount));

    // Seeds and candidates in one pass: a seed is the 8-bit value 1 of the seed channel, as the
    // unit conversion gives it; a candidate an in-range voxel that is not a seed.
    const int seedUnit = seedVol->unit[seedChannel];
    const size_t seedSliceBytes = static_cast<size_t>(*slice) * static_cast<size_t>(QEL_GetVoxelUnitSize(seedUnit));
    int64_t candidates = 0;
    qel::dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T lo = qel::value_as<T>(range->min), hi = qel::value_as<T>(range->max);
        const T* v = static_cast<const T*>(vol->data[channel]);
        const auto* seeds = static_cast<const unsigned char*>(seedVol->data[seedChannel]);
        for (int z = 0; z < nz; ++z) {
            QEL_ConvertVoxelArray(static_cast<int>(*slice), seeds + seedSliceBytes * static_cast<size_t>(z),
                                  seedSlice.get(), seedUnit, QEL_VOXEL_UNIT_UINT8, nullptr, nullptr,
                                  QEL_MAP_IDENTITY);
            const uint8_t* s = seedSlice.get();
            for (int y = 0; y < ny; ++y) {
                uint8_t* row = cells.get() + 1 + int64_t{px} * ((y + 1) + int64_t{py} * (z + 1));
                for (int x = 0; x < nx; ++x, ++v, ++s) {
                    const uint8_t c = *s == 1 ? qel::kRegion : qel::in_range(*v, lo, hi) ? qel::kCandidate
                                                                                          : qel::kNotEligible;
                    row[x] = c;
                    candidates += c == qel::kCandidate;
                }
            }
        }
    });

    std::unique_ptr<uint32_t, FreeDeleter> queue(
        static_cast<uint32_t*>(qel::grow_queue_alloc(static_cast<size_t>(candidates) * sizeof(uint32_t))));
    qel::advise_huge_pages(queue.get(), static_cast<size_t>(candidates) * sizeof(uint32_t));
    if (queue) {
        fprintf(stderr, "PositionArray-based\n");
        fprintf(stderr, "RP buffer prepared for %ld voxels\n", static_cast<long>(candidates));
    } else {
        fprintf(stderr, "Volume-based\n");
    }
    const int64_t grown = qel::grow_region(cells.get(), *cellCount, nb, queue.get());

    qel::dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* v = static_cast<T*>(vol->data[channel]);
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y) {
                const uint8_t* row = cells.get() + 1 + int64_t{px} * ((y + 1) + int64_t{py} * (z + 1));
                for (int x = 0; x < nx; ++x, ++v) *v = row[x] == qel::kRegion ? T(1) : T(0);
            }
    });
    return static_cast<int>(grown);
}

int QEL_GrowRegionFromVoxelList(QelRawVolumeData* vol, int channel, const QelTypedValueRange* range,
                                int connectivity, const QelVoxelList* seeds) {
    if (!vol || !vol->size || !seeds) return refuse("Seed volume not ready\n");
    const QelSize3i dims{vol->size->nx, vol->size->ny, vol->size->nz};
    QelRawVolumeData* seedVol = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN);
    if (!seedVol) return refuse("Seed volume not ready\n");
    auto* s = static_cast<uint8_t*>(seedVol->data[0]);
    const int listed = seeds->count < seeds->capacity ? seeds->count : seeds->capacity;
    for (int i = 0; i < listed; ++i) {
        const int x = seeds->x[i], y = seeds->y[i], z = seeds->z[i];
        if (x < 0 || y < 0 || z < 0 || x >= dims.nx || y >= dims.ny || z >= dims.nz) continue;
        s[x + int64_t{dims.nx} * (y + int64_t{dims.ny} * z)] = 1;
    }
    fprintf(stderr, "Seed voxels: %d\n", seeds->count);
    const int grown = QEL_GrowSeedRegion(vol, channel, seedVol, 0, range, connectivity);
    QEL_DeleteRawVolumeData(seedVol);
    return grown;
}

int QEL_GrowRegionBetweenRanges(QelRawVolumeData* vol, int channel, const QelTypedValueRange* seedRange,
                                const QelTypedValueRange* growRange, int connectivity) {
    if (!seedRange) return 0;
    QelRawVolumeData* seedVol = QEL_ExtractChannelOfRawVolumeData(vol, channel);
    if (!seedVol) return 0;
    QEL_SelectRangeOfChannel(seedVol, 0, seedRange);
    const int grown = QEL_GrowSeedRegion(vol, channel, seedVol, 0, growRange, connectivity);
    QEL_DeleteRawVolumeData(seedVol);
    return grown;
}
