// Vector rank slabs on 32-byte vectors, compiled for AVX2 and used only when the CPU has it.
// Every header is included before the target switch, so that inline code shared with the
// rest of the library is never built for AVX2 here.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "filters/qel_rank_network.hpp"
#include "filters/qel_rank_slab.hpp"
#include "volume/qel_vec_target.hpp"

QEL_VEC_TARGET_BEGIN("avx2")

#define QEL_RANK_VEC_NS rank_vec256
#define QEL_RANK_VEC_BYTES 32
#include "filters/qel_rank_vec_impl.hpp"

QEL_VEC_TARGET_END
