// The mesher pipelines. Each run samples the channel once into the working volumes it needs, on
// the working grid and padded by one voxel: the 0/1 mask of inside voxels, and for the gradient
// mesher the shade (grey window bytes, or alpha bytes) that is smoothed for the normals. The
// working grid takes, per axis, the channel voxel a nearest-sample resize would take, and voxels
// outside the volume of interest are treated as the resize of the restricted channel would see
// them: never inside, and of the unit's fill minimum (grey) or 0 (RGBA) in the shade. The mask is
// thresholded on the channel's own values, so that no threshold, however low, selects voxels
// outside the volume or the volume of interest.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

#include "brick_mesher.h"
#include "brick_scan.hpp"
#include "filters/qel_components.h"
#include "filters/qel_resample.hpp"
#include "filters/qel_smooth.h"
#include "filters/qel_threshold.hpp"
#include "ipc/qel_board_group.h"
#include "ipc/qel_ipc.h"
#include "objects/qel_color.h"
#include "objects/qel_data_objects.h"
#include "values/qel_fill.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_volume.h"

namespace {

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

// One axis of the working grid. The Low resolution halves every axis that halves to at least 2
// voxels and draws it twice as wide; the others keep their voxels and their width. Working
// voxel i samples channel voxel index[i] (a halved axis as the nearest-sample resize does, its
// last z slice repeating the one before); [boxLo, boxHi) are the working voxels whose sample
// lies in the volume of interest (index never decreases, so they are one run).
struct Axis {
    int n = 0;
    bool halved = false;
    std::vector<int> index;
    int boxLo = 0, boxHi = 0;
};

struct Grid {
    Axis axis[3];
    int64_t padded[3];  // n + 2
    float scale[3];     // 2 on a halved axis, else 1
    int64_t rowStride() const { return padded[0]; }
    int64_t sliceStride() const { return padded[0] * padded[1]; }
    int64_t voxels() const { return padded[0] * padded[1] * padded[2]; }
};

Grid working_grid(const QelRawVolumeData* vol, int resolutionMode, const QelBox3i* box) {
    Grid g;
    const int n[3] = {vol->size->nx, vol->size->ny, vol->size->nz};
    const int origin[3] = {box ? box->origin->x : 0, box ? box->origin->y : 0, box ? box->origin->z : 0};
    const int size[3] = {box ? box->size->nx : n[0], box ? box->size->ny : n[1], box ? box->size->nz : n[2]};
    const bool empty = box && box_is_empty(box);
    for (int a = 0; a < 3; ++a) {
        Axis& ax = g.axis[a];
        ax.halved = resolutionMode == MESHER_RESOLUTION_LOW && n[a] / 2 >= 2;
        ax.n = ax.halved ? n[a] / 2 : n[a];
        if (ax.halved) {
            ax.index = a == 2 ? qel::nearest_slice_table(n[a], ax.n) : qel::nearest_table(n[a], ax.n);
        } else {
            ax.index.resize(static_cast<size_t>(ax.n));
            std::iota(ax.index.begin(), ax.index.end(), 0);
        }
        if (!empty) {
            const int64_t lo = origin[a], hi = int64_t{origin[a]} + size[a];
            ax.boxLo = static_cast<int>(std::lower_bound(ax.index.begin(), ax.index.end(), lo) - ax.index.begin());
            ax.boxHi = static_cast<int>(std::lower_bound(ax.index.begin(), ax.index.end(), hi) - ax.index.begin());
        }
        g.padded[a] = int64_t{ax.n} + 2;
        g.scale[a] = ax.halved ? 2.0f : 1.0f;
    }
    return g;
}

// A zero-filled 8-bit volume of the padded working grid.
VolumePtr new_padded_bytes(const Grid& g) {
    for (int a = 0; a < 3; ++a)
        if (!qel::fits_int32(g.padded[a])) return nullptr;
    if (!qel::checked_voxels({g.padded[0], g.padded[1], g.padded[2]})) return nullptr;
    const QelSize3i size{static_cast<int>(g.padded[0]), static_cast<int>(g.padded[1]), static_cast<int>(g.padded[2])};
    return VolumePtr(QEL_NewSingleChannelRawVolumeData(&size, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN));
}

uint8_t* bytes_of(const QelRawVolumeData* v) { return static_cast<uint8_t*>(v->data[0]); }

// Calls row(out, in, lo, hi) for every working row that holds voxels of the volume of interest:
// out the padded 8-bit row (its first voxel at out[1]), in the channel row sampled, and
// [lo, hi) the working voxels of the row inside the box.
template <class T, class Row>
void for_box_rows(const QelRawVolumeData* vol, const Grid& g, uint8_t* out, Row&& row) {
    const T* data = static_cast<const T*>(vol->data[0]);
    const int64_t nx = vol->size->nx, ny = vol->size->ny;
    const Axis &ax = g.axis[0], &ay = g.axis[1], &az = g.axis[2];
    for (int z = az.boxLo; z < az.boxHi; ++z)
        for (int y = ay.boxLo; y < ay.boxHi; ++y) {
            const T* in = data + nx * (ay.index[static_cast<size_t>(y)] + ny * int64_t{az.index[static_cast<size_t>(z)]});
            row(out + (y + 1) * g.rowStride() + (z + 1) * g.sliceStride() + 1, in, ax.boxLo, ax.boxHi);
        }
}

// The grey mask: 1 where the channel reaches the threshold in the volume of interest.
VolumePtr grey_mask(const QelRawVolumeData* vol, float threshold, const Grid& g) {
    VolumePtr m = new_padded_bytes(g);
    if (!m) return nullptr;
    const Axis& ax = g.axis[0];
    qel::dispatch_unit_void(vol->unit[0], [&](auto tag) {
        using T = typename decltype(tag)::type;
        const qel::FloatThreshold<T> t = qel::float_threshold<T>(threshold);
        if (t.none) return;
        for_box_rows<T>(vol, g, bytes_of(m.get()), [&](uint8_t* out, const T* in, int lo, int hi) {
            if (!ax.halved) {
                for (int x = lo; x < hi; ++x) out[x] = in[x] >= t.t;
            } else {
                for (int x = lo; x < hi; ++x) out[x] = in[ax.index[static_cast<size_t>(x)]] >= t.t;
            }
        });
    });
    return m;
}

// The grey shade: every voxel through the grey window onto bytes (clamped), the unit's fill
// minimum standing for the border and the voxels outside the volume of interest.
VolumePtr grey_shade(const QelRawVolumeData* vol, const QelValueRange* window, const Grid& g) {
    VolumePtr shade = new_padded_bytes(g);
    if (!shade) return nullptr;
    const QelValueRange bytes{0.0f, 255.0f};
    const int unit = vol->unit[0];
    const Axis& ax = g.axis[0];
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T fill = qel::fill_minimum<T>();
        uint8_t fillByte = 0;
        QEL_ConvertVoxelArray(1, &fill, &fillByte, unit, QEL_VOXEL_UNIT_UINT8, window, &bytes, QEL_MAP_LINEAR_CLAMP);
        std::memset(bytes_of(shade.get()), fillByte, static_cast<size_t>(g.voxels()));
        std::vector<T> gathered(ax.halved ? static_cast<size_t>(ax.n) : 0);
        for_box_rows<T>(vol, g, bytes_of(shade.get()), [&](uint8_t* out, const T* in, int lo, int hi) {
            if (hi <= lo) return;
            const T* from = in + lo;
            if (ax.halved) {
                for (int x = lo; x < hi; ++x) gathered[static_cast<size_t>(x)] = in[ax.index[static_cast<size_t>(x)]];
                from = gathered.data() + lo;
            }
            QEL_ConvertVoxelArray(hi - lo, from, out + lo, unit, QEL_VOXEL_UNIT_UINT8, window, &bytes,
                                  QEL_MAP_LINEAR_CLAMP);
        });
    });
    return shade;
}

