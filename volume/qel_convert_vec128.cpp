// The conversion's element loop on 16-byte vectors: every x86-64 CPU has them.
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

#define QEL_VEC_NS convert_vec128
#include "volume/qel_convert_vec_impl.hpp"
