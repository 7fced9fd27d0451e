// Shared by the mesher tests: volumes, a settings record, and an independent reference that
// enumerates the exposed voxel faces by brute force and reads them back out of a mesh group.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "objects/qel_data_objects.h"
#include "programs/voxelsurfacer/brick_mesher.h"
#include "volume/qel_geometry.h"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_volume.h"
#include "support/capture.hpp"

namespace meshtest {

struct VolumeDeleter {
    void operator()(QelRawVolumeData* v) const { QEL_DeleteRawVolumeData(v); }
};
using Volume = std::unique_ptr<QelRawVolumeData, VolumeDeleter>;

inline Volume new_volume(int nx, int ny, int nz, int unit, int attribute = 0) {
    const QelSize3i dims{nx, ny, nz};
    Volume v(QEL_NewSingleChannelRawVolumeData(&dims, unit, attribute));
    EXPECT_NE(v, nullptr);
    return v;
}

inline int64_t index_of(const QelRawVolumeData* v, int x, int y, int z) {
    return x + int64_t{v->size->nx} * (y + int64_t{v->size->ny} * z);
}

inline void set_value(QelRawVolumeData* v, int x, int y, int z, double value) {
    qel::dispatch_unit_void(v->unit[0], [&](auto tag) {
        using T = typename decltype(tag)::type;
        static_cast<T*>(v->data[0])[index_of(v, x, y, z)] = qel::store_real<T>(value);
    });
}

inline double get_value(const QelRawVolumeData* v, int x, int y, int z) {
    return qel::dispatch_unit<double>(v->unit[0], 0.0, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return static_cast<double>(static_cast<const T*>(v->data[0])[index_of(v, x, y, z)]);
    });
}

inline void set_word(QelRawVolumeData* v, int x, int y, int z, uint32_t w) {
    static_cast<uint32_t*>(v->data[0])[index_of(v, x, y, z)] = w;
}

inline uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r << 24 | g << 16 | b << 8 | a; }

// A settings record with the program's start values, owning its volume and group.
struct Settings {
    MesherSettings s{};
    QelValueRange window{0.0f, 255.0f};

    Settings() {
        s.groupId = -1;
        s.threshold = 127.5f;
        s.uniformColor[0] = 0.7f;
        s.uniformColor[1] = 0.7f;
        s.uniformColor[2] = 0.5f;
        s.alpha = 1.0f;
        s.gradientMode = MESHER_GRADIENT_UNUSE;
        s.resolutionMode = MESHER_RESOLUTION_HIGH;
        s.colorMode = MESHER_COLOR_UNIFORM;
        s.sigma = 0.0f;
        s.ccAnalysis = 0;
        s.components = 1;
    }
    ~Settings() {
        QEL_DeleteRawVolumeData(s.volume);
        QEL_DeleteDataObjectGroup(s.group);
    }
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    void take(Volume v) {
        QEL_DeleteRawVolumeData(s.volume);
        s.volume = v.release();
    }
    int run(const QelBox3i* voi = nullptr) { return MeshVolume(&s, &window, voi); }
    // The same, with the lines it writes swallowed.
    int run_quiet(const QelBox3i* voi = nullptr) {
        qeltest::StderrCapture cap;
        const int r = run(voi);
        cap.stop();
        return r;
    }
    int count() const { return s.group ? s.group->count : -1; }
    const QelTriangularMesh* mesh(int i) const {
        return static_cast<const QelTriangularMesh*>(s.group->objects[i]);
    }
};

struct BoxDeleter {
    void operator()(QelBox3i* b) const { QEL_DeleteBox3i(b); }
};
using Box = std::unique_ptr<QelBox3i, BoxDeleter>;

inline Box new_box(int ox, int oy, int oz, int sx, int sy, int sz) {
    const QelPoint3i o{ox, oy, oz};
    const QelSize3i s{sx, sy, sz};
    return Box(QEL_NewBox3i(&o, &s));
}

