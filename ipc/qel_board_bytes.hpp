// Internal: the 32-bit words of the data-board layouts (volumes and images, data-object
// groups). Words are little-endian and sit at any byte offset, so each one is copied byte by
// byte rather than read through a pointer of its type.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "board words and channel blocks are little-endian, copied without swapping");

namespace qel {

inline int32_t read_i32(const unsigned char* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline float read_f32(const unsigned char* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void write_i32(unsigned char* p, int32_t v) { std::memcpy(p, &v, sizeof v); }

inline void write_f32(unsigned char* p, float v) { std::memcpy(p, &v, sizeof v); }

}  // namespace qel
