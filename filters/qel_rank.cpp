// Rank-filter drivers: pad, run the slab routines (in POSIX threads for the threaded
// build), put the result into the channel.
#include "filters/qel_rank.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filters/qel_rank_slab.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_pad.h"
#include "volume/qel_unit_dispatch.hpp"

namespace {

enum class SlabKind { rank, minimum, maximum };

// Result of a thread routine whose slab could not get its scratch memory.
char slab_failed_marker;

// The active points, and a margin that covers all of them: the slab routines read every
// neighbour without a bounds test.
bool kernel_usable(const QelKernel* kernel) {
    if (!kernel || !kernel->points) return false;
    const QelVoxelList* pts = kernel->points;
    const int m = kernel->margin;
    if (m < 0 || pts->count < 1 || pts->count > pts->capacity) return false;
    if (!pts->x || !pts->y || !pts->z || !pts->offset) return false;
    for (int k = 0; k < pts->count; ++k) {
        if (pts->x[k] < -m || pts->x[k] > m) return false;
        if (pts->y[k] < -m || pts->y[k] > m) return false;
        if (pts->z[k] < -m || pts->z[k] > m) return false;
    }
    return true;
}

bool channel_usable(const QelRawVolumeData* vol, int channel) {
    return vol && vol->size && vol->unit && vol->data && channel >= 0 && channel < vol->size->nChannels &&
           vol->data[channel] != nullptr && QEL_IsValidVoxelUnit(vol->unit[channel]);
}

// The padded grid, refused when it would not fit the record's 32-bit voxel count (the
// kernel's offsets are ints too).
bool padded_dims(const QelRawVolumeData* vol, int m, QelSize3i* dims) {
    const int64_t nx = int64_t{vol->size->nx} + 2 * int64_t{m};
    const int64_t ny = int64_t{vol->size->ny} + 2 * int64_t{m};
    const int64_t nz = int64_t{vol->size->nz} + 2 * int64_t{m};
    if (!qel::checked_voxels({nx, ny, nz})) return false;
    *dims = QelSize3i{static_cast<int>(nx), static_cast<int>(ny), static_cast<int>(nz)};
    return true;
}

// One slab of any unit; false when the rank slab could not get its scratch memory.
bool run_slab(SlabKind kind, int unit, void* dst, const int* size, const QelKernel* kernel, const void* src,
              int rank) {
    qel::SlabArgs a;
    if (!qel::make_slab_args(size, kernel, &a)) return true;
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

// The single-threaded filters: a replicated copy of the channel is the source, the channel
// itself the destination, so no result feeds a neighbour's computation.
int single_threaded(SlabKind kind, QelRawVolumeData* vol, int channel, QelKernel* kernel, int rank) {
    if (!kernel || !vol) return -1;
    if (!channel_usable(vol, channel) || !kernel_usable(kernel)) return -1;
    if (kind == SlabKind::rank && (rank < 0 || rank >= kernel->points->count)) return -1;
    const int m = kernel->margin;
    QelSize3i padded;
    if (!padded_dims(vol, m, &padded)) {
        fputs(kNoMemory, stderr);
        return -1;
    }
    QEL_SetKernelOffsets(kernel, &padded);
    QelRawVolumeData* copy = QEL_ExtractChannelOfRawVolumeData(vol, channel);
    if (!copy) {
        fputs(kNoMemory, stderr);
        return -1;
    }
    if (QEL_ExpandRawVolumeData(copy, m, QEL_PAD_REPLICATE) != 0) {
        fputs(kNoMemory, stderr);
        QEL_DeleteRawVolumeData(copy);
        return -1;
    }
    const int size[3] = {vol->size->nx, vol->size->ny, vol->size->nz};
    const bool ok = run_slab(kind, vol->unit[channel], vol->data[channel], size, kernel, copy->data[0], rank);
    QEL_DeleteRawVolumeData(copy);
    return ok ? 0 : -1;
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
    if (!channel_usable(vol, channel) || !kernel_usable(kernel)) return -1;
    const int n = kernel->points->count;
    if (rank < 0 || rank >= n) return -1;
    if (threads < 1) threads = 1;
    const int nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    const int m = kernel->margin;
    const int unit = vol->unit[channel];
    const int64_t bytes = QEL_GetVoxelUnitSize(unit);

    const QelSize3i dims{nx, ny, nz};
    QelSize3i padded;
    QelRawVolumeData* out = nullptr;
    if (padded_dims(vol, m, &padded))
        out = QEL_NewSingleChannelRawVolumeData(&dims, unit, vol->attribute ? vol->attribute[channel] : 0);
    if (!out) {
        fputs(kNoMemoryMT, stderr);
        return -1;
    }
    // Only the filtered channel is padded (mirror borders): the other channels are never
    // copied, and the volume itself never changes shape, so nothing can leave it padded.
    QelRawVolumeData* src = QEL_ExtractChannelOfRawVolumeData(vol, channel);
    if (!src || QEL_ExpandRawVolumeData(src, m, QEL_PAD_MIRROR) != 0) {
        fputs(kNoMemoryMT, stderr);
        QEL_DeleteRawVolumeData(src);
        QEL_DeleteRawVolumeData(out);
        return -1;
    }
    QEL_SetKernelOffsets(kernel, &padded);

    pthread_t* handles = static_cast<pthread_t*>(calloc(static_cast<size_t>(threads), sizeof(pthread_t)));
    bool* started = static_cast<bool*>(calloc(static_cast<size_t>(threads), sizeof(bool)));
    QelRankFilterTask** inline_tasks =
        static_cast<QelRankFilterTask**>(calloc(static_cast<size_t>(threads), sizeof(QelRankFilterTask*)));
    if (!handles || !started || !inline_tasks) {
        fprintf(stderr, "QEL_RankFilter_MT: not enough memmory for create %d threads\n", threads);
        free(handles);
        free(started);
        free(inline_tasks);
        QEL_DeleteRawVolumeData(src);
        QEL_DeleteRawVolumeData(out);
        return -1;
    }

    void* (*routine)(void*) = rank == 0       ? QEL_MinimumFilterThread
                              : rank == n - 1 ? QEL_MaximumFilterThread
                                              : QEL_RankFilterThread;
    const int per = nz / threads;
    const int64_t paddedSlice = int64_t{padded.nx} * padded.ny;
    const int64_t outSlice = int64_t{nx} * ny;
    char* srcBase = static_cast<char*>(src->data[0]);
    char* dstBase = static_cast<char*>(out->data[0]);
    bool failed = false;
    for (int t = 0; t < threads; ++t) {
        QelRankFilterTask* task = static_cast<QelRankFilterTask*>(malloc(sizeof(QelRankFilterTask)));
        if (!task) {
            fputs(kNoMemoryMT, stderr);
            failed = true;
            break;
        }
        const int64_t first = int64_t{t} * per;
        task->unit = unit;
        task->src = srcBase + first * paddedSlice * bytes;
        task->dst = dstBase + first * outSlice * bytes;
        task->rank = rank;
        task->nx = nx;
        task->ny = ny;
        task->slices = t < threads - 1 ? per : nz - (threads - 1) * per;
        task->kernel = kernel;
        const int e = pthread_create(&handles[t], nullptr, routine, task);
        if (e != 0) {
            fprintf(stderr, "Warning: thread creation err (%d)\n", e);
            inline_tasks[t] = task;  // computed below on this thread
        } else {
            started[t] = true;
        }
    }
    // Slabs whose thread did not start run here, alongside the threads that did.
    for (int t = 0; t < threads; ++t)
        if (inline_tasks[t] && routine(inline_tasks[t]) != nullptr) failed = true;
    for (int t = 0; t < threads; ++t) {
        if (!started[t]) continue;
        void* result = nullptr;
        pthread_join(handles[t], &result);
        if (result != nullptr) failed = true;
    }
    free(handles);
    free(started);
    free(inline_tasks);
    QEL_DeleteRawVolumeData(src);
    if (failed) {
        QEL_DeleteRawVolumeData(out);
        return -1;
    }
    QEL_SwapChannelsOfRawVolumeData(vol, channel, out, 0);
    QEL_DeleteRawVolumeData(out);
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
