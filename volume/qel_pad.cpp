#include "volume/qel_pad.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "volume/qel_checked.hpp"
#include "volume/qel_flip.h"
#include "volume/qel_region.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

int normal_mode(int mode) {
    return mode == QEL_PAD_MIRROR || mode == QEL_PAD_REPLICATE ? mode : QEL_PAD_ZERO;
}

// Where the rows of the new grid come from. Within a row, the part [in0, in1) lies inside
// the source and is one block copy; the border elements outside it read the source
// elements listed in xs (empty for a zero border, whose elements stay as calloc left them).
struct Plan {
    int64_t o[3], s[3], n[3];
    int mode;
    int64_t in0, in1;
    std::unique_ptr<int32_t[]> xs;  // s[0] entries; only the border ones are used
};

template <class T>
void fill_channel(const Plan& plan, void*** src, void*** dst) {
    const int64_t ox = plan.o[0], sx = plan.s[0];
    const size_t inner = static_cast<size_t>(plan.in1 - plan.in0) * sizeof(T);
    for (int64_t z = 0; z < plan.s[2]; ++z) {
        const int64_t sz = qel::border_source(plan.o[2] + z, plan.n[2], plan.mode);
        if (sz < 0) continue;
        for (int64_t y = 0; y < plan.s[1]; ++y) {
            const int64_t sy = qel::border_source(plan.o[1] + y, plan.n[1], plan.mode);
            if (sy < 0) continue;
            const T* from = static_cast<const T*>(src[sz][sy]);
            T* to = static_cast<T*>(dst[z][y]);
            if (inner) std::memcpy(to + plan.in0, from + ox + plan.in0, inner);
            if (!plan.xs) continue;
            // memcpy rather than assignment keeps every bit pattern, NaN payloads included.
            for (int64_t k = 0; k < plan.in0; ++k) std::memcpy(to + k, from + plan.xs[k], sizeof(T));
            for (int64_t k = plan.in1; k < sx; ++k) std::memcpy(to + k, from + plan.xs[k], sizeof(T));
        }
    }
}

// Replaces vol by the grid of origin o and size s in its own coordinates, every voxel
// outside the volume filled by the border mode. Growing is the grid (-w, -w, -w) ..
// (n + w), cropping the box. The new record is built whole before the exchange, so any
// failure leaves vol as it was.
int regrid(QelRawVolumeData* vol, const int64_t o[3], const int64_t s[3], int mode) {
    if (!vol || !vol->size || !vol->unit || !vol->attribute || !vol->slices) return -1;
    Plan plan;
    plan.mode = normal_mode(mode);
    plan.n[0] = vol->size->nx;
    plan.n[1] = vol->size->ny;
    plan.n[2] = vol->size->nz;
    for (int a = 0; a < 3; ++a) {
        plan.o[a] = o[a];
        plan.s[a] = s[a];
        if (plan.n[a] <= 0) return -1;
    }
    if (!qel::checked_voxels({s[0], s[1], s[2]})) return -1;

    plan.in0 = std::clamp<int64_t>(-o[0], 0, s[0]);
    plan.in1 = std::clamp<int64_t>(plan.n[0] - o[0], plan.in0, s[0]);
    if (plan.mode != QEL_PAD_ZERO && (plan.in0 > 0 || plan.in1 < s[0])) {
        plan.xs.reset(new (std::nothrow) int32_t[s[0]]);
        if (!plan.xs) return -1;
        for (int64_t k = 0; k < s[0]; ++k)
            plan.xs[k] = static_cast<int32_t>(qel::border_source(o[0] + k, plan.n[0], plan.mode));
    }

    QelSize4i size{static_cast<int>(s[0]), static_cast<int>(s[1]), static_cast<int>(s[2]),
                   vol->size->nChannels};
    QelRawVolumeData* grid = QEL_NewRawVolumeData(&size, vol->unit, vol->attribute);
    if (!grid) return -1;
    // A channel of an invalid unit has elements of 0 bytes: it is carried through, unit and
    // attribute kept, with nothing to copy.
    for (int c = 0; c < size.nChannels; ++c) {
        qel::dispatch_unit_void(vol->unit[c], [&](auto tag) {
            fill_channel<typename decltype(tag)::type>(plan, vol->slices[c], grid->slices[c]);
        });
    }
    QEL_SwapRawVolumeData(vol, grid);
    QEL_DeleteRawVolumeData(grid);
    return 0;
}

// Grows by w on the axes marked in grow.
int expand(QelRawVolumeData* vol, int w, int mode, const bool grow[3]) {
    if (!vol || !vol->size || w < 0) return -1;
    const int64_t n[3] = {vol->size->nx, vol->size->ny, vol->size->nz};
    int64_t o[3], s[3];
    for (int a = 0; a < 3; ++a) {
        o[a] = grow[a] ? -int64_t{w} : 0;
        s[a] = grow[a] ? n[a] + 2 * int64_t{w} : n[a];
    }
    return regrid(vol, o, s, mode);
}

