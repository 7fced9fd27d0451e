// Test helpers: elements of any unit read and written as doubles, the wrap-around reference
// done in exact 64-bit/fmod arithmetic, and the line kernels reached by unit code.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "values/qel_values.h"

namespace valuestest {

constexpr int kUnitSizes[8] = {1, 1, 2, 2, 4, 4, 4, 8};

inline double read(const void* block, int unit, int64_t i) {
    const unsigned char* p = static_cast<const unsigned char*>(block) + i * kUnitSizes[unit];
    switch (unit) {
        case 0: return *p;
        case 1: { int8_t v; std::memcpy(&v, p, 1); return v; }
        case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
        case 3: { int16_t v; std::memcpy(&v, p, 2); return v; }
        case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
        case 5: { int32_t v; std::memcpy(&v, p, 4); return v; }
        case 6: { float v; std::memcpy(&v, p, 4); return v; }
        default: { double v; std::memcpy(&v, p, 8); return v; }
    }
}

// Reduces an integer-valued double into an integer unit: modulo 2^bits, read signed for the
// signed units. Floats are rounded to the unit. NaN, infinities and |x| >= 2^63 give 0 in the
// integer units.
inline double wrap(double x, int unit) {
    if (unit == 6) return static_cast<float>(x);
    if (unit == 7) return x;
    if (!std::isfinite(x) || std::fabs(x) >= 9223372036854775808.0) return 0.0;
    const double mod = std::ldexp(1.0, 8 * kUnitSizes[unit]);
    double m = std::fmod(std::trunc(x), mod);
    if (m < 0) m += mod;
    if (unit % 2 == 1 && m >= mod / 2) m -= mod;
    return m;
}

// Writes x (wrapped into the unit) into element i.
inline void write(void* block, int unit, int64_t i, double x) {
    unsigned char* p = static_cast<unsigned char*>(block) + i * kUnitSizes[unit];
    const double w = wrap(x, unit);
    switch (unit) {
        case 0: { uint8_t v = static_cast<uint8_t>(w); std::memcpy(p, &v, 1); break; }
        case 1: { int8_t v = static_cast<int8_t>(w); std::memcpy(p, &v, 1); break; }
        case 2: { uint16_t v = static_cast<uint16_t>(w); std::memcpy(p, &v, 2); break; }
        case 3: { int16_t v = static_cast<int16_t>(w); std::memcpy(p, &v, 2); break; }
        case 4: { uint32_t v = static_cast<uint32_t>(w); std::memcpy(p, &v, 4); break; }
        case 5: { int32_t v = static_cast<int32_t>(w); std::memcpy(p, &v, 4); break; }
        case 6: { float v = static_cast<float>(w); std::memcpy(p, &v, 4); break; }
        default: std::memcpy(p, &w, 8); break;
    }
}

// A block of n elements of a unit, with a few guard bytes behind it.
struct Block {
    int unit;
    int64_t n;
    std::vector<double> storage;  // 8-byte aligned, one element per double is always enough
    Block(int u, int64_t count) : unit(u), n(count), storage(static_cast<size_t>(count) + 2, 0.0) {}
    void* data() { return storage.data(); }
    double get(int64_t i) const { return read(storage.data(), unit, i); }
    void set(int64_t i, double x) { write(storage.data(), unit, i, x); }
};

// A QelValue holding x in the unit's width (wrapped like a store).
inline QelValue value_in_unit(double x, int unit) {
    QelValue v{};
    write(v.bytes, unit, 0, x);
    return v;
}

// The line kernels by unit code; `value`, `from` and `to` are wrapped into the unit first.
inline void clear_array(int unit, void* d, int32_t n) {
    switch (unit) {
        case 0: QEL_ClearArray_Uint8(static_cast<uint8_t*>(d), n); break;
        case 1: QEL_ClearArray_Int8(static_cast<int8_t*>(d), n); break;
        case 2: QEL_ClearArray_Uint16(static_cast<uint16_t*>(d), n); break;
        case 3: QEL_ClearArray_Int16(static_cast<int16_t*>(d), n); break;
        case 4: QEL_ClearArray_Uint32(static_cast<uint32_t*>(d), n); break;
        case 5: QEL_ClearArray_Int32(static_cast<int32_t*>(d), n); break;
        case 6: QEL_ClearArray_Float32(static_cast<float*>(d), n); break;
        default: QEL_ClearArray_Float64(static_cast<double*>(d), n); break;
    }
}

inline void fill_array(int unit, void* d, int32_t n, double x) {
    const double w = wrap(x, unit);
    switch (unit) {
        case 0: QEL_FillArray_Uint8(static_cast<uint8_t*>(d), n, static_cast<uint8_t>(w)); break;
        case 1: QEL_FillArray_Int8(static_cast<int8_t*>(d), n, static_cast<int8_t>(w)); break;
        case 2: QEL_FillArray_Uint16(static_cast<uint16_t*>(d), n, static_cast<uint16_t>(w)); break;
        case 3: QEL_FillArray_Int16(static_cast<int16_t*>(d), n, static_cast<int16_t>(w)); break;
        case 4: QEL_FillArray_Uint32(static_cast<uint32_t*>(d), n, static_cast<uint32_t>(w)); break;
        case 5: QEL_FillArray_Int32(static_cast<int32_t*>(d), n, static_cast<int32_t>(w)); break;
        case 6: QEL_FillArray_Float32(static_cast<float*>(d), n, static_cast<float>(w)); break;
        default: QEL_FillArray_Float64(static_cast<double*>(d), n, w); break;
    }
}

inline void add_array(int unit, void* d, int32_t n, double x) {
    const double w = wrap(x, unit);
    switch (unit) {
        case 0: QEL_AddToArray_Uint8(static_cast<uint8_t*>(d), n, static_cast<uint8_t>(w)); break;
        case 1: QEL_AddToArray_Int8(static_cast<int8_t*>(d), n, static_cast<int8_t>(w)); break;
        case 2: QEL_AddToArray_Uint16(static_cast<uint16_t*>(d), n, static_cast<uint16_t>(w)); break;
        case 3: QEL_AddToArray_Int16(static_cast<int16_t*>(d), n, static_cast<int16_t>(w)); break;
        case 4: QEL_AddToArray_Uint32(static_cast<uint32_t*>(d), n, static_cast<uint32_t>(w)); break;
        case 5: QEL_AddToArray_Int32(static_cast<int32_t*>(d), n, static_cast<int32_t>(w)); break;
        case 6: QEL_AddToArray_Float32(static_cast<float*>(d), n, static_cast<float>(w)); break;
        default: QEL_AddToArray_Float64(static_cast<double*>(d), n, w); break;
    }
}

inline void replace_array(int unit, void* d, int32_t n, double from, double to) {
    const double f = wrap(from, unit), t = wrap(to, unit);
    switch (unit) {
        case 0: QEL_ReplaceInArray_Uint8(static_cast<uint8_t*>(d), n, static_cast<uint8_t>(f), static_cast<uint8_t>(t)); break;
        case 1: QEL_ReplaceInArray_Int8(static_cast<int8_t*>(d), n, static_cast<int8_t>(f), static_cast<int8_t>(t)); break;
        case 2: QEL_ReplaceInArray_Uint16(static_cast<uint16_t*>(d), n, static_cast<uint16_t>(f), static_cast<uint16_t>(t)); break;
        case 3: QEL_ReplaceInArray_Int16(static_cast<int16_t*>(d), n, static_cast<int16_t>(f), static_cast<int16_t>(t)); break;
        case 4: QEL_ReplaceInArray_Uint32(static_cast<uint32_t*>(d), n, static_cast<uint32_t>(f), static_cast<uint32_t>(t)); break;
        case 5: QEL_ReplaceInArray_Int32(static_cast<int32_t*>(d), n, static_cast<int32_t>(f), static_cast<int32_t>(t)); break;
        case 6: QEL_ReplaceInArray_Float32(static_cast<float*>(d), n, static_cast<float>(f), static_cast<float>(t)); break;
        default: QEL_ReplaceInArray_Float64(static_cast<double*>(d), n, f, t); break;
    }
}

inline void scale_array(int unit, void* d, int32_t n, float scale, float offset) {
    switch (unit) {
        case 0: QEL_ScaleArray_Uint8(static_cast<uint8_t*>(d), n, scale, offset); break;
        case 1: QEL_ScaleArray_Int8(static_cast<int8_t*>(d), n, scale, offset); break;
        case 2: QEL_ScaleArray_Uint16(static_cast<uint16_t*>(d), n, scale, offset); break;
        case 3: QEL_ScaleArray_Int16(static_cast<int16_t*>(d), n, scale, offset); break;
        case 4: QEL_ScaleArray_Uint32(static_cast<uint32_t*>(d), n, scale, offset); break;
        case 5: QEL_ScaleArray_Int32(static_cast<int32_t*>(d), n, scale, offset); break;
        case 6: QEL_ScaleArray_Float32(static_cast<float*>(d), n, scale, offset); break;
        default: QEL_ScaleArray_Float64(static_cast<double*>(d), n, scale, offset); break;
    }
}

}  // namespace valuestest
