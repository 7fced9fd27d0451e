// Internal: a hint for large blocks: the volume records' voxel blocks and the scratch and result
// blocks of the segmentation filters.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qel {

// Asks the kernel to back a large block that has not been touched yet with huge pages, so
// that filling it costs a fraction of the page faults. Only a hint: nothing depends on it.
inline void advise_huge_pages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr size_t kHugePage = size_t{2} << 20;
    if (!block || bytes < 2 * kHugePage) return;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return;
    const uintptr_t page = static_cast<uintptr_t>(pageSize);
    const uintptr_t lo = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t hi = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
    if (hi > lo) (void)madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace qel
