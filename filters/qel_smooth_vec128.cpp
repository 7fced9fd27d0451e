// The convolution's row loop on 16-byte vectors: every x86-64 CPU has them.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "filters/qel_smooth_vec.hpp"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

#define QEL_VEC_NS convolve_vec128
#include "filters/qel_smooth_vec_impl.hpp"
