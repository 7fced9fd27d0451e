// Rank-filter drivers: borders, the slab routines (in POSIX threads for the threaded build)
// and the results written into the channel.
#include "filters/qel_rank.h"

#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "filters/qel_rank_slab.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_pad.h"
#include "volume/qel_record_ops.hpp"
#include "volume/qel_region.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

enum class SlabKind { rank, minimum, maximum };

// Result of a thread routine whose slab could not get its scratch memory.
char slab_failed_marker;

// How far the drivers pad: the kernel's margin, widened to its farthest point, so that the
// slab routines, which read every neighbour without a bounds test, stay inside the padded
// block. -1 when the kernel has no usable points.
int64_t kernel_reach(const QelKernel* kernel) {
    if (!kernel || !kernel->points) return -1;
    const QelVoxelList* pts = kernel->points;
    if (pts->count < 1 || pts->count > pts->capacity) return -1;
    if (!pts->x || !pts->y || !pts->z || !pts->offset) return -1;
    int64_t reach = kernel->margin > 0 ? kernel->margin : 0;
    for (int k = 0; k < pts->count; ++k)
        for (const int64_t c : {int64_t{pts->x[k]}, int64_t{pts->y[k]}, int64_t{pts->z[k]}})
            reach = std::max(reach, c < 0 ? -c : c);
    return reach;
}

bool channel_usable(const QelRawVolumeData* vol, int channel) {
    return qel::has_channel(vol, channel) && vol->data[channel] != nullptr && QEL_IsValidVoxelUnit(vol->unit[channel]);
}

// The padded grid, refused when it would not fit the record's 32-bit voxel count (the
// kernel's offsets are ints too).
bool padded_dims(const QelRawVolumeData* vol, int64_t m, QelSize3i* dims) {
    const int64_t nx = int64_t{vol->size->nx} + 2 * m;
    const int64_t ny = int64_t{vol->size->ny} + 2 * m;
    const int64_t nz = int64_t{vol->size->nz} + 2 * m;
    if (!qel::checked_voxels({nx, ny, nz})) return false;
    *dims = QelSize3i{static_cast<int>(nx), static_cast<int>(ny), static_cast<int>(nz)};
    return true;
}

// One slab of any unit; false when the rank slab could not get its scratch memory. Like the
// named slab routines, a size, kernel or pointer that cannot describe a slab writes nothing.
bool run_slab(SlabKind kind, int unit, void* dst, const int* size, const QelKernel* kernel, const void* src,
              int rank) {
    qel::SlabArgs a;
    if (!qel::make_slab_args(size, kernel, &a) || !dst || !src) return true;
    bool ok = true;
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* d = static_cast<T*>(dst);
        const T* s = static_cast<const T*>(src);
        switch (kind) {
            case SlabKind::rank: ok = qel::rank_slab(qel::RankPath::best, d, a, s, rank); break;
            case SlabKind::minimum: qel::min_slab(qel::RankPath::best, d, a, s); break;
            case SlabKind::maximum: qel::max_slab(qel::RankPath::best, d, a, s); break;
        }
    });
    return ok;
}

void* run_task(SlabKind kind, void* arg) {
    QelRankFilterTask* task = static_cast<QelRankFilterTask*>(arg);
    if (!task) return nullptr;
    const int size[3] = {task->nx, task->ny, task->slices};
    const bool ok = run_slab(kind, task->unit, task->dst, size, task->kernel, task->src, task->rank);
    free(task);
    return ok ? nullptr : &slab_failed_marker;
}

int median_rank(const QelKernel* kernel) {
    // Odd counts: the middle; even counts: the upper of the two middle values.
    return kernel->points ? kernel->points->count / 2 : 0;
}

int last_rank(const QelKernel* kernel) {
    return kernel->points ? kernel->points->count - 1 : -1;
}

const char kInvalidKernel[] = "QEL_RankFilter_MT: Invalid kernel(==NULL) error\n";
const char kNoMemoryMT[] = "QEL_RankFilter_MT: not enough memory error\n";
const char kNoMemory[] = "Insufficient memory\n";

// Source index of position s (-m <= s < n + m) on an axis of n voxels, for the mirror or
// replicate border of the filter.
int border_index(int s, int n, int mode) { return static_cast<int>(qel::border_source(s, n, mode)); }

