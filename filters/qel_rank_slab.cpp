// The per-unit slab routines: the reference steps, and the choice of the vector routine
// that gives the same output fastest on this CPU.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "filters/qel_rank.h"
#include "filters/qel_rank_network.hpp"
#include "filters/qel_rank_slab.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_cpu.hpp"

namespace qel {

bool make_slab_args(const int* size, const QelKernel* kernel, int margin, SlabArgs* args) {
    if (!size || !kernel || !kernel->points || !args) return false;
    const QelVoxelList* pts = kernel->points;
    if (margin < 0 || pts->count < 0 || pts->count > pts->capacity) return false;
    if (pts->count > 0 && !pts->offset) return false;
    SlabArgs a;
    // A size word of 0 or less runs its loop zero times.
    a.nx = size[0] > 0 ? size[0] : 0;
    a.ny = size[1] > 0 ? size[1] : 0;
    a.slices = size[2] > 0 ? size[2] : 0;
    a.margin = margin;
    a.n = pts->count;
    a.offset = pts->offset;
    a.rowStride = int64_t{a.nx} + 2 * int64_t{a.margin};
    a.sliceStride = a.rowStride * (int64_t{a.ny} + 2 * int64_t{a.margin});
    *args = a;
    return true;
}

namespace {

RankPath resolve(RankPath path) {
    if (path == RankPath::best) return cpu_has_avx2() ? RankPath::vec256 : RankPath::vec128;
    if (path == RankPath::vec256 && !cpu_has_avx2()) return RankPath::vec128;
    return path;
}

template <class T>
void exact_rank_slab(T* dst, const SlabArgs& a, const T* src, int rank, float* buf) {
    for (int z = 0; z < a.slices; ++z)
        for (int y = 0; y < a.ny; ++y) {
            const T* s = src + a.row_start(y, z);
            T* d = dst + (int64_t{z} * a.ny + y) * a.nx;
            for (int x = 0; x < a.nx; ++x) d[x] = exact_rank_voxel(s + x, a, rank, buf);
        }
}

// Strict comparisons in the unit's own type: a NaN never replaces the running value and a
// NaN centre is never replaced; of two equal zeros the first one met stays.
template <class T, bool Max>
void exact_extreme_slab(T* dst, const SlabArgs& a, const T* src) {
    for (int z = 0; z < a.slices; ++z)
        for (int y = 0; y < a.ny; ++y) {
            const T* s = src + a.row_start(y, z);
            T* d = dst + (int64_t{z} * a.ny + y) * a.nx;
            for (int x = 0; x < a.nx; ++x) {
                const T* c = s + x;
                T v = *c;
                for (int k = 1; k < a.n; ++k) {
                    const T e = c[a.offset[k]];
                    if (Max ? e > v : e < v) v = e;
                }
                d[x] = v;
            }
        }
}

}  // namespace

bool has_fixed_network(int n, int rank) {
#define QEL_RANK_FIXED(N, R) \
    if (n == N && rank == R) return true;
    QEL_RANK_FIXED_NETWORKS(QEL_RANK_FIXED)
#undef QEL_RANK_FIXED
    return false;
}

bool RankScratch::allocate(int count, int rank) {
    release();
    if (count < 1 || rank < 0 || rank >= count) return false;
    n = count;
    buf = static_cast<float*>(std::malloc(sizeof(float) * count));
    if (!buf) return false;
    if (count > kMaxNetworkPoints) {
        keys = std::malloc(sizeof(double) * count);
        return keys != nullptr;
    }
    if (has_fixed_network(count, rank)) return true;
    ops = static_cast<NetOp*>(std::malloc(sizeof(NetOp) * batcher_size(count)));
    wires = std::aligned_alloc(32, 32 * static_cast<size_t>(count));
    bool* need = static_cast<bool*>(std::malloc(sizeof(bool) * count));
    if (!ops || !wires || !need) {
        std::free(need);
        release();
        return false;
    }
    opCount = selection_network(count, rank, ops, need);
    std::free(need);
    return true;
}

void RankScratch::release() {
    std::free(buf);
    std::free(keys);
    std::free(ops);
    std::free(wires);
    buf = nullptr;
    keys = nullptr;
    ops = nullptr;
    wires = nullptr;
    opCount = 0;
    n = 0;
}

bool rank_path_available(RankPath path) {
    return path != RankPath::vec256 || cpu_has_avx2();
}

template <class T>
void rank_slab(RankPath path, T* dst, const SlabArgs& a, const T* src, int rank, RankScratch& s) {
    switch (resolve(path)) {
        case RankPath::vec256: rank_vec256::rank_slab(dst, a, src, rank, s); break;
        case RankPath::vec128: rank_vec128::rank_slab(dst, a, src, rank, s); break;
        default: exact_rank_slab(dst, a, src, rank, s.buf); break;
    }
}

template <class T>
bool rank_slab(RankPath path, T* dst, const SlabArgs& a, const T* src, int rank) {
    RankScratch s;
    if (!s.allocate(a.n, rank)) return false;
    rank_slab(path, dst, a, src, rank, s);
    return true;
}

template <class T>
void min_slab(RankPath path, T* dst, const SlabArgs& a, const T* src) {
    switch (resolve(path)) {
        case RankPath::vec256: rank_vec256::min_slab(dst, a, src); break;
        case RankPath::vec128: rank_vec128::min_slab(dst, a, src); break;
        default: exact_extreme_slab<T, false>(dst, a, src); break;
    }
}

template <class T>
void max_slab(RankPath path, T* dst, const SlabArgs& a, const T* src) {
    switch (resolve(path)) {
        case RankPath::vec256: rank_vec256::max_slab(dst, a, src); break;
        case RankPath::vec128: rank_vec128::max_slab(dst, a, src); break;
        default: exact_extreme_slab<T, true>(dst, a, src); break;
    }
}

#define QEL_RANK_SLAB_INSTANTIATE(T)                                               \
    template bool rank_slab<T>(RankPath, T*, const SlabArgs&, const T*, int);     \
    template void rank_slab<T>(RankPath, T*, const SlabArgs&, const T*, int, RankScratch&); \
    template void min_slab<T>(RankPath, T*, const SlabArgs&, const T*);           \
    template void max_slab<T>(RankPath, T*, const SlabArgs&, const T*);
QEL_RANK_SLAB_INSTANTIATE(uint8_t)
QEL_RANK_SLAB_INSTANTIATE(int8_t)
QEL_RANK_SLAB_INSTANTIATE(uint16_t)
QEL_RANK_SLAB_INSTANTIATE(int16_t)
QEL_RANK_SLAB_INSTANTIATE(uint32_t)
QEL_RANK_SLAB_INSTANTIATE(int32_t)
QEL_RANK_SLAB_INSTANTIATE(float)
QEL_RANK_SLAB_INSTANTIATE(double)
#undef QEL_RANK_SLAB_INSTANTIATE

}  // namespace qel

