#include "ipc_formats/board_helpers.hpp"

namespace formats_test {

int unit_width(int unit) {
    static const int widths[8] = {1, 1, 2, 2, 4, 4, 4, 8};
    return unit >= 0 && unit < 8 ? widths[unit] : 0;
}

std::vector<uint64_t> odd_patterns(int unit) {
    switch (unit) {
        case 0: return {0x00, 0xFF, 0x80, 0x7F, 0x01};
        case 1: return {0x80 /* -128 */, 0x7F, 0xFF /* -1 */, 0x00, 0x81};
        case 2: return {0xFFFF, 0x0000, 0x8000, 0x7FFF, 0x00FF};
        case 3: return {0x8000 /* -32768 */, 0x7FFF, 0xFFFF, 0x0001, 0xFF00};
        case 4: return {0xFFFFFFFF, 0x80000000, 0x00000000, 0x11223344, 0x000000FF};
        case 5: return {0x80000000 /* INT32_MIN */, 0x7FFFFFFF, 0xFFFFFFFF, 0x00000001, 0xDEADBEEF};
        case 6:
            return {0x7FC12345 /* quiet NaN, payload */, 0x7F800001 /* signalling NaN */,
                    0xFFA00001 /* negative signalling NaN */, 0x80000000 /* -0.0 */,
                    0x00000001 /* smallest denormal */, 0x7F800000 /* +inf */,
                    0xFF800000 /* -inf */, 0x807FFFFF /* negative denormal */};
        case 7:
            return {0x7FF8DEADBEEF0001ull /* quiet NaN, payload */,
                    0x7FF0000000000001ull /* signalling NaN */,
                    0xFFF4000000000123ull /* negative signalling NaN */,
                    0x8000000000000000ull /* -0.0 */, 0x0000000000000001ull /* denormal */,
                    0x7FF0000000000000ull /* +inf */, 0xFFEFFFFFFFFFFFFFull /* -max */};
        default: return {};
    }
}

uint64_t element_bits(const void* block, int unit, int64_t i) {
    const int w = unit_width(unit);
    uint64_t bits = 0;
    std::memcpy(&bits, static_cast<const uint8_t*>(block) + i * w, w);
    return bits;
}

void set_element_bits(void* block, int unit, int64_t i, uint64_t bits) {
    const int w = unit_width(unit);
    std::memcpy(static_cast<uint8_t*>(block) + i * w, &bits, w);
}

void fill_odd(void* block, int unit, int64_t count, uint64_t seed) {
    const std::vector<uint64_t> odd = odd_patterns(unit);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (int64_t i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        const uint64_t bits = i < static_cast<int64_t>(odd.size()) ? odd[i] : x;
        set_element_bits(block, unit, i, bits);
    }
}

void append_block(Golden& g, const void* block, int unit, int64_t count) {
    for (int64_t i = 0; i < count; ++i) g.element(element_bits(block, unit, i), unit_width(unit));
}

}  // namespace formats_test