// One worker of a filter: a run of whole z-slices of the channel, filtered in place.
//
// The padded block is never built whole: the worker keeps a window of consecutive padded
// slices (x and y borders filled) and slides it along its run, so each source slice is
// copied once and stays in cache while it is read, and no volume-sized block is allocated.
// Results go straight into the channel. That is safe because a worker reads its own slices
// only ahead of what it has written, and every slice outside its run (neighbours' slices and
// the z borders) comes from a copy taken before any worker starts.
struct Worker {
    SlabKind kind = SlabKind::rank;
    int mode = QEL_PAD_MIRROR;
    int unit = 0;
    int rank = 0;
    const QelKernel* kernel = nullptr;
    int nx = 0, ny = 0, nz = 0, m = 0;
    int64_t bytes = 0;
    char* channel = nullptr;
    int zStart = 0, zEnd = 0;
    int chunk = 0;               // output slices per window position
    char* window = nullptr;      // chunk + 2m padded slices
    int64_t windowSize = 0;      // bytes, rounded up
    char* halo = nullptr;        // 2m source slices: z in [zStart - m, zStart) and [zEnd, zEnd + m)
    int* xIndex = nullptr;       // source column of every padded column
    int* yIndex = nullptr;       // source row of every padded row
    qel::RankScratch scratch;
    bool failed = false;

    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() {
        free(xIndex);
        free(yIndex);
    }

    int64_t slice_elems() const { return int64_t{nx} * ny; }
    int64_t padded_slice_elems() const { return (int64_t{nx} + 2 * m) * (int64_t{ny} + 2 * m); }

    // Chooses the window and returns the bytes of window and halo together (a multiple of
    // 64); -1 when they cannot be counted.
    int64_t layout() {
        const int slices = zEnd - zStart;
        if (slices <= 0) return 0;
        const int64_t padded = padded_slice_elems() * bytes;
        // About 8 MiB of window, at least 4 slices per move so that the 2m slices carried
        // over stay a small part of the copying.
        const int64_t budget = int64_t{8} << 20;
        int64_t c = budget / (padded > 0 ? padded : 1) - 2 * int64_t{m};
        c = c < 4 ? 4 : (c > 32 ? 32 : c);
        chunk = static_cast<int>(c < slices ? c : slices);
        auto windowBytes = qel::checked_product({int64_t{chunk} + 2 * int64_t{m}, padded});
        auto haloBytes = qel::checked_product({2 * int64_t{m}, slice_elems(), bytes});
        if (!windowBytes || !haloBytes) return -1;
        windowSize = (*windowBytes + 63) / 64 * 64;
        auto total = qel::checked_sum(windowSize, (*haloBytes + 63) / 64 * 64);
        return total ? *total : -1;
    }

    // Everything else the run needs, and the copies of the slices outside it, with window
    // and halo at the start of `block` (layout() bytes). False: no memory.
    bool prepare(char* block) {
        if (zEnd - zStart <= 0) return true;
        window = block;
        halo = block + windowSize;
        xIndex = static_cast<int*>(malloc(sizeof(int) * (static_cast<size_t>(nx) + 2 * m)));
        yIndex = static_cast<int*>(malloc(sizeof(int) * (static_cast<size_t>(ny) + 2 * m)));
        if (!xIndex || !yIndex) return false;
        if (kind == SlabKind::rank && !scratch.allocate(kernel->points->count, rank)) return false;
        for (int q = 0; q < nx + 2 * m; ++q) xIndex[q] = border_index(q - m, nx, mode);
        for (int q = 0; q < ny + 2 * m; ++q) yIndex[q] = border_index(q - m, ny, mode);
        const int64_t sliceBytes = slice_elems() * bytes;
        for (int i = 0; i < m; ++i) {
            memcpy(halo + i * sliceBytes, channel + border_index(zStart - m + i, nz, mode) * sliceBytes, sliceBytes);
            memcpy(halo + (m + i) * sliceBytes, channel + border_index(zEnd + i, nz, mode) * sliceBytes, sliceBytes);
        }
        return true;
    }

    // Source slice z (unpadded coordinates, zStart - m <= z < zEnd + m).
    const char* source_slice(int z) const {
        const int64_t sliceBytes = slice_elems() * bytes;
        if (z < zStart) return halo + (z - (zStart - m)) * sliceBytes;
        if (z >= zEnd) return halo + (m + z - zEnd) * sliceBytes;
        return channel + z * sliceBytes;
    }

    template <class T>
    void fill_padded_slice(T* dst, const T* src) const {
        const int px = nx + 2 * m;
        for (int q = 0; q < ny + 2 * m; ++q) {
            const T* row = src + int64_t{yIndex[q]} * nx;
            T* out = dst + int64_t{q} * px;
            for (int i = 0; i < m; ++i) out[i] = row[xIndex[i]];
            memcpy(out + m, row, sizeof(T) * nx);
            for (int i = nx + m; i < px; ++i) out[i] = row[xIndex[i]];
        }
    }

