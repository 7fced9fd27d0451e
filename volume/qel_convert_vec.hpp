// Internal: the element loop of the unit conversion, built once per vector width (VecPath). Every path
// gives the bytes of the per-voxel rule (single precision, the map, the saturation of the
// clamping maps into units 4 and 5, qel::store_real) for every input, NaN and infinities
// included; the wider ones are only faster.
#pragma once
#include <cstdint>

#include "volume/qel_cpu.hpp"
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

void convert_elements(VecPath path, const ConvertJob& job);

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
