// Helpers shared by the tests: volumes filled and read as raw bits through the documented
// block layout, so that every unit (NaN patterns included) compares exactly and no test leans
// on the library's own unit table.
#pragma once
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "support/records.hpp"
#include "volume/qel_volume.h"

namespace qeltest {

// Element widths of units 0..7, written out here rather than taken from the library; 0 for
// any other unit.
inline int width_of(int unit) {
    static const int widths[8] = {1, 1, 2, 2, 4, 4, 4, 8};
    return unit >= 0 && unit < 8 ? widths[unit] : 0;
}

inline int64_t voxel_count(const QelRawVolumeData* v) { return int64_t(v->size->nx) * v->size->ny * v->size->nz; }

// A volume whose every byte is random, channel after channel from one generator.
inline VolumePtr random_volume(int nx, int ny, int nz, const std::vector<int>& units,
                               const std::vector<int>& attributes, uint32_t seed) {
    QelSize4i size{nx, ny, nz, static_cast<int>(units.size())};
    VolumePtr v(QEL_NewRawVolumeData(&size, units.data(), attributes.data()));
    if (!v) return v;
    std::mt19937 rng(seed);
    for (size_t c = 0; c < units.size(); ++c) {
        auto* p = static_cast<unsigned char*>(v->data[c]);
        const int64_t bytes = voxel_count(v.get()) * width_of(units[c]);
        for (int64_t i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(rng());
    }
    return v;
}

// The bits of voxel (x, y, z) of channel c.
inline uint64_t voxel(const QelRawVolumeData* v, int c, int64_t x, int64_t y, int64_t z) {
    const int w = width_of(v->unit[c]);
    const int64_t i = x + int64_t(v->size->nx) * (y + int64_t(v->size->ny) * z);
    uint64_t bits = 0;
    std::memcpy(&bits, static_cast<const unsigned char*>(v->data[c]) + i * w, w);
    return bits;
}

inline std::vector<unsigned char> channel_bytes(const QelRawVolumeData* v, int c) {
    const auto* p = static_cast<const unsigned char*>(v->data[c]);
    return std::vector<unsigned char>(p, p + voxel_count(v) * width_of(v->unit[c]));
}

}  // namespace qeltest
