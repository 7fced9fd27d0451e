// Internal: the 32-bit words of the data-board layouts (volumes and images, data-object
// groups). Words are little-endian and sit at any byte offset.
//
// An unpacker may be reading the shared mapping itself, which the other side can rewrite at
// any moment. Every word is therefore loaded exactly once, byte by byte through relaxed
// atomic loads, which the compiler may neither repeat nor merge with other loads (as it may
// with plain ones, say when it copies two adjacent header words at once): the value an
// unpacker checks is the value it builds from. Bulk data (channel blocks, point arrays) is
// copied with memcpy; a torn copy there only gives other values, never another extent.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "board words and channel blocks are little-endian, copied without swapping");

namespace qel {

inline uint8_t read_u8(const unsigned char* p) { return __atomic_load_n(p, __ATOMIC_RELAXED); }

inline uint32_t read_u32(const unsigned char* p) {
    return uint32_t{read_u8(p)} | uint32_t{read_u8(p + 1)} << 8 | uint32_t{read_u8(p + 2)} << 16 |
           uint32_t{read_u8(p + 3)} << 24;
}

inline int32_t read_i32(const unsigned char* p) { return static_cast<int32_t>(read_u32(p)); }

inline float read_f32(const unsigned char* p) { return std::bit_cast<float>(read_u32(p)); }

inline void write_i32(unsigned char* p, int32_t v) { std::memcpy(p, &v, sizeof v); }

inline void write_f32(unsigned char* p, float v) { std::memcpy(p, &v, sizeof v); }

}  // namespace qel