// ---------------------------------------------------------------------------------------
// Reference grids: x fastest, then y, then z.

struct Grid {
    int n[3] = {0, 0, 0};
    std::vector<uint8_t> v;
    Grid() = default;
    Grid(int nx, int ny, int nz) : n{nx, ny, nz}, v(static_cast<size_t>(nx) * ny * nz, 0) {}
    bool in(int x, int y, int z) const {
        return x >= 0 && y >= 0 && z >= 0 && x < n[0] && y < n[1] && z < n[2];
    }
    uint8_t& at(int x, int y, int z) { return v[x + static_cast<size_t>(n[0]) * (y + static_cast<size_t>(n[1]) * z)]; }
    uint8_t get(int x, int y, int z) const {
        return in(x, y, z) ? v[x + static_cast<size_t>(n[0]) * (y + static_cast<size_t>(n[1]) * z)] : 0;
    }
};

// In a box given as origin and size (no clipping needed: only voxels of the volume are asked).
inline bool in_box(const QelBox3i* b, int x, int y, int z) {
    if (!b) return true;
    if (b->size->nx == 0 || b->size->ny == 0 || b->size->nz == 0) return true;
    auto in = [](int p, int o, int s) { return int64_t{p} >= o && int64_t{p} < int64_t{o} + s; };
    return in(x, b->origin->x, b->size->nx) && in(y, b->origin->y, b->size->ny) && in(z, b->origin->z, b->size->nz);
}

// Inside at full resolution: the value reaches the threshold (integer units compare with the
// threshold truncated toward zero) and the voxel lies in the volume of interest.
inline Grid full_inside(const QelRawVolumeData* vol, float threshold, const QelBox3i* voi) {
    Grid g(vol->size->nx, vol->size->ny, vol->size->nz);
    const int unit = vol->unit[0];
    for (int z = 0; z < g.n[2]; ++z)
        for (int y = 0; y < g.n[1]; ++y)
            for (int x = 0; x < g.n[0]; ++x) {
                const double v = get_value(vol, x, y, z);
                bool inside;
                if (unit == QEL_VOXEL_UNIT_FLOAT32)
                    inside = static_cast<float>(v) >= threshold;
                else if (unit == QEL_VOXEL_UNIT_FLOAT64)
                    inside = v >= static_cast<double>(threshold);
                else
                    inside = v >= std::trunc(static_cast<double>(threshold));
                g.at(x, y, z) = inside && in_box(voi, x, y, z);
            }
    return g;
}

inline Grid full_opaque(const QelRawVolumeData* vol, uint8_t alphaThreshold, const QelBox3i* voi) {
    Grid g(vol->size->nx, vol->size->ny, vol->size->nz);
    for (int z = 0; z < g.n[2]; ++z)
        for (int y = 0; y < g.n[1]; ++y)
            for (int x = 0; x < g.n[0]; ++x) {
                const uint32_t w = static_cast<const uint32_t*>(vol->data[0])[index_of(vol, x, y, z)];
                g.at(x, y, z) = (w & 0xFF) > alphaThreshold && in_box(voi, x, y, z);
            }
    return g;
}

// Old index sampled by each new index of a nearest-sample halving (old - 1) / (new - 1).
inline std::vector<int> nearest_indices(int nOld, int nNew) {
    std::vector<int> idx(static_cast<size_t>(nNew));
    const float s = static_cast<float>(static_cast<double>(nOld - 1) / (nNew - 1));
    for (int i = 0; i < nNew; ++i) {
        const int k = static_cast<int>(static_cast<float>(i) * s);
        idx[static_cast<size_t>(i)] = k < nOld ? k : nOld - 1;
    }
    return idx;
}

// The Low resolution grid of the reference: an axis halves when its half is at least 2; the
// last new slice of a halved z axis repeats the one before it, as the resize does.
struct Halving {
    int n[3];
    float scale[3];
    std::vector<int> idx[3];
};

