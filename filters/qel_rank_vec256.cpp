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

#pragma GCC push_options
#pragma GCC target("avx2")

#define QEL_RANK_VEC_NS rank_vec256
#define QEL_RANK_VEC_BYTES 32
#include "filters/qel_rank_vec_impl.hpp"

namespace qel::rank_vec256 {
#define QEL_RANK_VEC_INSTANTIATE(T)                                      \
    template void rank_slab<T>(T*, const SlabArgs&, const T*, int, RankScratch&); \
    template void min_slab<T>(T*, const SlabArgs&, const T*);          \
    template void max_slab<T>(T*, const SlabArgs&, const T*);
QEL_RANK_VEC_INSTANTIATE(uint8_t)
QEL_RANK_VEC_INSTANTIATE(int8_t)
QEL_RANK_VEC_INSTANTIATE(uint16_t)
QEL_RANK_VEC_INSTANTIATE(int16_t)
QEL_RANK_VEC_INSTANTIATE(uint32_t)
QEL_RANK_VEC_INSTANTIATE(int32_t)
QEL_RANK_VEC_INSTANTIATE(float)
QEL_RANK_VEC_INSTANTIATE(double)
#undef QEL_RANK_VEC_INSTANTIATE
}  // namespace qel::rank_vec256

#pragma GCC pop_options