// The RGBA mask (alpha above the threshold in the volume of interest), or the alpha bytes
// themselves (0 outside it) for the gradient mesher's shade.
VolumePtr rgba_bytes(const QelRawVolumeData* vol, const Grid& g, bool mask, uint8_t alphaThreshold) {
    VolumePtr m = new_padded_bytes(g);
    if (!m) return nullptr;
    const Axis& ax = g.axis[0];
    for_box_rows<uint32_t>(vol, g, bytes_of(m.get()), [&](uint8_t* out, const uint32_t* in, int lo, int hi) {
        for (int x = lo; x < hi; ++x) {
            const uint8_t alpha = static_cast<uint8_t>(in[ax.halved ? ax.index[static_cast<size_t>(x)] : x] & 0xFFu);
            out[x] = mask ? alpha > alphaThreshold : alpha;
        }
    });
    return m;
}

// Keeps the `components` largest 26-connected components of the 0/1 mask, which comes back
// as a new 0/1 mask. Components are selected on the labels themselves, so that no label is lost
// to its low byte. A count below 0 keeps none, one above the number found keeps all.
VolumePtr keep_largest_components(VolumePtr mask, int components) {
    const int n = QEL_LabelComponents(mask.get(), 0, 26);
    TablePtr table(QEL_NewComponentTable(mask.get(), 0, n));
    fprintf(stderr, "%d components\n", n);
    if (n <= 0 || !table) return nullptr;
    if (QEL_RankComponentsBySize(table.get(), -1) != 0) return nullptr;
    table.reset();
    const uint32_t kept = static_cast<uint32_t>(std::clamp(components, 0, n));
    const QelSize3i size{mask->size->nx, mask->size->ny, mask->size->nz};
    VolumePtr out(QEL_NewSingleChannelRawVolumeData(&size, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN));
    if (!out) return nullptr;
    const uint32_t* labels = static_cast<const uint32_t*>(mask->data[0]);
    uint8_t* bytes = bytes_of(out.get());
    const int64_t voxels = int64_t{size.nx} * size.ny * size.nz;
    // Ranked labels 1..kept are the largest components.
    for (int64_t i = 0; i < voxels; ++i) bytes[i] = labels[i] - 1u < kept;
    return out;
}

