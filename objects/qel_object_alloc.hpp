// Internal: checked array allocation for the object records. Counts come from
// producers or boards, so the byte size is computed in 64 bits and refused when it
// overflows; an empty array is a valid (non-NULL) block, never a failure.
#pragma once
#include <cstdint>
#include <cstdlib>

#include "volume/qel_checked.hpp"

namespace qel {

// Block for count elements of elemBytes each; NULL when count < 0, the size overflows
// or memory runs out. zeroed selects calloc.
inline void* alloc_elements(int64_t count, int64_t elemBytes, bool zeroed = false) {
    auto bytes = checked_product({count, elemBytes});
    if (!bytes || static_cast<uint64_t>(*bytes) > SIZE_MAX) return nullptr;
    size_t n = *bytes > 0 ? static_cast<size_t>(*bytes) : 1;
    return zeroed ? std::calloc(n, 1) : std::malloc(n);
}

template <class T>
inline T* alloc_array(int64_t count, bool zeroed = false) {
    return static_cast<T*>(alloc_elements(count, static_cast<int64_t>(sizeof(T)), zeroed));
}

}  // namespace qel