// Removes w from both sides of the axes marked in cut.
int shrink(QelRawVolumeData* vol, int w, const bool cut[3]) {
    if (!vol || !vol->size || w < 0) return -1;
    const int64_t n[3] = {vol->size->nx, vol->size->ny, vol->size->nz};
    int64_t o[3], s[3];
    for (int a = 0; a < 3; ++a) {
        o[a] = cut[a] ? w : 0;
        s[a] = cut[a] ? n[a] - 2 * int64_t{w} : n[a];
    }
    return regrid(vol, o, s, QEL_PAD_ZERO);
}

// A box (origin o, size s, no negative size) lying inside the volume.
bool inside(const int64_t o[3], const int64_t s[3], const QelRawVolumeData* vol) {
    const int64_t n[3] = {vol->size->nx, vol->size->ny, vol->size->nz};
    return qel::region_inside(o, s, n);
}

int& coordinate(QelPoint3i& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }
int& extent(QelSize3i& s, int axis) { return axis == 0 ? s.nx : axis == 1 ? s.ny : s.nz; }

}  // namespace

int QEL_ExpandRawVolumeData(QelRawVolumeData* vol, int w, int mode) {
    const bool axes[3] = {true, true, true};
    return expand(vol, w, mode, axes);
}

int QEL_ExpandRawVolumeDataXY(QelRawVolumeData* vol, int w, int mode) {
    const bool axes[3] = {true, true, false};
    return expand(vol, w, mode, axes);
}

int QEL_ExpandRawVolumeDataZ(QelRawVolumeData* vol, int w, int mode) {
    const bool axes[3] = {false, false, true};
    return expand(vol, w, mode, axes);
}

int QEL_CropRawVolumeData(QelRawVolumeData* vol, const QelBox3i* box, int mode) {
    int64_t o[3], s[3];
    if (!qel::box_extent(box, o, s)) return -1;
    return regrid(vol, o, s, mode);
}

int QEL_ShrinkRawVolumeData(QelRawVolumeData* vol, int w) {
    const bool axes[3] = {true, true, true};
    return shrink(vol, w, axes);
}

int QEL_ShrinkRawVolumeDataXY(QelRawVolumeData* vol, int w) {
    const bool axes[3] = {true, true, false};
    return shrink(vol, w, axes);
}

int QEL_ShrinkRawVolumeDataZ(QelRawVolumeData* vol, int w) {
    const bool axes[3] = {false, false, true};
    return shrink(vol, w, axes);
}

int QEL_MirrorBorderSlab(int dx, int dy, int dz, QelBox3i* slab, QelRawVolumeData* vol) {
    int64_t o[3], s[3];
    if (!vol || !vol->size || !qel::box_extent(slab, o, s)) return -1;
    const int64_t d[3] = {dx, dy, dz};
    const int axis = dx ? 0 : dy ? 1 : dz ? 2 : -1;
    if (axis < 0) return -1;
    const int64_t t[3] = {o[0] + d[0], o[1] + d[1], o[2] + d[2]};
    const bool overlap = std::abs(d[0]) < s[0] && std::abs(d[1]) < s[1] && std::abs(d[2]) < s[2];
    if (overlap || !inside(o, s, vol) || !inside(t, s, vol)) return -1;

    // The slab goes over layer by layer, turned round along the axis: the same result as a
    // copy followed by a flip, without the flip's buffer and so without a failure halfway.
    QelPoint3i layerOrigin{slab->origin->x, slab->origin->y, slab->origin->z};
    QelSize3i layerSize{slab->size->nx, slab->size->ny, slab->size->nz};
    extent(layerSize, axis) = 1;
    const QelBox3i layer{&layerOrigin, &layerSize};
    for (int c = 0; c < vol->size->nChannels; ++c) {
        for (int64_t j = 0; j < s[axis]; ++j) {
            coordinate(layerOrigin, axis) = static_cast<int>(o[axis] + j);
            QelPoint3i to{static_cast<int>(t[0]), static_cast<int>(t[1]), static_cast<int>(t[2])};
            coordinate(to, axis) = static_cast<int>(t[axis] + s[axis] - 1 - j);
            QEL_CopyBoxOfRawVolumeData(vol, c, vol, c, &layer, &to);
        }
    }
    slab->origin->x = static_cast<int>(t[0]);
    slab->origin->y = static_cast<int>(t[1]);
    slab->origin->z = static_cast<int>(t[2]);
    return 0;
}

int QEL_ReplicateBorderSlab(QelBox3i* slab, QelRawVolumeData* vol, int count, int axis) {
    int64_t o[3], s[3];
    if (!vol || !vol->size || !qel::box_extent(slab, o, s)) return -1;
    if (axis < 0 || axis > 2 || s[axis] != 1) return -1;
    int64_t far[3] = {o[0], o[1], o[2]};
    far[axis] += count;
    if (!inside(o, s, vol) || !inside(far, s, vol)) return -1;

    const int64_t step = count > 0 ? 1 : -1;
    const int64_t copies = count > 0 ? int64_t{count} : -int64_t{count};
    for (int c = 0; c < vol->size->nChannels; ++c) {
        for (int64_t k = 1; k <= copies; ++k) {
            QelPoint3i to{slab->origin->x, slab->origin->y, slab->origin->z};
            coordinate(to, axis) = static_cast<int>(o[axis] + k * step);
            QEL_CopyBoxOfRawVolumeData(vol, c, vol, c, slab, &to);
        }
    }
    return 0;
}
