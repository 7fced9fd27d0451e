// Vector rank slabs on 16-byte vectors: every x86-64 CPU has them.
#define QEL_RANK_VEC_NS rank_vec128
#define QEL_RANK_VEC_BYTES 16
#include "filters/qel_rank_vec_impl.hpp"
