// Internal: the per-unit rank-filter slab routines behind the QEL_...FilterSlab_* names.
// The exact routines follow the reference steps literally (gather as float, sort, pick);
// the vector routines select the same element faster and fall back to the exact steps
// wherever a NaN or a negative zero could make the result depend on the sort's order.
#pragma once
#include <cstdint>
#include <type_traits>

#include "volume/qel_kernel.h"
#include "filters/qel_rank.h"
#include "volume/qel_store.hpp"

namespace qel {

struct NetOp;

// QEL_SortFloats on a 0-based buffer (element i of the sort is buf[i - 1]), so that no
// pointer before the buffer is ever formed.
void sort_floats(uint32_t n, float* buf);

// Value of a voxel as the rank family compares it.
template <class T>
inline float rank_key(T v) {
    return static_cast<float>(v);  // unsigned 32-bit stays positive; doubles are narrowed
}

// The chosen float back in the unit. Integer units truncate toward zero and keep the low
// bits, except that a 32-bit value rounded up past the unit's maximum saturates there
// (a plateau of 0xFFFFFFFF keeps its value instead of wrapping to 0).
template <class T>
inline T rank_store(float f) {
    if constexpr (std::is_same_v<T, uint32_t>) {
        if (f >= 4294967296.0f) return UINT32_MAX;
    } else if constexpr (std::is_same_v<T, int32_t>) {
        if (f >= 2147483648.0f) return INT32_MAX;
    }
    return store_real<T>(static_cast<double>(f));
}

// What a slab call works with: the output extent, the margin and the kernel's active
// points as offsets in the padded grid.
struct SlabArgs {
    int nx = 0, ny = 0, slices = 0;
    int margin = 0;
    int n = 0;  // active points
    const int* offset = nullptr;
    int64_t rowStride = 0;    // nx + 2m
    int64_t sliceStride = 0;  // (nx + 2m) * (ny + 2m)

    // Padded element of output voxel (0, y, z).
    int64_t row_start(int y, int z) const {
        return (z + margin) * sliceStride + (y + margin) * rowStride + margin;
    }
};

// False when the size, kernel or pointers cannot describe a slab. The padded block is
// `margin` wider on every side (the kernel's own margin when not given).
bool make_slab_args(const int* size, const QelKernel* kernel, int margin, SlabArgs* args);
inline bool make_slab_args(const int* size, const QelKernel* kernel, SlabArgs* args) {
    return kernel && make_slab_args(size, kernel, kernel->margin, args);
}

// Everything a rank slab needs besides its input and output, obtained before the first
// voxel is written, so that a filter either gets all of it or changes nothing.
struct RankScratch {
    int n = 0;
    float* buf = nullptr;       // n floats: the reference steps
    void* keys = nullptr;       // n keys of up to 8 bytes: per-voxel selection
    NetOp* ops = nullptr;        // generated selection network
    int opCount = 0;
    void* wires = nullptr;      // n vectors of up to 32 bytes, 32-byte aligned

    RankScratch() = default;
    RankScratch(const RankScratch&) = delete;
    RankScratch& operator=(const RankScratch&) = delete;
    ~RankScratch() { release(); }
    bool allocate(int n, int rank);
    void release();
};

// Neighbourhoods up to this size run as a selection network; past it a per-voxel
// selection is faster. Some sizes have networks fixed at compile time.
constexpr int kMaxNetworkPoints = 256;
bool has_fixed_network(int n, int rank);

// Which implementation runs a slab. `best` picks the widest vector unit this CPU has.
enum class RankPath { best, exact, vec128, vec256 };
bool rank_path_available(RankPath path);

// Rank slabs return false, having written nothing, when their scratch memory cannot be had.
template <class T>
bool rank_slab(RankPath path, T* dst, const SlabArgs& a, const T* src, int rank);
// The same with scratch allocated for (a.n, rank).
template <class T>
void rank_slab(RankPath path, T* dst, const SlabArgs& a, const T* src, int rank, RankScratch& scratch);
template <class T>
void min_slab(RankPath path, T* dst, const SlabArgs& a, const T* src);
template <class T>
void max_slab(RankPath path, T* dst, const SlabArgs& a, const T* src);

// One voxel by the reference steps: gather n keys into buf, sort, pick.
template <class T>
inline T exact_rank_voxel(const T* cursor, const SlabArgs& a, int rank, float* buf) {
    for (int k = 0; k < a.n; ++k) buf[k] = rank_key(cursor[a.offset[k]]);
    sort_floats(static_cast<uint32_t>(a.n), buf);
    return rank_store<T>(buf[rank]);
}

}  // namespace qel

// The vector implementations, one namespace per vector width (qel_rank_vec_impl.hpp).
#define QEL_RANK_VEC_DECLARE(NS)                                                  \
    namespace qel::NS {                                                           \
    template <class T>                                                            \
    void rank_slab(T* dst, const SlabArgs& a, const T* src, int rank, RankScratch& s); \
    template <class T>                                                            \
    void min_slab(T* dst, const SlabArgs& a, const T* src);                      \
    template <class T>                                                            \
    void max_slab(T* dst, const SlabArgs& a, const T* src);                      \
    }
QEL_RANK_VEC_DECLARE(rank_vec128)
QEL_RANK_VEC_DECLARE(rank_vec256)
#undef QEL_RANK_VEC_DECLARE
