// Test helpers for the border, crop, flip and copy tests: random multi-unit volumes and
// images and element access by raw bits, so that every unit compares bit for bit.
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "support/raw_voxels.hpp"
#include "support/records.hpp"
#include "volume/qel_image.h"
#include "volume/qel_volume.h"

namespace padtest {

using qeltest::channel_bytes;
using qeltest::random_volume;
using qeltest::voxel;
using qeltest::width_of;
using Volume = qeltest::VolumePtr;
using Image = qeltest::ImagePtr;

inline Volume filled_volume(int nx, int ny, int nz, int unit, unsigned char byte) {
    QelSize3i dims{nx, ny, nz};
    Volume v(QEL_NewSingleChannelRawVolumeData(&dims, unit, 0));
    if (v) std::memset(v->data[0], byte, size_t(nx) * ny * nz * width_of(unit));
    return v;
}

inline Image random_image(int w, int h, const std::vector<int>& units, uint32_t seed) {
    QelSize3i size{w, h, static_cast<int>(units.size())};
    std::vector<int> attributes(units.size(), 0);
    Image im(QEL_NewRawImageData(&size, units.data(), attributes.data()));
    if (!im) return im;
    std::mt19937 rng(seed);
    for (size_t c = 0; c < units.size(); ++c) {
        auto* p = static_cast<unsigned char*>(im->data[c]);
        for (size_t i = 0; i < size_t(w) * h * width_of(units[c]); ++i) p[i] = static_cast<unsigned char>(rng());
    }
    return im;
}

inline uint64_t pixel(const QelRawImageData* im, int c, int64_t x, int64_t y) {
    const int w = width_of(im->unit[c]);
    uint64_t bits = 0;
    std::memcpy(&bits, static_cast<const unsigned char*>(im->data[c]) + (x + int64_t(im->size->nx) * y) * w, w);
    return bits;
}

inline std::vector<unsigned char> image_bytes(const QelRawImageData* im, int c) {
    const auto* p = static_cast<const unsigned char*>(im->data[c]);
    return std::vector<unsigned char>(p, p + size_t(im->size->nx) * im->size->ny * width_of(im->unit[c]));
}

// Everything a test may compare to see that a volume was left alone: shape, units,
// attributes, block addresses and contents.
struct Snapshot {
    int nx, ny, nz, n;
    std::vector<int> units, attributes;
    std::vector<void*> blocks;
    std::vector<std::vector<unsigned char>> bytes;

    explicit Snapshot(const QelRawVolumeData* v)
        : nx(v->size->nx), ny(v->size->ny), nz(v->size->nz), n(v->size->nChannels) {
        for (int c = 0; c < n; ++c) {
            units.push_back(v->unit[c]);
            attributes.push_back(v->attribute[c]);
            blocks.push_back(v->data[c]);
            bytes.push_back(channel_bytes(v, c));
        }
    }
    bool operator==(const Snapshot&) const = default;
};

}  // namespace padtest
