// Internal: what the CPU offers beyond x86-64, asked once. Code built for a wider target runs
// only where these say so.
#pragma once

namespace qel {

inline bool cpu_has_avx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

// The AVX-512 subsets the 64-byte paths are built for: F, BW, VL and DQ.
inline bool cpu_has_avx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
    }();
    return has;
}

}  // namespace qel