inline Halving halving(const int n[3], bool low) {
    Halving h;
    for (int a = 0; a < 3; ++a) {
        const bool halves = low && n[a] / 2 >= 2;
        h.n[a] = halves ? n[a] / 2 : n[a];
        h.scale[a] = halves ? 2.0f : 1.0f;
        if (halves) {
            h.idx[a] = nearest_indices(n[a], h.n[a]);
        } else {
            h.idx[a].resize(static_cast<size_t>(n[a]));
            for (int i = 0; i < n[a]; ++i) h.idx[a][static_cast<size_t>(i)] = i;
        }
    }
    if (h.n[2] != n[2]) h.idx[2][static_cast<size_t>(h.n[2] - 1)] = h.idx[2][static_cast<size_t>(h.n[2] - 2)];
    return h;
}

inline Grid resample(const Grid& g, const Halving& h) {
    Grid out(h.n[0], h.n[1], h.n[2]);
    for (int z = 0; z < h.n[2]; ++z)
        for (int y = 0; y < h.n[1]; ++y)
            for (int x = 0; x < h.n[0]; ++x)
                out.at(x, y, z) = g.get(h.idx[0][static_cast<size_t>(x)], h.idx[1][static_cast<size_t>(y)],
                                        h.idx[2][static_cast<size_t>(z)]);
    return out;
}

// ---------------------------------------------------------------------------------------
// Faces. Directions in writing order: -z, +z, -y, +y, -x, +x.

struct Direction {
    int axis;
    int sign;
};
constexpr Direction kDirections[6] = {{2, -1}, {2, 1}, {1, -1}, {1, 1}, {0, -1}, {0, 1}};

struct Brick {
    int x, y, z;       // voxel of the working grid, unpadded
    unsigned faces;    // bit d: the face of kDirections[d] is exposed
    bool operator==(const Brick& o) const { return x == o.x && y == o.y && z == o.z && faces == o.faces; }
};

inline std::ostream& operator<<(std::ostream& os, const Brick& b) {
    return os << "(" << b.x << "," << b.y << "," << b.z << " faces " << b.faces << ")";
}

// Every inside voxel with an exposed face, in scan order (z, then y, then x), by brute force.
inline std::vector<Brick> expected_bricks(const Grid& g) {
    std::vector<Brick> out;
    for (int z = 0; z < g.n[2]; ++z)
        for (int y = 0; y < g.n[1]; ++y)
            for (int x = 0; x < g.n[0]; ++x) {
                if (!g.get(x, y, z)) continue;
                unsigned faces = 0;
                for (int d = 0; d < 6; ++d) {
                    int p[3] = {x, y, z};
                    p[kDirections[d].axis] += kDirections[d].sign;
                    if (!g.get(p[0], p[1], p[2])) faces |= 1u << d;
                }
                if (faces) out.push_back({x, y, z, faces});
            }
    return out;
}

// The corners of each face in writing order, as (x, y, z) with 0 the low side, 1 the high.
constexpr int kFaceCorners[6][4][3] = {
    {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
    {{0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}},
    {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}},
    {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}},
    {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}},
    {{1, 0, 0}, {1, 0, 1}, {1, 1, 1}, {1, 1, 0}},
};

