// Internal: regions of a channel's grid as 64-bit origin and size triples, so that no sum of
// an origin and a size overflows; the border rule shared by padding and the rank filters; the
// names of the axes that flips and turns take.
#pragma once
#include <cstdint>
#include <cstring>

#include "volume/qel_geometry.h"
#include "volume/qel_pad.h"

namespace qel {

// Origin and size of the box; false for a NULL box or a box missing a part.
inline bool box_extent(const QelBox3i* box, int64_t o[3], int64_t s[3]) {
    if (!box || !box->origin || !box->size) return false;
    o[0] = box->origin->x;
    o[1] = box->origin->y;
    o[2] = box->origin->z;
    s[0] = box->size->nx;
    s[1] = box->size->ny;
    s[2] = box->size->nz;
    return true;
}

// A region (origin o, size s) with no negative size lying inside the grid [0, n).
inline bool region_inside(const int64_t o[3], const int64_t s[3], const int64_t n[3]) {
    for (int a = 0; a < 3; ++a)
        if (s[a] < 0 || o[a] < 0 || o[a] + s[a] > n[a]) return false;
    return true;
}

// Source index that the border mode puts at index i of an axis of extent n >= 1; -1 for a
// zero border. Mirroring repeats with period 2n, so borders wider than n keep reflecting.
inline int64_t border_source(int64_t i, int64_t n, int mode) {
    if (i >= 0 && i < n) return i;
    if (mode == QEL_PAD_MIRROR) {
        int64_t r = i % (2 * n);
        if (r < 0) r += 2 * n;
        return r < n ? r : 2 * n - 1 - r;
    }
    if (mode == QEL_PAD_REPLICATE) return i < 0 ? 0 : n - 1;
    return -1;
}

// The axis that the whole text "x", "y" or "z" (either case) names: 0, 1 or 2; -1 for any
// other text and for NULL.
inline int axis_of_name(const char* name) {
    if (!name) return -1;
    if (!std::strcmp(name, "X") || !std::strcmp(name, "x")) return 0;
    if (!std::strcmp(name, "Y") || !std::strcmp(name, "y")) return 1;
    if (!std::strcmp(name, "Z") || !std::strcmp(name, "z")) return 2;
    return -1;
}

}  // namespace qel
