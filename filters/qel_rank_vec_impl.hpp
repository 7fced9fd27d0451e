// Internal: the vector rank slabs, written once over the vector width. Included by exactly
// one source file per width, which defines QEL_RANK_VEC_NS and QEL_RANK_VEC_BYTES (and the
// target for wide vectors); everything here has that file's namespace.
//
// Each row is cut into chunks of one vector's lanes along x. Lane l of a chunk is voxel
// x0 + l, and its k-th neighbour is lane l of the vector loaded at x0 + l + offset[k], so a
// neighbourhood is n plain loads. Rank chunks run a selection network on those vectors;
// minimum and maximum chunks keep the same compare-and-blend chain as the reference, lane
// by lane, so NaN and signed-zero outcomes stay the reference ones.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "filters/qel_rank_network.hpp"
#include "filters/qel_rank_slab.hpp"

#if !defined(QEL_RANK_VEC_NS) || !defined(QEL_RANK_VEC_BYTES)
#error "define QEL_RANK_VEC_NS and QEL_RANK_VEC_BYTES before including this file"
#endif

namespace qel::QEL_RANK_VEC_NS {

constexpr int kBytes = QEL_RANK_VEC_BYTES;

// Vector types (the attribute does not apply to a template parameter, so one per type).
template <class K>
struct VecOf;
#define QEL_RANK_VEC_TYPE(K)                                       \
    template <>                                                    \
    struct VecOf<K> {                                              \
        typedef K type __attribute__((vector_size(kBytes)));       \
    };
QEL_RANK_VEC_TYPE(uint8_t)
QEL_RANK_VEC_TYPE(int8_t)
QEL_RANK_VEC_TYPE(uint16_t)
QEL_RANK_VEC_TYPE(int16_t)
QEL_RANK_VEC_TYPE(uint32_t)
QEL_RANK_VEC_TYPE(int32_t)
QEL_RANK_VEC_TYPE(float)
QEL_RANK_VEC_TYPE(double)
#undef QEL_RANK_VEC_TYPE
template <class K>
using Vec = typename VecOf<K>::type;
// Doubles feeding one vector of float keys.
typedef double WideDoubles __attribute__((vector_size(2 * kBytes)));

// The element type the network compares: the unit's own integers, floats for both
// floating units (doubles are narrowed, as the reference does).
template <class T>
using KeyOf = std::conditional_t<std::is_floating_point_v<T>, float, T>;

template <class T>
constexpr int lanes = kBytes / static_cast<int>(sizeof(KeyOf<T>));

// Source elements of one chunk, loaded as one vector of keys. cnt < lanes loads only the
// first cnt elements (row ends); the other lanes are 0.
template <class T>
inline Vec<KeyOf<T>> load_keys(const T* p, int cnt) {
    constexpr int L = lanes<T>;
    if constexpr (std::is_same_v<T, double>) {
        using Wide = WideDoubles;
        Wide w;
        if (cnt == L) {
            std::memcpy(&w, p, sizeof w);
        } else {
            double tmp[L] = {};
            std::memcpy(tmp, p, sizeof(double) * cnt);
            std::memcpy(&w, tmp, sizeof w);
        }
        return __builtin_convertvector(w, Vec<float>);
    } else {
        Vec<T> v;
        if (cnt == L) {
            std::memcpy(&v, p, sizeof v);
        } else {
            T tmp[L] = {};
            std::memcpy(tmp, p, sizeof(T) * cnt);
            std::memcpy(&v, tmp, sizeof v);
        }
        return v;
    }
}

// A chunk of elements in the unit's own type (minimum and maximum).
template <class T>
inline Vec<T> load_raw(const T* p, int cnt) {
    constexpr int L = kBytes / static_cast<int>(sizeof(T));
    Vec<T> v;
    if (cnt == L) {
        std::memcpy(&v, p, sizeof v);
    } else {
        T tmp[L] = {};
        std::memcpy(tmp, p, sizeof(T) * cnt);
        std::memcpy(&v, tmp, sizeof v);
    }
    return v;
}

template <class T>
inline void store_chunk(T* d, const T* lanesOut, int cnt) {
    std::memcpy(d, lanesOut, sizeof(T) * cnt);
}

// The selected keys back in the unit.
template <class T>
inline void store_result(T* d, Vec<KeyOf<T>> v, int cnt) {
    constexpr int L = lanes<T>;
    if constexpr (std::is_same_v<T, double>) {
        using Wide = WideDoubles;
        const Wide w = __builtin_convertvector(v, Wide);
        if (cnt == L) {
            std::memcpy(d, &w, sizeof w);
        } else {
            double tmp[L];
            std::memcpy(tmp, &w, sizeof w);
            store_chunk(d, tmp, cnt);
        }
    } else if constexpr (std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t>) {
        // The reference picks the float of the chosen integer; rounding is monotone, so
        // selecting among the integers and rounding afterwards gives the same value.
        T tmp[L];
        for (int l = 0; l < L; ++l) tmp[l] = rank_store<T>(rank_key(v[l]));
        store_chunk(d, tmp, cnt);
    } else {
        if (cnt == L) {
            std::memcpy(d, &v, sizeof v);
        } else {
            T tmp[L];
            std::memcpy(tmp, &v, sizeof v);
            store_chunk(d, tmp, cnt);
        }
    }
}

template <class V>
__attribute__((always_inline)) inline void exchange(V& x, V& y) {
    const V lo = x < y ? x : y;
    const V hi = x < y ? y : x;
    x = lo;
    y = hi;
}

// Lanes holding a NaN or a negative zero: there the pick depends on the sort's exact
// steps. Only float keys can hold them.
inline Vec<int32_t> unsafe_lanes(Vec<float> v) {
    const Vec<int32_t> bits = (Vec<int32_t>)v;
    return (v != v) | (bits == static_cast<int32_t>(0x80000000u));
}

// Whether any key that the slab reads is a NaN or a negative zero.
template <class T>
bool slab_has_unsafe_keys(const SlabArgs& a, const T* src) {
    if constexpr (!std::is_floating_point_v<T>) {
        return false;
    } else {
        const int64_t total = (a.slices + 2 * int64_t{a.margin}) * a.sliceStride;
        constexpr int L = lanes<T>;
        int64_t i = 0;
        for (; i + L <= total; i += L) {
            const Vec<int32_t> bad = unsafe_lanes(load_keys(src + i, L));
            Vec<int32_t> zero = {};
            if (std::memcmp(&bad, &zero, sizeof bad) != 0) return true;
        }
        for (; i < total; ++i) {
            const float f = rank_key(src[i]);
            uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            if (f != f || bits == 0x80000000u) return true;
        }
        return false;
    }
}

// Interpreted network: any size and rank.
template <class V>
struct DynamicNet {
    const NetOp* ops;
    int count;
    V* regs;
    __attribute__((always_inline)) inline V* wires() { return regs; }
    __attribute__((always_inline)) inline void run(V* r) const {
        for (int i = 0; i < count; ++i) exchange(r[ops[i].a], r[ops[i].b]);
    }
};

// Network fixed at compile time, unrolled so that the wires can live in registers.
template <int N, int Rank, class V>
struct StaticNet {
    V regs[N];
    __attribute__((always_inline)) inline V* wires() { return regs; }
    template <size_t... I>
    __attribute__((always_inline)) inline void run_ops(V* r, std::index_sequence<I...>) const {
        constexpr auto& t = FixedNetwork<N, Rank>::table;
        (exchange(r[t.ops[I].a], r[t.ops[I].b]), ...);
    }
    __attribute__((always_inline)) inline void run(V* r) const {
        run_ops(r, std::make_index_sequence<FixedNetwork<N, Rank>::count>{});
    }
};

// Rank rows with a network. With Screen, lanes whose neighbourhood holds a NaN or -0.0 are
// redone by the reference steps (buf: n floats).
template <class T, bool Screen, class Net>
void rank_rows(T* dst, const SlabArgs& a, const T* src, int rank, Net& net, float* buf) {
    using K = KeyOf<T>;
    using V = Vec<K>;
    constexpr int L = lanes<T>;
    V* r = net.wires();
    const int n = a.n;
    const int* off = a.offset;
    for (int z = 0; z < a.slices; ++z) {
        for (int y = 0; y < a.ny; ++y) {
            const T* s = src + a.row_start(y, z);
            T* d = dst + (int64_t{z} * a.ny + y) * a.nx;
            for (int x0 = 0; x0 < a.nx; x0 += L) {
                const int cnt = std::min(L, a.nx - x0);
                Vec<int32_t> bad = {};
                for (int k = 0; k < n; ++k) {
                    r[k] = load_keys(s + x0 + off[k], cnt);
                    if constexpr (Screen && std::is_same_v<K, float>) bad |= unsafe_lanes(r[k]);
                }
                net.run(r);
                store_result(d + x0, r[rank], cnt);
                if constexpr (Screen && std::is_same_v<K, float>) {
                    for (int l = 0; l < cnt; ++l)
                        if (bad[l]) d[x0 + l] = exact_rank_voxel(s + x0 + l, a, rank, buf);
                }
            }
        }
    }
}

template <class T, class Net>
void rank_rows_screened(T* dst, const SlabArgs& a, const T* src, int rank, Net& net, float* buf,
                        bool screen) {
    if constexpr (std::is_floating_point_v<T>) {
        if (screen) {
            rank_rows<T, true>(dst, a, src, rank, net, buf);
            return;
        }
    }
    rank_rows<T, false>(dst, a, src, rank, net, buf);
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Neighbourhoods too large for a network: per voxel, a selection on the keys. Integer keys
// have one representation per value, and so do floats once NaN and -0.0 are ruled out.
template <class T>
void rank_rows_select(T* dst, const SlabArgs& a, const T* src, int rank, float* buf, KeyOf<T>* keys) {
    using K = KeyOf<T>;
    for (int z = 0; z < a.slices; ++z)
        for (int y = 0; y < a.ny; ++y) {
            const T* s = src + a.row_start(y, z);
            T* d = dst + (int64_t{z} * a.ny + y) * a.nx;
            for (int x = 0; x < a.nx; ++x) {
                const T* c = s + x;
                bool unsafe = false;
                for (int k = 0; k < a.n; ++k) {
                    const K v = static_cast<K>(c[a.offset[k]]);
                    if constexpr (std::is_floating_point_v<T>) {
                        uint32_t bits;
                        std::memcpy(&bits, &v, sizeof bits);
                        unsafe |= (v != v) | (bits == 0x80000000u);
                    }
                    keys[k] = v;
                }
                if (unsafe) {
                    d[x] = exact_rank_voxel(c, a, rank, buf);
                } else {
                    std::nth_element(keys, keys + rank, keys + a.n);
                    d[x] = rank_store<T>(rank_key(keys[rank]));
                }
            }
        }
}

// Largest neighbourhood that runs as a network; past it a per-voxel selection is faster.
constexpr int kMaxNetworkPoints = 256;

template <class T>
bool rank_slab(T* dst, const SlabArgs& a, const T* src, int rank) {
    using K = KeyOf<T>;
    using V = Vec<K>;
    const int n = a.n;
    // The reference's sort buffer, also the fallback of screened lanes.
    std::unique_ptr<float, FreeDeleter> buf(static_cast<float*>(std::malloc(sizeof(float) * std::max(n, 1))));
    if (!buf) return false;
    if (a.slices <= 0 || a.ny <= 0 || a.nx <= 0) return true;
    const bool screen = slab_has_unsafe_keys(a, src);

    if (n > kMaxNetworkPoints) {
        std::unique_ptr<K, FreeDeleter> keys(static_cast<K*>(std::malloc(sizeof(K) * n)));
        if (!keys) return false;
        rank_rows_select(dst, a, src, rank, buf.get(), keys.get());
        return true;
    }

#define QEL_RANK_FIXED(N, R)                                                  \
    if (n == N && rank == R) {                                                \
        StaticNet<N, R, V> net;                                               \
        rank_rows_screened(dst, a, src, rank, net, buf.get(), screen);        \
        return true;                                                          \
    }
    QEL_RANK_FIXED(7, 3)
    QEL_RANK_FIXED(19, 9)
    QEL_RANK_FIXED(27, 13)
    QEL_RANK_FIXED(33, 16)
#undef QEL_RANK_FIXED

    const int full = batcher_size(n);
    std::unique_ptr<NetOp, FreeDeleter> ops(static_cast<NetOp*>(std::malloc(sizeof(NetOp) * std::max(full, 1))));
    std::unique_ptr<bool, FreeDeleter> need(static_cast<bool*>(std::malloc(sizeof(bool) * n)));
    std::unique_ptr<V, FreeDeleter> regs(static_cast<V*>(std::aligned_alloc(kBytes, sizeof(V) * n)));
    if (!ops || !need || !regs) return false;
    NetOp* opsp = ops.get();
    bool* needp = need.get();
    DynamicNet<V> net{opsp, selection_network(n, rank, opsp, needp), regs.get()};
    rank_rows_screened(dst, a, src, rank, net, buf.get(), screen);
    return true;
}

template <class T, bool Max>
void extreme_slab(T* dst, const SlabArgs& a, const T* src) {
    using V = Vec<T>;
    constexpr int L = kBytes / static_cast<int>(sizeof(T));
    const int n = a.n;
    const int* off = a.offset;
    for (int z = 0; z < a.slices; ++z) {
        for (int y = 0; y < a.ny; ++y) {
            const T* s = src + a.row_start(y, z);
            T* d = dst + (int64_t{z} * a.ny + y) * a.nx;
            for (int x0 = 0; x0 < a.nx; x0 += L) {
                const int cnt = std::min(L, a.nx - x0);
                V v = load_raw(s + x0, cnt);
                for (int k = 1; k < n; ++k) {
                    const V c = load_raw(s + x0 + off[k], cnt);
                    if constexpr (Max)
                        v = c > v ? c : v;
                    else
                        v = c < v ? c : v;
                }
                if (cnt == L) {
                    std::memcpy(d + x0, &v, sizeof v);
                } else {
                    T tmp[L];
                    std::memcpy(tmp, &v, sizeof v);
                    store_chunk(d + x0, tmp, cnt);
                }
            }
        }
    }
}

template <class T>
void min_slab(T* dst, const SlabArgs& a, const T* src) {
    extreme_slab<T, false>(dst, a, src);
}

template <class T>
void max_slab(T* dst, const SlabArgs& a, const T* src) {
    extreme_slab<T, true>(dst, a, src);
}

}  // namespace qel::QEL_RANK_VEC_NS