    template <class T>
    void run_typed() {
        const int slices = zEnd - zStart;
        if (slices <= 0) return;
        const int64_t ps = padded_slice_elems();
        T* win = reinterpret_cast<T*>(window);
        T* out = reinterpret_cast<T*>(channel);
        // Window slice i holds source slice z0 - m + i.
        int z0 = zStart;
        int c = chunk < slices ? chunk : slices;
        for (int i = 0; i < c + 2 * m; ++i)
            fill_padded_slice(win + i * ps, reinterpret_cast<const T*>(source_slice(z0 - m + i)));
        for (;;) {
            const int size[3] = {nx, ny, c};
            qel::SlabArgs a;
            qel::make_slab_args(size, kernel, m, &a);
            T* dst = out + int64_t{z0} * slice_elems();
            switch (kind) {
                case SlabKind::rank: qel::rank_slab(qel::RankPath::best, dst, a, win, rank, scratch); break;
                case SlabKind::minimum: qel::min_slab(qel::RankPath::best, dst, a, win); break;
                case SlabKind::maximum: qel::max_slab(qel::RankPath::best, dst, a, win); break;
            }
            z0 += c;
            if (z0 >= zEnd) return;
            // Carry the last 2m slices over; read the next ones, all ahead of what is written.
            memmove(win, win + int64_t{c} * ps, sizeof(T) * 2 * m * ps);
            c = chunk < zEnd - z0 ? chunk : zEnd - z0;
            for (int i = 0; i < c; ++i)
                fill_padded_slice(win + (2 * m + i) * ps, reinterpret_cast<const T*>(source_slice(z0 + m + i)));
        }
    }

    void run() {
        qel::dispatch_unit_void(unit, [&](auto tag) { run_typed<typename decltype(tag)::type>(); });
    }
};

void* run_worker(void* arg) {
    static_cast<Worker*>(arg)->run();
    return nullptr;
}

struct Workers {
    Worker* list = nullptr;
    int count = 0;
    char* block = nullptr;  // windows and halos of all workers
    ~Workers() {
        delete[] list;
        free(block);
    }
};

// Splits the channel into `threads` runs of z-slices (nz / threads each, the rest to the
// last) and prepares them. 0; -1 when memory runs out (nothing changed).
int make_workers(Workers& w, SlabKind kind, int mode, QelRawVolumeData* vol, int channel, const QelKernel* kernel,
                 int m, int rank, int threads) {
    w.list = new (std::nothrow) Worker[threads];
    if (!w.list) return -1;
    w.count = threads;
    const int nz = vol->size->nz;
    const int per = nz / threads;
    for (int t = 0; t < threads; ++t) {
        Worker& k = w.list[t];
        k.kind = kind;
        k.mode = mode;
        k.unit = vol->unit[channel];
        k.rank = rank;
        k.kernel = kernel;
        k.nx = vol->size->nx;
        k.ny = vol->size->ny;
        k.nz = nz;
        k.m = m;
        k.bytes = QEL_GetVoxelUnitSize(k.unit);
        k.channel = static_cast<char*>(vol->data[channel]);
        k.zStart = t * per;
        k.zEnd = t < threads - 1 ? (t + 1) * per : nz;
    }
    // One block for all windows and halos: repeated calls get it back from the heap instead
    // of mapping fresh pages each time. Its size follows the kernel's margin, that is a radius
    // from a command line, so it is held to the memory bound.
    int64_t total = 0;
    for (int t = 0; t < threads; ++t) {
        const int64_t bytes = w.list[t].layout();
        auto sum = bytes < 0 ? std::nullopt : qel::checked_sum(total, bytes);
        if (!sum) return -1;
        total = *sum;
    }
    if (!qel::fits_memory(total)) return -1;
    w.block = static_cast<char*>(aligned_alloc(64, static_cast<size_t>(total > 0 ? total : 64)));
    if (!w.block) return -1;
    int64_t at = 0;
    for (int t = 0; t < threads; ++t) {
        const int64_t bytes = w.list[t].layout();
        if (!w.list[t].prepare(w.block + at)) return -1;
        at += bytes;
    }
    return 0;
}

// Common checks; sets the kernel's offsets for the grid padded by its reach, which goes to
// *margin. 0 or -1.
int check_and_set_offsets(QelRawVolumeData* vol, int channel, QelKernel* kernel, SlabKind kind, int rank,
                          const char* memoryMessage, int* margin) {
    const int64_t reach = kernel_reach(kernel);
    if (!channel_usable(vol, channel) || reach < 0) return -1;
    if (kind == SlabKind::rank && (rank < 0 || rank >= kernel->points->count)) return -1;
    if (vol->size->nx < 1 || vol->size->ny < 1 || vol->size->nz < 1) return -1;
    QelSize3i padded;
    if (!padded_dims(vol, reach, &padded)) {
        fputs(memoryMessage, stderr);
        return -1;
    }
    QEL_SetKernelOffsets(kernel, &padded);
    *margin = static_cast<int>(reach);  // fits: the padded grid does
    return 0;
}