enum class Colour { Grey, Rgba, Uniform, HybridGrey, HybridRgba };

// The brick colour rule of a run. Hybrid colouring needs the gradient mesher and a box on
// the full-resolution grid; otherwise it is uniform, as is every unknown mode.
Colour colour_rule(int colorMode, bool smooth, bool rgba, bool hybridBox) {
    if (colorMode == MESHER_COLOR_ORIGINAL) return rgba ? Colour::Rgba : Colour::Grey;
    if (colorMode == MESHER_COLOR_HYBRID && smooth && hybridBox) return rgba ? Colour::HybridRgba : Colour::HybridGrey;
    return Colour::Uniform;
}

struct Brick {
    int x, y, z;  // padded working coordinates
    unsigned faces;
};

struct Run {
    Run(MesherSettings* settings, bool isSmooth, bool isRgba, const QelBox3i* box)
        : s(settings), smooth(isSmooth), rgba(isRgba), grid(working_grid(settings->volume, settings->resolutionMode, box)) {}

    MesherSettings* s;
    bool smooth;
    bool rgba;
    Grid grid;
    VolumePtr mask;   // 0/1 bytes
    VolumePtr shade;  // gradient mesher: smoothed grey shade or alpha bytes
    std::vector<Brick> bricks;
    std::vector<uint8_t> greyBytes;  // flat grey mesher with original colours: the shade of each brick
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

// The channel voxel that padded working voxel (x, y, z) samples.
int64_t sample_of(const Run& run, const Brick& b) {
    const QelRawVolumeData* v = run.s->volume;
    const Grid& g = run.grid;
    return g.axis[0].index[static_cast<size_t>(b.x - 1)] +
           int64_t{v->size->nx} * (g.axis[1].index[static_cast<size_t>(b.y - 1)] +
                                   int64_t{v->size->ny} * g.axis[2].index[static_cast<size_t>(b.z - 1)]);
}

// The shade bytes of the flat grey mesher, one per brick: the bricks' voxels through the grey
// window, all at once.
bool flat_grey_bytes(Run& run, const QelValueRange* window) {
    const QelRawVolumeData* vol = run.s->volume;
    const QelValueRange bytes{0.0f, 255.0f};
    const size_t count = run.bricks.size();
    run.greyBytes.resize(count);
    return qel::dispatch_unit_void(vol->unit[0], [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* data = static_cast<const T*>(vol->data[0]);
        std::vector<T> values(count);
        for (size_t i = 0; i < count; ++i) values[i] = data[sample_of(run, run.bricks[i])];
        if (count > 0)
            QEL_ConvertVoxelArray(static_cast<int>(count), values.data(), run.greyBytes.data(), vol->unit[0],
                                  QEL_VOXEL_UNIT_UINT8, window, &bytes, QEL_MAP_LINEAR_CLAMP);
    });
}

// On one of the six planes of the box, not only on its faces.
bool on_box_plane(const Run& run, int x, int y, int z) {
    const int c[3] = {x, y, z};
    for (int a = 0; a < 3; ++a)
        if (c[a] == run.boxLo[a] || c[a] == run.boxHi[a]) return true;
    return false;
}

void grey_rgb(uint8_t v, float rgb[3]) { rgb[0] = rgb[1] = rgb[2] = static_cast<float>(v) * kByteToUnit; }

void rgba_rgb(uint32_t w, float rgb[3]) {
    rgb[0] = static_cast<float>((w >> 24) & 0xFFu) * kByteToUnit;
    rgb[1] = static_cast<float>((w >> 16) & 0xFFu) * kByteToUnit;
    rgb[2] = static_cast<float>((w >> 8) & 0xFFu) * kByteToUnit;
}

void brick_colour(const Run& run, size_t i, float rgb[3]) {
    const Brick& b = run.bricks[i];
    Colour c = run.colour;
    if (c == Colour::HybridGrey || c == Colour::HybridRgba) {
        if (on_box_plane(run, b.x, b.y, b.z))
            c = c == Colour::HybridGrey ? Colour::Grey : Colour::Rgba;
        else
            c = Colour::Uniform;
    }
    switch (c) {
        case Colour::Grey:
            // The gradient mesher colours with the smoothed shade, the flat one with the plain one.
            grey_rgb(run.smooth ? bytes_of(run.shade.get())[b.x + b.y * run.grid.rowStride() + b.z * run.grid.sliceStride()]
                                : run.greyBytes[i],
                     rgb);
            return;
        case Colour::Rgba: rgba_rgb(static_cast<const uint32_t*>(run.s->volume->data[0])[sample_of(run, b)], rgb); return;
        default:
            rgb[0] = run.s->uniformColor[0];
            rgb[1] = run.s->uniformColor[1];
            rgb[2] = run.s->uniformColor[2];
            return;
    }
}

QelTriangularMesh* make_brick(const Run& run, const Brick& b) {
    if (!run.smooth) return voxelsurfacer::build_brick(b.faces, b.x, b.y, b.z, run.grid.scale, nullptr);
    QelPoint3f normals[8];
    voxelsurfacer::corner_normals(run.shade->slices[0], b.x, b.y, b.z, normals);
    return voxelsurfacer::build_brick(b.faces, b.x, b.y, b.z, run.grid.scale, normals);
}

void find_bricks(Run& run) {
    const Grid& g = run.grid;
    voxelsurfacer::scan_surface_bytes(bytes_of(run.mask.get()), g.padded[0], g.padded[1], g.padded[2],
                                      [&](int64_t x, int64_t y, int64_t z, unsigned faces) {
                                          run.bricks.push_back({static_cast<int>(x), static_cast<int>(y),
                                                                static_cast<int>(z), faces});
                                      });
}

// The group of bricks, replacing the previous one.
int build_group(Run& run) {
    const int count = static_cast<int>(run.bricks.size());
    GroupPtr group(QEL_NewDataObjectGroup(count));
    if (!group) return -1;
    group->count = count;
    int made = 0;
    bool whole = true;
    for (int i = 0; i < count; ++i) {
        float rgb[3];
        brick_colour(run, static_cast<size_t>(i), rgb);
        QelColor* colour = QEL_NewColor(rgb[0], rgb[1], rgb[2], run.s->alpha);
        QelTriangularMesh* brick = colour ? make_brick(run, run.bricks[static_cast<size_t>(i)]) : nullptr;
        if (!brick) {
            QEL_DeleteColor(colour);
            fprintf(stderr, "Warning: not entire shape (count = %d)\n", made);
            whole = false;
            break;
        }
        group->colours[made] = colour;
        group->types[made] = QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH;
        group->flags[made] = 1;
        group->objects[made] = brick;
        ++made;
    }
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

    Run run(s, smooth, false, box.get());
    if (smooth) {
        run.shade = grey_shade(vol, greyscale, run.grid);
        if (!run.shade) return -1;
        QEL_GaussianSmoothChannel(run.shade.get(), 0, s->sigma);
    }
    run.mask = grey_mask(vol, s->threshold, run.grid);
    if (!run.mask) return -1;
    if (s->ccAnalysis == 1) {
        run.mask = keep_largest_components(std::move(run.mask), s->components);
        if (!run.mask) return -1;
    }
    find_bricks(run);
    fprintf(stderr, smooth ? "count = %d\n" : "\ncount = %d\n", static_cast<int>(run.bricks.size()));
    choose_colours(run, box.get());
    if (!smooth && run.colour == Colour::Grey && !flat_grey_bytes(run, greyscale)) return -1;
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

    Run run(s, smooth, true, box.get());
    const uint8_t alphaThreshold = qel::store_real<uint8_t>(s->threshold);
    run.mask = rgba_bytes(vol, run.grid, true, alphaThreshold);
    if (!run.mask) return -1;
    fprintf(stderr, "alpha_thresh = %d\n", alphaThreshold);
    if (smooth) {
        run.shade = rgba_bytes(vol, run.grid, false, 0);
        if (!run.shade) return -1;
        QEL_GaussianSmoothChannel(run.shade.get(), 0, s->sigma);
    }
    find_bricks(run);
    choose_colours(run, box.get());
    return build_group(run);
}

// The pipelines' working vectors throw when memory runs out; the run then fails like any other.
template <class Fn>
int without_exceptions(Fn&& fn) {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return -1;
    }
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
    return without_exceptions([&] { return mesh_grey(s, greyscale, voi, true); });
}

int MeshRgbaSmooth(MesherSettings* s, const QelValueRange*, const QelBox3i* voi) {
    return without_exceptions([&] { return mesh_rgba(s, voi, true); });
}

int MeshGreyFlat(MesherSettings* s, const QelValueRange* greyscale, const QelBox3i* voi) {
    return without_exceptions([&] { return mesh_grey(s, greyscale, voi, false); });
}

int MeshRgbaFlat(MesherSettings* s, const QelValueRange*, const QelBox3i* voi) {
    return without_exceptions([&] { return mesh_rgba(s, voi, false); });
}

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
