// Helpers shared by the tests: the per-unit samplers of qel_sample.h gathered by element type,
// so that typed tests reach the member of their unit.
#pragma once
#include <cstdint>

#include "volume/qel_sample.h"

namespace qeltest {

template <class T>
struct SamplersOf;

#define QEL_TEST_SAMPLERS(S, T)                                           \
    template <>                                                           \
    struct SamplersOf<T> {                                                \
        static constexpr auto nearest1b = QEL_SampleNearest1DBounded_##S; \
        static constexpr auto nearest2b = QEL_SampleNearest2DBounded_##S; \
        static constexpr auto nearest3b = QEL_SampleNearest3DBounded_##S; \
        static constexpr auto nearest1 = QEL_SampleNearest1D_##S;         \
        static constexpr auto nearest2 = QEL_SampleNearest2D_##S;         \
        static constexpr auto nearest3 = QEL_SampleNearest3D_##S;         \
        static constexpr auto linear1c = QEL_SampleLinear1DClamped_##S;   \
        static constexpr auto linear2c = QEL_SampleLinear2DClamped_##S;   \
        static constexpr auto linear3c = QEL_SampleLinear3DClamped_##S;   \
        static constexpr auto linear1 = QEL_SampleLinear1D_##S;           \
        static constexpr auto linear2 = QEL_SampleLinear2D_##S;           \
        static constexpr auto linear3 = QEL_SampleLinear3D_##S;           \
    };
QEL_TEST_SAMPLERS(Uint8, uint8_t)
QEL_TEST_SAMPLERS(Int8, int8_t)
QEL_TEST_SAMPLERS(Uint16, uint16_t)
QEL_TEST_SAMPLERS(Int16, int16_t)
QEL_TEST_SAMPLERS(Uint32, uint32_t)
QEL_TEST_SAMPLERS(Int32, int32_t)
QEL_TEST_SAMPLERS(Float32, float)
QEL_TEST_SAMPLERS(Float64, double)
#undef QEL_TEST_SAMPLERS

}  // namespace qeltest
