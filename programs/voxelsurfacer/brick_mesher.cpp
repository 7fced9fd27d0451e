// The mesher pipelines: working volumes, surface scan, colours and the group of bricks.
//
// Voxels outside the volume or outside the volume of interest are never inside: the mask is
// thresholded first and only then cleared outside the box and given a zero border, so that no
// threshold, however low, can select them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

#include "brick_mesher.h"
#include "brick_scan.hpp"
#include "filters/qel_components.h"
#include "filters/qel_resample.h"
#include "filters/qel_smooth.h"
#include "filters/qel_threshold.h"
#include "ipc/qel_board_group.h"
#include "ipc/qel_ipc.h"
#include "objects/qel_color.h"
#include "objects/qel_data_objects.h"
#include "values/qel_values.h"
#include "volume/qel_checked.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_flip.h"
#include "volume/qel_pad.h"
#include "volume/qel_store.hpp"
#include "volume/qel_volume.h"

namespace {

using voxelsurfacer::OpaqueWord;
using voxelsurfacer::SetByte;

struct VolumeDeleter {
    void operator()(QelRawVolumeData* v) const { QEL_DeleteRawVolumeData(v); }
};
using VolumePtr = std::unique_ptr<QelRawVolumeData, VolumeDeleter>;

struct BoxDeleter {
    void operator()(QelBox3i* b) const { QEL_DeleteBox3i(b); }
};
using BoxPtr = std::unique_ptr<QelBox3i, BoxDeleter>;

struct GroupDeleter {
    void operator()(QelDataObjectGroup* g) const { QEL_DeleteDataObjectGroup(g); }
};
using GroupPtr = std::unique_ptr<QelDataObjectGroup, GroupDeleter>;

struct TableDeleter {
    void operator()(QelComponentTable* t) const { QEL_DeleteComponentTable(t); }
};
using TablePtr = std::unique_ptr<QelComponentTable, TableDeleter>;

// Grey bytes become colours through this single-precision factor, not a division.
constexpr float kByteToUnit = 0.003921569f;

void*** channel0(const QelRawVolumeData* v) { return v->slices[0]; }

void dims_of(const QelRawVolumeData* v, int out[3]) {
    out[0] = v->size->nx;
    out[1] = v->size->ny;
    out[2] = v->size->nz;
}

// A one-channel volume of the given size, unit and attribute, zero-filled; NULL when the
// size does not fit.
VolumePtr new_channel(const int64_t dims[3], int unit, int attribute) {
    for (int a = 0; a < 3; ++a)
        if (dims[a] < 1 || !qel::fits_int32(dims[a])) return nullptr;
    const QelSize3i size{static_cast<int>(dims[0]), static_cast<int>(dims[1]), static_cast<int>(dims[2])};
    return VolumePtr(QEL_NewSingleChannelRawVolumeData(&size, unit, attribute));
}

bool box_is_empty(const QelBox3i* box) {
    return box->size->nx <= 0 || box->size->ny <= 0 || box->size->nz <= 0;
}

// The host's volume of interest clipped to the volume, or NULL when there is none (no box,
// or a size of 0 on some axis). A box wholly outside comes back with a size <= 0.
BoxPtr clipped_voi(const QelBox3i* voi, const QelRawVolumeData* vol, bool* failed) {
    *failed = false;
    if (!voi || !voi->origin || !voi->size) return nullptr;
    if (voi->size->nx == 0 || voi->size->ny == 0 || voi->size->nz == 0) return nullptr;
    BoxPtr box(QEL_CopyBox3i(voi));
    if (!box) {
        *failed = true;
        return nullptr;
    }
    QEL_ClipBoxToRawVolumeData(box.get(), vol);
    return box;
}

// Channel 0 of vol with everything outside box replaced: by 0, or by the unit's fill
// minimum. box NULL: a plain copy of the channel.
VolumePtr restricted_channel(const QelRawVolumeData* vol, const QelBox3i* box, bool fillMinimum) {
    if (!box) return VolumePtr(QEL_ExtractChannelOfRawVolumeData(vol, 0));
    const int64_t dims[3] = {vol->size->nx, vol->size->ny, vol->size->nz};
    VolumePtr out = new_channel(dims, vol->unit[0], vol->attribute[0]);
    if (!out) return nullptr;
    if (fillMinimum) QEL_FillMinimumOfRawVolumeData(out.get(), 0);
    if (!box_is_empty(box)) QEL_CopyBoxOfRawVolumeData(vol, 0, out.get(), 0, box, box->origin);
    return out;
}

// The halving of the Low resolution: every axis that halves to at least 2 voxels does, and
// is drawn twice as wide; the others keep their voxels and their width.
struct Grid {
    int size[3];
    float scale[3];
};

Grid working_grid(const QelRawVolumeData* vol, int resolutionMode) {
    Grid g;
    dims_of(vol, g.size);
    for (int a = 0; a < 3; ++a) {
        g.scale[a] = 1.0f;
        if (resolutionMode == MESHER_RESOLUTION_LOW && g.size[a] / 2 >= 2) {
            g.size[a] /= 2;
            g.scale[a] = 2.0f;
        }
    }
    return g;
}

// Nearest-sample resize to the grid. An axis that keeps its size is first grown by one
// replicated layer on each side and cut back afterwards, so that it keeps every voxel: the
// resize cannot take an axis of 1 and fills the last slice with a copy of the one before it.
int resize_to_grid(QelRawVolumeData* vol, const Grid& g) {
    int n[3];
    dims_of(vol, n);
    bool kept[3];
    bool anyKept = false, anyHalved = false;
    for (int a = 0; a < 3; ++a) {
        kept[a] = g.size[a] == n[a];
        anyKept |= kept[a];
        anyHalved |= !kept[a];
    }
    if (!anyHalved) return 0;
    if (!anyKept) return QEL_ResizeRawVolumeData(vol, g.size, 0);

    QelPoint3i origin{kept[0] ? -1 : 0, kept[1] ? -1 : 0, kept[2] ? -1 : 0};
    QelSize3i size{kept[0] ? n[0] + 2 : n[0], kept[1] ? n[1] + 2 : n[1], kept[2] ? n[2] + 2 : n[2]};
    BoxPtr grow(QEL_NewBox3i(&origin, &size));
    if (!grow || QEL_CropRawVolumeData(vol, grow.get(), QEL_PAD_REPLICATE) != 0) return -1;
    const int target[3] = {kept[0] ? size.nx : g.size[0], kept[1] ? size.ny : g.size[1],
                           kept[2] ? size.nz : g.size[2]};
    if (QEL_ResizeRawVolumeData(vol, target, 0) != 0) return -1;
    QelPoint3i backOrigin{kept[0] ? 1 : 0, kept[1] ? 1 : 0, kept[2] ? 1 : 0};
    QelSize3i backSize{g.size[0], g.size[1], g.size[2]};
    BoxPtr back(QEL_NewBox3i(&backOrigin, &backSize));
    if (!back) return -1;
    return QEL_CropRawVolumeData(vol, back.get(), QEL_PAD_ZERO);
}

// vol surrounded by a one-voxel border of its unit's fill minimum.
VolumePtr padded_with_fill_minimum(const QelRawVolumeData* vol) {
    const int64_t dims[3] = {int64_t{vol->size->nx} + 2, int64_t{vol->size->ny} + 2, int64_t{vol->size->nz} + 2};
    VolumePtr out = new_channel(dims, vol->unit[0], vol->attribute[0]);
    if (!out) return nullptr;
    QEL_FillMinimumOfRawVolumeData(out.get(), 0);
    BoxPtr whole(QEL_NewBoxOfRawVolumeData(vol));
    if (!whole) return nullptr;
    const QelPoint3i at{1, 1, 1};
    QEL_CopyBoxOfRawVolumeData(vol, 0, out.get(), 0, whole.get(), &at);
    return out;
}

// Grey mask: 8-bit, 1 where channel 0 reaches the threshold inside the box, 0 elsewhere,
// on the working grid with a zero border.
VolumePtr grey_mask(const QelRawVolumeData* vol, float threshold, const QelBox3i* box, const Grid& g) {
    VolumePtr m(QEL_ExtractChannelOfRawVolumeData(vol, 0));
    if (!m) return nullptr;
    QEL_ThresholdChannelAtFloat(m.get(), 0, threshold);
    if (QEL_ConvertVoxelUnit(m.get(), 0, QEL_VOXEL_UNIT_UINT8, nullptr, nullptr, 0) != 0) return nullptr;
    if (box) {
        m = restricted_channel(m.get(), box, false);
        if (!m) return nullptr;
    }
    if (resize_to_grid(m.get(), g) != 0) return nullptr;
    if (QEL_ExpandRawVolumeData(m.get(), 1, QEL_PAD_ZERO) != 0) return nullptr;
    return m;
}

// Grey shade: channel 0 with the fill minimum outside the box, on the working grid, padded
// with the fill minimum, mapped from the grey window onto 0..255 (clamped) in 8 bits.
VolumePtr grey_shade(const QelRawVolumeData* vol, const QelValueRange* window, const QelBox3i* box,
                     const Grid& g) {
    VolumePtr t = restricted_channel(vol, box, true);
    if (!t || resize_to_grid(t.get(), g) != 0) return nullptr;
    VolumePtr shade = padded_with_fill_minimum(t.get());
    if (!shade) return nullptr;
    const QelValueRange bytes{0.0f, 255.0f};
    if (QEL_ConvertVoxelUnit(shade.get(), 0, QEL_VOXEL_UNIT_UINT8, window, &bytes, QEL_MAP_LINEAR_CLAMP) != 0)
        return nullptr;
    return shade;
}

// RGBA mask: the packed words, 0 outside the box and on the border (alpha 0 is never inside).
VolumePtr rgba_mask(const QelRawVolumeData* vol, const QelBox3i* box, const Grid& g) {
    VolumePtr m = restricted_channel(vol, box, false);
    if (!m || resize_to_grid(m.get(), g) != 0) return nullptr;
    if (QEL_ExpandRawVolumeData(m.get(), 1, QEL_PAD_ZERO) != 0) return nullptr;
    return m;
}

// The alpha bytes of a packed mask as an 8-bit volume of the same size, smoothed.
VolumePtr alpha_volume(const QelRawVolumeData* mask, float sigma) {
    const int64_t dims[3] = {mask->size->nx, mask->size->ny, mask->size->nz};
    VolumePtr a = new_channel(dims, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN);
    if (!a) return nullptr;
    const int64_t n = int64_t{dims[0]} * dims[1] * dims[2];
    const uint32_t* words = static_cast<const uint32_t*>(mask->data[0]);
    uint8_t* bytes = static_cast<uint8_t*>(a->data[0]);
    for (int64_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(words[i] & 0xFFu);
    QEL_GaussianSmoothChannel(a.get(), 0, sigma);
    return a;
}

// Keeps the `components` largest 26-connected components of an 8-bit 0/1 mask, which stays
// 8-bit 0/1. The kept labels are made 1 before the mask goes back to 8 bits, so no label is
// lost to its low byte. A count below 0 keeps none, one above the number found keeps all.
int keep_largest_components(QelRawVolumeData* mask, int components) {
    const int n = QEL_LabelComponents(mask, 0, 26);
    TablePtr table(QEL_NewComponentTable(mask, 0, n));
    fprintf(stderr, "%d components\n", n);
    if (n <= 0 || !table) return -1;
    if (QEL_RankComponentsBySize(table.get(), -1) != 0) return -1;
    const int k = std::clamp(components, 0, n);
    std::vector<unsigned> labels(static_cast<size_t>(k) + 1);
    std::iota(labels.begin(), labels.end(), 1u);
    if (QEL_KeepComponents(table.get(), static_cast<unsigned>(k), labels.data()) != 0) return -1;
    table.reset();
    if (QEL_BinarizeChannel(mask, 0) != 0) return -1;
    return QEL_ConvertVoxelUnit(mask, 0, QEL_VOXEL_UNIT_UINT8, nullptr, nullptr, 0);
}

enum class Colour { Grey, Rgba, Uniform, HybridGrey, HybridRgba };

// The brick colour rule of a run. Hybrid colouring needs the gradient mesher and a box on
// the full-resolution grid; otherwise it is uniform, as is every unknown mode.
Colour colour_rule(int colorMode, bool smooth, bool rgba, bool hybridBox) {
    if (colorMode == MESHER_COLOR_ORIGINAL) return rgba ? Colour::Rgba : Colour::Grey;
    if (colorMode == MESHER_COLOR_HYBRID && smooth && hybridBox) return rgba ? Colour::HybridRgba : Colour::HybridGrey;
    return Colour::Uniform;
}

struct Run {
    Run(MesherSettings* settings, bool isSmooth, bool isRgba)
        : s(settings), smooth(isSmooth), rgba(isRgba), grid(working_grid(settings->volume, settings->resolutionMode)) {}

    MesherSettings* s;
    bool smooth;
    bool rgba;
    Grid grid;
    uint8_t alphaThreshold = 0;
    VolumePtr mask;
    VolumePtr shade;    // grey: the shade bytes; RGBA gradient: the smoothed alpha bytes
    Colour colour = Colour::Uniform;
    bool hybridBox = false;
    int boxLo[3] = {0, 0, 0};
    int boxHi[3] = {0, 0, 0};
};

// The colour rule of the run and, for the gradient mesher at full resolution, the box whose
// planes hybrid colouring picks out, in padded coordinates. A box clipped to nothing has no
// inside voxels to colour.
void choose_colours(Run& run, const QelBox3i* box) {
    if (run.smooth && box && !box_is_empty(box) && run.s->resolutionMode != MESHER_RESOLUTION_LOW) {
        run.hybridBox = true;
        const int origin[3] = {box->origin->x, box->origin->y, box->origin->z};
        const int size[3] = {box->size->nx, box->size->ny, box->size->nz};
        for (int a = 0; a < 3; ++a) {
            run.boxLo[a] = origin[a] + 1;
            run.boxHi[a] = run.boxLo[a] + size[a] - 1;
        }
    }
    run.colour = colour_rule(run.s->colorMode, run.smooth, run.rgba, run.hybridBox);
}

void grey_rgb(uint8_t v, float rgb[3]) { rgb[0] = rgb[1] = rgb[2] = static_cast<float>(v) * kByteToUnit; }

void rgba_rgb(uint32_t w, float rgb[3]) {
    rgb[0] = static_cast<float>((w >> 24) & 0xFFu) * kByteToUnit;
    rgb[1] = static_cast<float>((w >> 16) & 0xFFu) * kByteToUnit;
    rgb[2] = static_cast<float>((w >> 8) & 0xFFu) * kByteToUnit;
}

// On one of the six planes of the box, not only on its faces.
bool on_box_plane(const Run& run, int x, int y, int z) {
    const int c[3] = {x, y, z};
    for (int a = 0; a < 3; ++a)
        if (c[a] == run.boxLo[a] || c[a] == run.boxHi[a]) return true;
    return false;
}

void brick_colour(const Run& run, int x, int y, int z, float rgb[3]) {
    auto shade_byte = [&] { return static_cast<const uint8_t*>(channel0(run.shade.get())[z][y])[x]; };
    auto mask_word = [&] { return static_cast<const uint32_t*>(channel0(run.mask.get())[z][y])[x]; };
    Colour c = run.colour;
    if (c == Colour::HybridGrey || c == Colour::HybridRgba) {
        if (on_box_plane(run, x, y, z))
            c = c == Colour::HybridGrey ? Colour::Grey : Colour::Rgba;
        else
            c = Colour::Uniform;
    }
    switch (c) {
        case Colour::Grey: grey_rgb(shade_byte(), rgb); return;
        case Colour::Rgba: rgba_rgb(mask_word(), rgb); return;
        default:
            rgb[0] = run.s->uniformColor[0];
            rgb[1] = run.s->uniformColor[1];
            rgb[2] = run.s->uniformColor[2];
            return;
    }
}

QelTriangularMesh* make_brick(const Run& run, int x, int y, int z, int n) {
    void*** mask = channel0(run.mask.get());
    if (run.rgba) {
        if (run.smooth)
            return MakeBrickMeshSmoothRgba(mask, channel0(run.shade.get()), x, y, z, run.grid.scale, n,
                                           run.alphaThreshold);
        return MakeBrickMeshFlatRgba(mask, x, y, z, run.grid.scale, n, run.alphaThreshold);
    }
    if (run.smooth) return MakeBrickMeshSmooth(mask, channel0(run.shade.get()), x, y, z, run.grid.scale, n);
    return MakeBrickMeshFlat(mask, x, y, z, run.grid.scale, n);
}

template <class Visit>
void scan(const Run& run, Visit&& visit) {
    const QelRawVolumeData* m = run.mask.get();
    if (run.rgba)
        voxelsurfacer::scan_surface(channel0(m), m->size->nx, m->size->ny, m->size->nz,
                                    OpaqueWord{run.alphaThreshold}, visit);
    else
        voxelsurfacer::scan_surface(channel0(m), m->size->nx, m->size->ny, m->size->nz, SetByte{}, visit);
}

// Counting pass, group, brick pass and replacement.
int build_group(Run& run) {
    int count = 0;
    scan(run, [&](int, int, int, int) {
        ++count;
        return true;
    });
    if (!run.rgba) fprintf(stderr, run.smooth ? "count = %d\n" : "\ncount = %d\n", count);

    GroupPtr group(QEL_NewDataObjectGroup(count));
    if (!group) return -1;
    group->count = count;
    int made = 0;
    bool whole = true;
    scan(run, [&](int x, int y, int z, int n) {
        float rgb[3];
        brick_colour(run, x, y, z, rgb);
        QelColor* colour = QEL_NewColor(rgb[0], rgb[1], rgb[2], run.s->alpha);
        QelTriangularMesh* brick = colour ? make_brick(run, x, y, z, n) : nullptr;
        if (!brick) {
            QEL_DeleteColor(colour);
            fprintf(stderr, "Warning: not entire shape (count = %d)\n", made);
            whole = false;
            return false;
        }
        group->colours[made] = colour;
        group->types[made] = QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH;
        group->flags[made] = 1;
        group->objects[made] = brick;
        ++made;
        return true;
    });
    group->count = made;
    if (whole && run.rgba) fprintf(stderr, "count = %d\n", made);
    return InstallMeshGroup(run.s, group.release());
}

bool has_volume(const MesherSettings* s) {
    const QelRawVolumeData* v = s ? s->volume : nullptr;
    return v && v->size && v->size->nChannels >= 1 && v->unit && v->attribute && v->data && v->slices &&
           QEL_IsValidVoxelUnit(v->unit[0]) && qel::checked_voxels({v->size->nx, v->size->ny, v->size->nz});
}

int mesh_grey(MesherSettings* s, const QelValueRange* greyscale, const QelBox3i* voi, bool smooth) {
    if (!has_volume(s) || s->volume->attribute[0] != QEL_ATTRIBUTE_PLAIN) return -1;
    const QelRawVolumeData* vol = s->volume;
    const bool needShade = smooth || s->colorMode == MESHER_COLOR_ORIGINAL;
    if (needShade && !greyscale) return -1;
    bool failed;
    BoxPtr box = clipped_voi(voi, vol, &failed);
    if (failed) return -1;

    Run run(s, smooth, false);
    if (needShade) {
        run.shade = grey_shade(vol, greyscale, box.get(), run.grid);
        if (!run.shade) return -1;
        if (smooth) QEL_GaussianSmoothChannel(run.shade.get(), 0, s->sigma);
    }
    run.mask = grey_mask(vol, s->threshold, box.get(), run.grid);
    if (!run.mask) return -1;
    if (s->ccAnalysis == 1 && keep_largest_components(run.mask.get(), s->components) != 0) return -1;

    choose_colours(run, box.get());
    return build_group(run);
}

int mesh_rgba(MesherSettings* s, const QelBox3i* voi, bool smooth) {
    if (!has_volume(s) || s->volume->attribute[0] != QEL_ATTRIBUTE_RGBA ||
        s->volume->unit[0] != QEL_VOXEL_UNIT_UINT32)
        return -1;
    const QelRawVolumeData* vol = s->volume;
    bool failed;
    BoxPtr box = clipped_voi(voi, vol, &failed);
    if (failed) return -1;

    Run run(s, smooth, true);
    run.mask = rgba_mask(vol, box.get(), run.grid);
    if (!run.mask) return -1;
    run.alphaThreshold = qel::store_real<uint8_t>(s->threshold);
    fprintf(stderr, "alpha_thresh = %d\n", run.alphaThreshold);
    if (smooth) {
        run.shade = alpha_volume(run.mask.get(), s->sigma);
        if (!run.shade) return -1;
    }
    choose_colours(run, box.get());
    return build_group(run);
}

}  // namespace

int InstallMeshGroup(MesherSettings* settings, QelDataObjectGroup* group) {
    if (!settings || !group) {
        QEL_DeleteDataObjectGroup(group);
        return -1;
    }
    if (QELipc_SizeOfDataObjectGroup(group) < 0) {
        fprintf(stderr, "RunMesher: mesh too large for the host, previous mesh kept\n");
        QEL_DeleteDataObjectGroup(group);
        return -1;
    }
    QEL_DeleteDataObjectGroup(settings->group);
    settings->group = group;
    return 0;
}

int MeshGreySmooth(MesherSettings* s, const QelValueRange* greyscale, const QelBox3i* voi) {
    return mesh_grey(s, greyscale, voi, true);
}

int MeshRgbaSmooth(MesherSettings* s, const QelValueRange*, const QelBox3i* voi) { return mesh_rgba(s, voi, true); }

int MeshGreyFlat(MesherSettings* s, const QelValueRange* greyscale, const QelBox3i* voi) {
    return mesh_grey(s, greyscale, voi, false);
}

int MeshRgbaFlat(MesherSettings* s, const QelValueRange*, const QelBox3i* voi) { return mesh_rgba(s, voi, false); }

int MeshSmooth(MesherSettings* s, const QelValueRange* greyscale, const QelBox3i* voi) {
    if (!has_volume(s)) return -1;
    switch (s->volume->attribute[0]) {
        case QEL_ATTRIBUTE_PLAIN: return MeshGreySmooth(s, greyscale, voi);
        case QEL_ATTRIBUTE_RGBA: return MeshRgbaSmooth(s, greyscale, voi);
        default: return -1;
    }
}

int MeshFlat(MesherSettings* s, const QelValueRange* greyscale, const QelBox3i* voi) {
    if (!has_volume(s)) return -1;
    switch (s->volume->attribute[0]) {
        case QEL_ATTRIBUTE_PLAIN: return MeshGreyFlat(s, greyscale, voi);
        case QEL_ATTRIBUTE_RGBA: return MeshRgbaFlat(s, greyscale, voi);
        default: return -1;
    }
}

int MeshVolume(MesherSettings* s, const QelValueRange* greyscale, const QelBox3i* voi) {
    if (!s) return -1;
    if (s->gradientMode == MESHER_GRADIENT_USE) return MeshSmooth(s, greyscale, voi);
    if (s->gradientMode == MESHER_GRADIENT_UNUSE) return MeshFlat(s, greyscale, voi);
    return -1;
}

int RunMesher(MesherSettings* s) {
    if (!s || !s->hostState) return -1;
    return MeshVolume(s, s->hostState->greyscale, s->hostState->volumeOfInterest);
}
