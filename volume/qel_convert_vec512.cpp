// The conversion's element loop on 64-byte vectors, compiled for AVX-512 and used only when the
// CPU has it. Every header is included before the target switch, so that inline code shared with
// the rest of the library is never built for AVX-512 here.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "volume/qel_convert.h"
#include "volume/qel_convert_vec.hpp"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_vec_target.hpp"

QEL_VEC_TARGET_BEGIN("avx512f,avx512bw,avx512vl,avx512dq,prefer-vector-width=512")

#define QEL_VEC_NS convert_vec512
#include "volume/qel_convert_vec_impl.hpp"

QEL_VEC_TARGET_END
