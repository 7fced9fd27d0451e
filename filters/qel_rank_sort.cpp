// The float sort that fixes every rank-filter result: a median-of-three quicksort with
// straight insertion for short parts. Its exact steps decide where NaNs and signed zeros
// end up, so the fast selection paths fall back to it whenever those could matter.
#include <cstdint>

#include "filters/qel_rank.h"
#include "filters/qel_rank_slab.hpp"

namespace {

inline void swap_floats(float& a, float& b) {
    const float t = a;
    a = b;
    b = t;
}

}  // namespace

void qel::sort_floats(uint32_t n, float* buf) {
    if (n < 1 || buf == nullptr) return;
    // The steps index from 1; element i lives at buf[i - 1].
    auto a = [buf](uint32_t i) -> float& { return buf[i - 1]; };
    // The larger part is always the one stacked, so the depth stays within log2(n / 7);
    // 32 pairs cover every 32-bit count.
    uint32_t stack[64];
    int top = 0;
    uint32_t l = 1;
    uint32_t r = n;
    for (;;) {
        if (r - l < 7) {
            for (uint32_t j = l + 1; j <= r; ++j) {
                const float key = a(j);
                uint32_t i = j - 1;
                // Bounded by index 1, not by l: a NaN key travels to the front.
                while (i >= 1 && !(a(i) <= key)) {
                    a(i + 1) = a(i);
                    --i;
                }
                a(i + 1) = key;
            }
            if (top == 0) return;
            r = stack[--top];
            l = stack[--top];
            continue;
        }
        // In 64 bits: the plain sum wraps for counts past 2^31.
        const uint32_t k = static_cast<uint32_t>((uint64_t{l} + r) >> 1);
        swap_floats(a(k), a(l + 1));
        if (a(l + 1) > a(r)) swap_floats(a(l + 1), a(r));
        if (a(l) > a(r)) swap_floats(a(l), a(r));
        if (a(l + 1) > a(l)) swap_floats(a(l + 1), a(l));
        // a(l + 1) <= pivot <= a(r) (or a NaN there), so neither scan leaves [l + 1, r].
        uint32_t i = l + 1;
        uint32_t j = r;
        const float p = a(l);
        for (;;) {
            do ++i; while (a(i) < p);
            do --j; while (a(j) > p);
            if (j < i) break;
            swap_floats(a(i), a(j));
        }
        a(l) = a(j);
        a(j) = p;
        if (r - i + 1 >= j - l) {
            stack[top++] = i;
            stack[top++] = r;
            r = j - 1;
        } else {
            stack[top++] = l;
            stack[top++] = j - 1;
            l = i;
        }
    }
}

void QEL_SortFloats(uint32_t n, float* a) {
    if (a == nullptr) return;
    qel::sort_floats(n, a + 1);
}
