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

// The vector widths of the *_vec<bits>.cpp files: vec128 runs on every x86-64 CPU, vec256 needs
// AVX2, vec512 the AVX-512 subsets above. best is the widest the CPU runs.
enum class VecPath { best, vec128, vec256, vec512 };

inline bool vec_path_available(VecPath path) {
    switch (path) {
        case VecPath::vec512: return cpu_has_avx512();
        case VecPath::vec256: return cpu_has_avx2();
        default: return true;
    }
}

// best becomes the widest width the CPU runs; a width it lacks, the next narrower one.
inline VecPath resolve_vec_path(VecPath path) {
    if (path == VecPath::best) path = VecPath::vec512;
    if (path == VecPath::vec512 && !cpu_has_avx512()) path = VecPath::vec256;
    if (path == VecPath::vec256 && !cpu_has_avx2()) path = VecPath::vec128;
    return path;
}

}  // namespace qel
