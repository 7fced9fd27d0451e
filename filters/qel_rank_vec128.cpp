// Vector rank slabs on 16-byte vectors: every x86-64 CPU has them.
#define QEL_RANK_VEC_NS rank_vec128
#define QEL_RANK_VEC_BYTES 16
#include "filters/qel_rank_vec_impl.hpp"

namespace qel::rank_vec128 {
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
}  // namespace qel::rank_vec128
