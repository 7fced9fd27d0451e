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

// a < b ? a : b and a > b ? a : b, lane by lane, exactly: the CPU's float min and max
// return their second operand when the comparison is false (NaN, equal zeros), which is
// the same rule; the compiler does not see that through the vector conditional.
template <class K>
__attribute__((always_inline)) inline Vec<K> vmin(Vec<K> a, Vec<K> b) {
    if constexpr (std::is_same_v<K, float> && kBytes == 32) return __builtin_ia32_minps256(a, b);
    else if constexpr (std::is_same_v<K, double> && kBytes == 32) return __builtin_ia32_minpd256(a, b);
    else if constexpr (std::is_same_v<K, float> && kBytes == 16) return __builtin_ia32_minps(a, b);
    else if constexpr (std::is_same_v<K, double> && kBytes == 16) return __builtin_ia32_minpd(a, b);
    else return a < b ? a : b;
}

template <class K>
__attribute__((always_inline)) inline Vec<K> vmax(Vec<K> a, Vec<K> b) {
    if constexpr (std::is_same_v<K, float> && kBytes == 32) return __builtin_ia32_maxps256(a, b);
    else if constexpr (std::is_same_v<K, double> && kBytes == 32) return __builtin_ia32_maxpd256(a, b);
    else if constexpr (std::is_same_v<K, float> && kBytes == 16) return __builtin_ia32_maxps(a, b);
    else if constexpr (std::is_same_v<K, double> && kBytes == 16) return __builtin_ia32_maxpd(a, b);
    else return a > b ? a : b;
}

template <class V>
__attribute__((always_inline)) inline void exchange(V& x, V& y) {
    using K = std::remove_cvref_t<decltype(x[0])>;
    const V lo = vmin<K>(x, y);
    const V hi = vmax<K>(x, y);
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
        constexpr int64_t kBlock = 64 * L;  // checked once per block: no branch per vector
        int64_t i = 0;
        for (; i + kBlock <= total; i += kBlock) {
            Vec<int32_t> bad = {};
            for (int64_t j = 0; j < kBlock; j += L) bad |= unsafe_lanes(load_keys(src + i + j, L));
            int32_t any = 0;
            for (int l = 0; l < kBytes / 4; ++l) any |= bad[l];
            if (any) return true;
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
    static constexpr int kPoints = 0;
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
    static constexpr int kPoints = N;
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

// Full-chunk gather of a fixed network's n points, unrolled.
template <class T, int N, size_t... I>
__attribute__((always_inline)) inline void gather_fixed([[maybe_unused]] Vec<KeyOf<T>>* r,
                                                        [[maybe_unused]] const T* p, [[maybe_unused]] const int* off,
                                                        std::index_sequence<I...>) {
    ((r[I] = load_keys(p + off[I], lanes<T>)), ...);
}

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
                if (Net::kPoints > 0 && cnt == L) {
                    gather_fixed<T, Net::kPoints>(r, s + x0, off, std::make_index_sequence<Net::kPoints>{});
                    if constexpr (Screen && std::is_same_v<K, float>)
                        for (int k = 0; k < n; ++k) bad |= unsafe_lanes(r[k]);
                } else {
                    for (int k = 0; k < n; ++k) {
                        r[k] = load_keys(s + x0 + off[k], cnt);
                        if constexpr (Screen && std::is_same_v<K, float>) bad |= unsafe_lanes(r[k]);
                    }
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

// Scratch s was allocated for (a.n, rank).
template <class T>
void rank_slab(T* dst, const SlabArgs& a, const T* src, int rank, RankScratch& s) {
    using K = KeyOf<T>;
    using V = Vec<K>;
    const int n = a.n;
    if (a.slices <= 0 || a.ny <= 0 || a.nx <= 0) return;
    const bool screen = slab_has_unsafe_keys(a, src);
    if (n > kMaxNetworkPoints) {
        rank_rows_select(dst, a, src, rank, s.buf, static_cast<K*>(s.keys));
        return;
    }
#define QEL_RANK_FIXED(N, R)                                           \
    if (n == N && rank == R) {                                         \
        StaticNet<N, R, V> net;                                        \
        rank_rows_screened(dst, a, src, rank, net, s.buf, screen);     \
        return;                                                        \
    }
    QEL_RANK_FIXED_NETWORKS(QEL_RANK_FIXED)
#undef QEL_RANK_FIXED
    DynamicNet<V> net{s.ops, s.opCount, static_cast<V*>(s.wires)};
    rank_rows_screened(dst, a, src, rank, net, s.buf, screen);
}

template <class T, bool Max>
__attribute__((always_inline)) inline Vec<T> keep(Vec<T> c, Vec<T> v) {
    // The reference's "if c < v then v = c" (greater for the maximum).
    if constexpr (Max)
        return vmax<T>(c, v);
    else
        return vmin<T>(c, v);
}

template <class T>
__attribute__((always_inline)) inline Vec<T> load_full(const T* p) {
    Vec<T> v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Each lane runs the reference chain over the points in kernel order. Four chunks run side
// by side so that four independent chains hide the latency of each step.
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
            int x0 = 0;
            for (; x0 + 4 * L <= a.nx; x0 += 4 * L) {
                const T* c = s + x0;
                V v0 = load_full(c), v1 = load_full(c + L), v2 = load_full(c + 2 * L), v3 = load_full(c + 3 * L);
                for (int k = 1; k < n; ++k) {
                    const T* p = c + off[k];
                    v0 = keep<T, Max>(load_full(p), v0);
                    v1 = keep<T, Max>(load_full(p + L), v1);
                    v2 = keep<T, Max>(load_full(p + 2 * L), v2);
                    v3 = keep<T, Max>(load_full(p + 3 * L), v3);
                }
                std::memcpy(d + x0, &v0, sizeof v0);
                std::memcpy(d + x0 + L, &v1, sizeof v1);
                std::memcpy(d + x0 + 2 * L, &v2, sizeof v2);
                std::memcpy(d + x0 + 3 * L, &v3, sizeof v3);
            }
            for (; x0 < a.nx; x0 += L) {
                const int cnt = std::min(L, a.nx - x0);
                V v = load_raw(s + x0, cnt);
                for (int k = 1; k < n; ++k) v = keep<T, Max>(load_raw(s + x0 + off[k], cnt), v);
                T tmp[L];
                std::memcpy(tmp, &v, sizeof v);
                store_chunk(d + x0, tmp, cnt);
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
