// Test helpers for thresholds, region growing, convolution and components: volumes of every
// unit read and written as doubles through the documented layout, and brute-force references
// (neighbourhoods by coordinates, breadth-first growth and flood-fill labelling with bounds
// checks instead of padding).
#pragma once
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "volume/qel_volume.h"

namespace segtest {

struct VolumeDeleter {
    void operator()(QelRawVolumeData* v) const { QEL_DeleteRawVolumeData(v); }
};
using Volume = std::unique_ptr<QelRawVolumeData, VolumeDeleter>;

inline int width_of(int unit) {
    static const int widths[8] = {1, 1, 2, 2, 4, 4, 4, 8};
    return widths[unit];
}

inline Volume new_volume(int nx, int ny, int nz, int unit, int attribute = 0) {
    const QelSize3i dims{nx, ny, nz};
    return Volume(QEL_NewSingleChannelRawVolumeData(&dims, unit, attribute));
}

inline int64_t voxels(const QelRawVolumeData* v) { return int64_t(v->size->nx) * v->size->ny * v->size->nz; }

// Voxel i of channel c as a double, in the unit's own signedness.
inline double get(const QelRawVolumeData* v, int c, int64_t i) {
    const void* d = v->data[c];
    switch (v->unit[c]) {
        case 0: return static_cast<const uint8_t*>(d)[i];
        case 1: return static_cast<const int8_t*>(d)[i];
        case 2: return static_cast<const uint16_t*>(d)[i];
        case 3: return static_cast<const int16_t*>(d)[i];
        case 4: return static_cast<const uint32_t*>(d)[i];
        case 5: return static_cast<const int32_t*>(d)[i];
        case 6: return static_cast<const float*>(d)[i];
        default: return static_cast<const double*>(d)[i];
    }
}

// Stores a value exactly representable in the unit.
inline void set(QelRawVolumeData* v, int c, int64_t i, double x) {
    void* d = v->data[c];
    switch (v->unit[c]) {
        case 0: static_cast<uint8_t*>(d)[i] = static_cast<uint8_t>(x); break;
        case 1: static_cast<int8_t*>(d)[i] = static_cast<int8_t>(x); break;
        case 2: static_cast<uint16_t*>(d)[i] = static_cast<uint16_t>(x); break;
        case 3: static_cast<int16_t*>(d)[i] = static_cast<int16_t>(x); break;
        case 4: static_cast<uint32_t*>(d)[i] = static_cast<uint32_t>(x); break;
        case 5: static_cast<int32_t*>(d)[i] = static_cast<int32_t>(x); break;
        case 6: static_cast<float*>(d)[i] = static_cast<float>(x); break;
        default: static_cast<double*>(d)[i] = x; break;
    }
}

inline std::vector<unsigned char> bytes_of(const QelRawVolumeData* v, int c) {
    const auto* p = static_cast<const unsigned char*>(v->data[c]);
    return std::vector<unsigned char>(p, p + voxels(v) * width_of(v->unit[c]));
}

inline void fill_random_bytes(QelRawVolumeData* v, int c, uint32_t seed) {
    std::mt19937 rng(seed);
    auto* p = static_cast<unsigned char*>(v->data[c]);
    const int64_t n = voxels(v) * width_of(v->unit[c]);
    for (int64_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(rng());
}

// Random mask with the given share of ones.
inline std::vector<uint8_t> random_mask(int64_t n, double share, uint32_t seed) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution on(share);
    std::vector<uint8_t> m(static_cast<size_t>(n));
    for (auto& b : m) b = on(rng) ? 1 : 0;
    return m;
}

struct D3 {
    int x, y, z;
};

// The neighbours of a connectivity, enumerated by squared length: faces 1, edges 2, corners 3.
inline std::vector<D3> neighbourhood(int connectivity) {
    const int maxSq = connectivity == 6 ? 1 : connectivity == 18 ? 2 : 3;
    std::vector<D3> n;
    for (int z = -1; z <= 1; ++z)
        for (int y = -1; y <= 1; ++y)
            for (int x = -1; x <= 1; ++x) {
                const int sq = x * x + y * y + z * z;
                if (sq > 0 && sq <= maxSq) n.push_back({x, y, z});
            }
    return n;
}

struct Dims {
    int nx, ny, nz;
    int64_t index(int x, int y, int z) const { return x + int64_t(nx) * (y + int64_t(ny) * z); }
    int64_t count() const { return int64_t(nx) * ny * nz; }
};

// Calls fn(j) for every neighbour j of voxel i inside the volume.
template <class Fn>
void for_neighbours(const Dims& d, int64_t i, const std::vector<D3>& nb, Fn&& fn) {
    const int x = int(i % d.nx), y = int((i / d.nx) % d.ny), z = int(i / (int64_t(d.nx) * d.ny));
    for (const D3& o : nb) {
        const int a = x + o.x, b = y + o.y, c = z + o.z;
        if (a < 0 || b < 0 || c < 0 || a >= d.nx || b >= d.ny || c >= d.nz) continue;
        fn(d.index(a, b, c));
    }
}

// Breadth-first region: seeds, and every eligible voxel reached through eligible voxels or
// seeds. Returns the region mask; *grown counts the non-seed voxels in it.
inline std::vector<uint8_t> reference_grow(const Dims& d, const std::vector<uint8_t>& seed,
                                           const std::vector<uint8_t>& eligible, int connectivity,
                                           int64_t* grown) {
    const auto nb = neighbourhood(connectivity);
    std::vector<uint8_t> in(seed);
    std::deque<int64_t> todo;
    for (int64_t i = 0; i < d.count(); ++i)
        if (seed[i]) todo.push_back(i);
    *grown = 0;
    while (!todo.empty()) {
        const int64_t i = todo.front();
        todo.pop_front();
        for_neighbours(d, i, nb, [&](int64_t j) {
            if (!in[j] && eligible[j]) {
                in[j] = 1;
                ++*grown;
                todo.push_back(j);
            }
        });
    }
    return in;
}

// Flood-fill labels numbered by the first voxel of each component in storage order, linking
// voxels whose displacement is listed in nb.
inline std::vector<uint32_t> reference_labels(const Dims& d, const std::vector<uint8_t>& fg, const std::vector<D3>& nb,
                                              uint32_t* count) {
    std::vector<uint32_t> label(static_cast<size_t>(d.count()), 0);
    uint32_t n = 0;
    for (int64_t s = 0; s < d.count(); ++s) {
        if (!fg[s] || label[s]) continue;
        label[s] = ++n;
        std::deque<int64_t> todo{s};
        while (!todo.empty()) {
            const int64_t i = todo.front();
            todo.pop_front();
            for_neighbours(d, i, nb, [&](int64_t j) {
                if (fg[j] && !label[j]) {
                    label[j] = n;
                    todo.push_back(j);
                }
            });
        }
    }
    *count = n;
    return label;
}

inline std::vector<uint32_t> reference_labels(const Dims& d, const std::vector<uint8_t>& fg, int connectivity,
                                              uint32_t* count) {
    return reference_labels(d, fg, neighbourhood(connectivity), count);
}

inline std::vector<uint32_t> labels_of(const QelRawVolumeData* v, int c) {
    const auto* p = static_cast<const uint32_t*>(v->data[c]);
    return std::vector<uint32_t>(p, p + voxels(v));
}

}  // namespace segtest