// Reads a brick back from its mesh and checks its layout: faces in writing order, their
// corners in order, two triangles per face turning into the brick, exact corner coordinates
// ((u -+ 0.5) * scale), and flat axis normals when flat is set. A face's direction comes from
// its plane and its turning, so that a brick of a single face is read correctly too.
inline Brick brick_of_mesh(const QelTriangularMesh* m, const float scale[3], bool flat) {
    Brick b{0, 0, 0, 0};
    EXPECT_EQ(m->nVertices % 4, 0);
    const int nFaces = m->nVertices / 4;
    EXPECT_EQ(m->nTriangles, 2 * nFaces);
    EXPECT_EQ(m->triangleCapacity, m->nTriangles);
    EXPECT_EQ(m->vertexCapacity, m->nVertices);
    int u[3] = {0, 0, 0};
    bool known[3] = {false, false, false};
    auto settle = [&](int a, int value) {
        if (known[a]) {
            EXPECT_EQ(u[a], value) << "faces of different voxels on axis " << a;
        }
        u[a] = value;
        known[a] = true;
    };
    int previous = -1;
    for (int f = 0; f < nFaces; ++f) {
        const int k = 4 * f;
        const float* p0 = m->vertices[k];
        const float* p1 = m->vertices[k + 1];
        const float* p2 = m->vertices[k + 2];
        int axis = -1;
        for (int a = 0; a < 3; ++a) {
            bool same = true;
            for (int v = 1; v < 4; ++v) same = same && m->vertices[k + v][a] == p0[a];
            if (same) axis = a;
        }
        EXPECT_GE(axis, 0) << "face " << f << " is not axis-aligned";
        if (axis < 0) return b;
        const double e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const double e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        const double cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                 e1[0] * e2[1] - e1[1] * e2[0]};
        // The triangles turn into the brick: the outward direction is against the cross product.
        const int sign = cross[axis] < 0 ? 1 : -1;
        int dir = -1;
        for (int d = 0; d < 6; ++d)
            if (kDirections[d].axis == axis && kDirections[d].sign == sign) dir = d;
        EXPECT_GT(dir, previous) << "faces out of order";
        previous = dir;
        b.faces |= 1u << dir;
        for (int a = 0; a < 3; ++a) {
            float lo = p0[a];
            for (int v = 1; v < 4; ++v) lo = std::min(lo, m->vertices[k + v][a]);
            const float offset = (a == axis && sign > 0) ? -0.5f : 0.5f;
            settle(a, static_cast<int>(std::lround(lo / scale[a] + offset)));
        }
        for (int v = 0; v < 4; ++v)
            for (int a = 0; a < 3; ++a) {
                const float side = kFaceCorners[dir][v][a] ? 0.5f : -0.5f;
                EXPECT_EQ(m->vertices[k + v][a], (static_cast<float>(u[a]) + side) * scale[a])
                    << "face " << dir << " corner " << v << " axis " << a;
            }
        EXPECT_EQ(m->triangles[2 * f][0], k);
        EXPECT_EQ(m->triangles[2 * f][1], k + 1);
        EXPECT_EQ(m->triangles[2 * f][2], k + 2);
        EXPECT_EQ(m->triangles[2 * f + 1][0], k + 2);
        EXPECT_EQ(m->triangles[2 * f + 1][1], k + 3);
        EXPECT_EQ(m->triangles[2 * f + 1][2], k);
        if (flat) {
            for (int v = 0; v < 4; ++v)
                for (int a = 0; a < 3; ++a)
                    EXPECT_EQ(m->vertexNormals[k + v][a], a == axis ? static_cast<float>(sign) : 0.0f);
        }
    }
    b.x = u[0], b.y = u[1], b.z = u[2];
    return b;
}

inline std::vector<Brick> bricks_of_group(const QelDataObjectGroup* g, const float scale[3], bool flat) {
    std::vector<Brick> out;
    for (int i = 0; i < g->count; ++i) {
        EXPECT_EQ(g->types[i], QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH);
        EXPECT_EQ(g->flags[i], 1);
        EXPECT_NE(g->colours[i], nullptr);
        out.push_back(brick_of_mesh(static_cast<const QelTriangularMesh*>(g->objects[i]), scale, flat));
    }
    return out;
}

constexpr float kFull[3] = {1.0f, 1.0f, 1.0f};

// A deterministic generator for random volumes.
struct Lcg {
    uint64_t state;
    explicit Lcg(uint64_t seed) : state(seed * 6364136223846793005ull + 1442695040888963407ull) {}
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

}  // namespace meshtest