// The single-threaded filters: replicated borders, one worker on the calling thread. Every
// result is computed from the channel as it was before the call.
int single_threaded(SlabKind kind, QelRawVolumeData* vol, int channel, QelKernel* kernel, int rank) {
    if (!kernel || !vol) return -1;
    int m = 0;
    if (check_and_set_offsets(vol, channel, kernel, kind, rank, kNoMemory, &m) != 0) return -1;
    Workers w;
    if (make_workers(w, kind, QEL_PAD_REPLICATE, vol, channel, kernel, m, rank, 1) != 0) {
        fputs(kNoMemory, stderr);
        return -1;
    }
    w.list[0].run();
    return 0;
}

}  // namespace

void* QEL_MinimumFilterThread(void* task) {
    return run_task(SlabKind::minimum, task);
}

void* QEL_MaximumFilterThread(void* task) {
    return run_task(SlabKind::maximum, task);
}

void* QEL_RankFilterThread(void* task) {
    return run_task(SlabKind::rank, task);
}

int QEL_RankFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int rank, int threads) {
    if (!kernel) {
        fputs(kInvalidKernel, stderr);
        return -1;
    }
    if (threads < 1) threads = 1;
    const int n = kernel_reach(kernel) >= 0 ? kernel->points->count : 0;
    const SlabKind kind = rank == 0 ? SlabKind::minimum : rank == n - 1 ? SlabKind::maximum : SlabKind::rank;
    if (rank < 0 || rank >= n) return -1;
    int m = 0;
    if (check_and_set_offsets(vol, channel, kernel, kind, rank, kNoMemoryMT, &m) != 0) return -1;

    pthread_t* handles = static_cast<pthread_t*>(calloc(static_cast<size_t>(threads), sizeof(pthread_t)));
    bool* started = static_cast<bool*>(calloc(static_cast<size_t>(threads), sizeof(bool)));
    if (!handles || !started) {
        fprintf(stderr, "QEL_RankFilter_MT: not enough memmory for create %d threads\n", threads);
        free(handles);
        free(started);
        return -1;
    }
    Workers w;
    if (make_workers(w, kind, QEL_PAD_MIRROR, vol, channel, kernel, m, rank, threads) != 0) {
        fputs(kNoMemoryMT, stderr);
        free(handles);
        free(started);
        return -1;
    }
    for (int t = 0; t < threads; ++t) {
        const int e = pthread_create(&handles[t], nullptr, run_worker, &w.list[t]);
        if (e != 0)
            fprintf(stderr, "Warning: thread creation err (%d)\n", e);
        else
            started[t] = true;
    }
    // Runs whose thread did not start are filtered here, alongside the threads that did.
    for (int t = 0; t < threads; ++t)
        if (!started[t]) w.list[t].run();
    for (int t = 0; t < threads; ++t)
        if (started[t]) pthread_join(handles[t], nullptr);
    free(handles);
    free(started);
    return 0;
}

int QEL_MedianFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int threads) {
    if (!kernel) {
        fputs(kInvalidKernel, stderr);
        return -1;
    }
    return QEL_RankFilter_MT(vol, channel, kernel, median_rank(kernel), threads);
}

int QEL_MinimumFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int threads) {
    if (!kernel) {
        fputs(kInvalidKernel, stderr);
        return -1;
    }
    return QEL_RankFilter_MT(vol, channel, kernel, 0, threads);
}

int QEL_MaximumFilter_MT(QelRawVolumeData* vol, int channel, QelKernel* kernel, int threads) {
    if (!kernel) {
        fputs(kInvalidKernel, stderr);
        return -1;
    }
    return QEL_RankFilter_MT(vol, channel, kernel, last_rank(kernel), threads);
}

int QEL_RankFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel, int rank) {
    return single_threaded(SlabKind::rank, vol, channel, kernel, rank);
}

int QEL_MedianFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel) {
    if (!kernel) return -1;
    return single_threaded(SlabKind::rank, vol, channel, kernel, median_rank(kernel));
}

int QEL_MinimumFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel) {
    return single_threaded(SlabKind::minimum, vol, channel, kernel, 0);
}

int QEL_MaximumFilter(QelRawVolumeData* vol, int channel, QelKernel* kernel) {
    return single_threaded(SlabKind::maximum, vol, channel, kernel, 0);
}
