// The convolution's row loop on 32-byte vectors, compiled for AVX2 and used only when the CPU
// has it. Every header is included before the target switch, so that inline code shared with the
// rest of the library is never built for AVX2 here.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "filters/qel_smooth_vec.hpp"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_vec_target.hpp"

QEL_VEC_TARGET_BEGIN("avx2")

#define QEL_VEC_NS convolve_vec256
#include "filters/qel_smooth_vec_impl.hpp"

QEL_VEC_TARGET_END
