// Shared by the resampling tests: records filled with random values, voxel access, and the
// per-unit samplers by element type.
#pragma once
#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>

#include "support/samplers.hpp"
#include "volume/qel_image.h"
#include "volume/qel_sample.h"
#include "volume/qel_volume.h"

namespace resampletest {

template <class T>
T& voxel(const QelRawVolumeData* v, int c, int i, int j, int k) {
    return static_cast<T*>(v->slices[c][k][j])[i];
}

template <class T>
T& pixel(const QelRawImageData* im, int c, int i, int j) {
    return static_cast<T*>(im->rows[c][j])[i];
}

// Random values over the unit's whole range for integers, moderate reals for floats.
template <class T>
T random_value(std::mt19937_64& rng) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(std::uniform_real_distribution<double>(-1000.0, 1000.0)(rng));
    } else {
        const uint64_t bits = rng();
        T v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
}

template <class T>
void fill_random(const QelRawVolumeData* v, int c, uint64_t seed) {
    std::mt19937_64 rng(seed);
    for (int k = 0; k < v->size->nz; ++k)
        for (int j = 0; j < v->size->ny; ++j)
            for (int i = 0; i < v->size->nx; ++i) voxel<T>(v, c, i, j, k) = random_value<T>(rng);
}

template <class T>
void fill_random(const QelRawImageData* im, int c, uint64_t seed) {
    std::mt19937_64 rng(seed);
    for (int j = 0; j < im->size->ny; ++j)
        for (int i = 0; i < im->size->nx; ++i) pixel<T>(im, c, i, j) = random_value<T>(rng);
}

// The position on the old grid of new index i: i times the float scale.
inline float position(int i, int nOld, int nNew) {
    const float s = static_cast<float>(static_cast<double>(nOld - 1) / static_cast<double>(nNew - 1));
    return static_cast<float>(i) * s;
}

template <class T>
using Samplers = qeltest::SamplersOf<T>;

template <class T>
constexpr int unit_of() {
    if constexpr (std::is_same_v<T, uint8_t>) return 0;
    else if constexpr (std::is_same_v<T, int8_t>) return 1;
    else if constexpr (std::is_same_v<T, uint16_t>) return 2;
    else if constexpr (std::is_same_v<T, int16_t>) return 3;
    else if constexpr (std::is_same_v<T, uint32_t>) return 4;
    else if constexpr (std::is_same_v<T, int32_t>) return 5;
    else if constexpr (std::is_same_v<T, float>) return 6;
    else return 7;
}

}  // namespace resampletest
