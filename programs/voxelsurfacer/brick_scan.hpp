// Internal: what "inside" means for the two kinds of mask, and the scan for surface voxels.
#pragma once
#include <cstdint>

namespace voxelsurfacer {

// Grey masks: 8-bit, non-zero is inside.
struct SetByte {
    using Elem = uint8_t;
    bool operator()(uint8_t v) const { return v != 0; }
};

// Packed RGBA masks: inside when the alpha byte is above the threshold.
struct OpaqueWord {
    using Elem = uint32_t;
    uint8_t threshold;
    bool operator()(uint32_t w) const { return (w & 0xFFu) > threshold; }
};

// Counts the inside face neighbours of (x, y, z).
template <class Inside>
int count_inside_neighbours(void*** slices, int x, int y, int z, Inside inside) {
    using T = typename Inside::Elem;
    auto at = [&](int i, int j, int k) { return static_cast<const T*>(slices[k][j])[i]; };
    return int(inside(at(x - 1, y, z))) + int(inside(at(x + 1, y, z))) + int(inside(at(x, y - 1, z))) +
           int(inside(at(x, y + 1, z))) + int(inside(at(x, y, z - 1))) + int(inside(at(x, y, z + 1)));
}

// Visits every surface voxel (inside, with fewer than 6 inside face neighbours) of the
// interior 1..n-2 of a padded mask, z outermost, x innermost: visit(x, y, z, n) with n the
// inside face neighbours; the scan stops when visit returns false.
template <class Inside, class Visit>
void scan_surface(void*** slices, int nx, int ny, int nz, Inside inside, Visit&& visit) {
    using T = typename Inside::Elem;
    for (int z = 1; z < nz - 1; ++z) {
        for (int y = 1; y < ny - 1; ++y) {
            const T* row = static_cast<const T*>(slices[z][y]);
            const T* below = static_cast<const T*>(slices[z][y - 1]);
            const T* above = static_cast<const T*>(slices[z][y + 1]);
            const T* front = static_cast<const T*>(slices[z - 1][y]);
            const T* back = static_cast<const T*>(slices[z + 1][y]);
            for (int x = 1; x < nx - 1; ++x) {
                if (!inside(row[x])) continue;
                const int n = int(inside(row[x - 1])) + int(inside(row[x + 1])) + int(inside(below[x])) +
                              int(inside(above[x])) + int(inside(front[x])) + int(inside(back[x]));
                if (n < 6 && !visit(x, y, z, n)) return;
            }
        }
    }
}

}  // namespace voxelsurfacer