// The named members: thin instantiations. A size, kernel or pointer that cannot describe
// a slab writes nothing.
#define QEL_RANK_SLAB_NAMES(Suffix, T)                                                             \
    void QEL_RankFilterSlab_##Suffix(T* dst, const int* size, const QelKernel* kernel, const T* src, \
                                     int rank) {                                                   \
        qel::SlabArgs a;                                                                           \
        if (!qel::make_slab_args(size, kernel, &a) || !dst || !src) return;                        \
        qel::rank_slab(qel::RankPath::best, dst, a, src, rank);                                    \
    }                                                                                              \
    void QEL_MinimumFilterSlab_##Suffix(T* dst, const int* size, const QelKernel* kernel, const T* src) { \
        qel::SlabArgs a;                                                                           \
        if (!qel::make_slab_args(size, kernel, &a) || !dst || !src) return;                        \
        qel::min_slab(qel::RankPath::best, dst, a, src);                                           \
    }                                                                                              \
    void QEL_MaximumFilterSlab_##Suffix(T* dst, const int* size, const QelKernel* kernel, const T* src) { \
        qel::SlabArgs a;                                                                           \
        if (!qel::make_slab_args(size, kernel, &a) || !dst || !src) return;                        \
        qel::max_slab(qel::RankPath::best, dst, a, src);                                           \
    }
QEL_RANK_SLAB_NAMES(Uint8, uint8_t)
QEL_RANK_SLAB_NAMES(Int8, int8_t)
QEL_RANK_SLAB_NAMES(Uint16, uint16_t)
QEL_RANK_SLAB_NAMES(Int16, int16_t)
QEL_RANK_SLAB_NAMES(Uint32, uint32_t)
QEL_RANK_SLAB_NAMES(Int32, int32_t)
QEL_RANK_SLAB_NAMES(Float32, float)
QEL_RANK_SLAB_NAMES(Float64, double)
#undef QEL_RANK_SLAB_NAMES
