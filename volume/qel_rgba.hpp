// Internal: packing four 8-bit channels into RGBA words and back (R in the top byte).
#pragma once
#include <cstdint>

namespace qel {

inline uint32_t pack_rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return static_cast<uint32_t>(r) << 24 | static_cast<uint32_t>(g) << 16 | static_cast<uint32_t>(b) << 8 | a;
}

inline void pack_rgba(uint32_t* dst, const uint8_t* r, const uint8_t* g, const uint8_t* b, const uint8_t* a,
                      int64_t n) {
    for (int64_t i = 0; i < n; ++i) dst[i] = pack_rgba(r[i], g[i], b[i], a[i]);
}

inline void unpack_rgba(uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, const uint32_t* src, int64_t n) {
    for (int64_t i = 0; i < n; ++i) {
        const uint32_t w = src[i];
        r[i] = static_cast<uint8_t>(w >> 24);
        g[i] = static_cast<uint8_t>(w >> 16);
        b[i] = static_cast<uint8_t>(w >> 8);
        a[i] = static_cast<uint8_t>(w);
    }
}

}  // namespace qel
