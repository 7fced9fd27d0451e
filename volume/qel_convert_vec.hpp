// Internal: the element loop of the unit conversion, built once per vector width. Every path
// gives the bytes of the per-voxel rule (single precision, the map, the saturation of the
// clamping maps into units 4 and 5, qel::store_real) for every input, NaN and infinities
// included; the wider ones are only faster.
#pragma once
#include <cstdint>

#include "volume/qel_units.h"

namespace qel {

// A checked call: units valid, map 0..3 with the ranges it reads, count >= 0.
struct ConvertJob {
    int64_t count;
    const void* src;
    void* dst;
    int srcUnit, dstUnit, map;
    const QelValueRange* srcRange;
    const QelValueRange* dstRange;
};

// vec128 runs on every x86-64 CPU; vec256 needs AVX2, vec512 AVX-512 (F, BW, VL, DQ).
// best is the widest the CPU has; a path the CPU lacks falls back to the next narrower one.
enum class ConvertPath { best, vec128, vec256, vec512 };
bool convert_path_available(ConvertPath path);
void convert_elements(ConvertPath path, const ConvertJob& job);

namespace convert_vec128 {
void convert_elements(const ConvertJob& job);
}
namespace convert_vec256 {
void convert_elements(const ConvertJob& job);
}
namespace convert_vec512 {
void convert_elements(const ConvertJob& job);
}

}  // namespace qel
