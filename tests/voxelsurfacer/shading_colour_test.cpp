// Vertex normals of the flat and gradient meshers and the colours of the bricks, against
// shade volumes built here from the channel, the grey window and the volume of interest.
#include <gtest/gtest.h>

#include <cmath>

#include "filters/qel_smooth.h"
#include "mesher_support.hpp"
#include "support/capture.hpp"
#include "volume/qel_units.h"

using namespace meshtest;

namespace {

constexpr float kByte = 0.003921569f;

double fill_minimum(int unit) {
    switch (unit) {
        case QEL_VOXEL_UNIT_INT8: return -128;
        case QEL_VOXEL_UNIT_INT16: return -32768;
        case QEL_VOXEL_UNIT_INT32: return -2147483647;
        default: return 0;
    }
}

// A padded byte grid (one border voxel on every side) kept as a volume, so that the test can
// smooth it the way the mesher's shade is smoothed.
struct Shade {
    Volume v;
    uint8_t at(int x, int y, int z) const { return static_cast<const uint8_t*>(v->data[0])[index_of(v.get(), x, y, z)]; }
};

uint8_t window_byte(double value, const QelValueRange& window) {
    const QelValueRange bytes{0.0f, 255.0f};
    return qel::store_real<uint8_t>(QEL_MapValueLinearClamped(static_cast<float>(value), &window, &bytes));
}

// The grey shade: the channel with the fill minimum outside the box, on the working grid,
// padded with the fill minimum, through the window onto bytes.
Shade grey_shade(const QelRawVolumeData* vol, const QelValueRange& window, const QelBox3i* voi, const Halving& h) {
    const double fill = fill_minimum(vol->unit[0]);
    Shade s{new_volume(h.n[0] + 2, h.n[1] + 2, h.n[2] + 2, QEL_VOXEL_UNIT_UINT8)};
    for (int z = 0; z < h.n[2] + 2; ++z)
        for (int y = 0; y < h.n[1] + 2; ++y)
            for (int x = 0; x < h.n[0] + 2; ++x) {
                double value = fill;
                const bool interior = x >= 1 && y >= 1 && z >= 1 && x <= h.n[0] && y <= h.n[1] && z <= h.n[2];
                if (interior) {
                    const int ox = h.idx[0][static_cast<size_t>(x - 1)];
                    const int oy = h.idx[1][static_cast<size_t>(y - 1)];
                    const int oz = h.idx[2][static_cast<size_t>(z - 1)];
                    if (in_box(voi, ox, oy, oz)) value = get_value(vol, ox, oy, oz);
                }
                set_value(s.v.get(), x, y, z, window_byte(value, window));
            }
    return s;
}

// The alpha bytes of a packed channel, 0 outside the box and on the border.
Shade alpha_shade(const QelRawVolumeData* vol, const QelBox3i* voi, const Halving& h) {
    Shade s{new_volume(h.n[0] + 2, h.n[1] + 2, h.n[2] + 2, QEL_VOXEL_UNIT_UINT8)};
    for (int z = 1; z <= h.n[2]; ++z)
        for (int y = 1; y <= h.n[1]; ++y)
            for (int x = 1; x <= h.n[0]; ++x) {
                const int ox = h.idx[0][static_cast<size_t>(x - 1)];
                const int oy = h.idx[1][static_cast<size_t>(y - 1)];
                const int oz = h.idx[2][static_cast<size_t>(z - 1)];
                if (!in_box(voi, ox, oy, oz)) continue;
                const uint32_t w = static_cast<const uint32_t*>(vol->data[0])[index_of(vol, ox, oy, oz)];
                set_value(s.v.get(), x, y, z, w & 0xFF);
            }
    return s;
}

// Central differences over the 2x2x2 cell around a brick corner, normalised in double.
void expected_normal(const Shade& s, int cx, int cy, int cz, double out[3]) {
    double g[3] = {0, 0, 0};
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) {
            g[0] += double(s.at(cx, cy + a, cz + b)) - s.at(cx + 1, cy + a, cz + b);
            g[1] += double(s.at(cx + a, cy, cz + b)) - s.at(cx + a, cy + 1, cz + b);
            g[2] += double(s.at(cx + a, cy + b, cz)) - s.at(cx + a, cy + b, cz + 1);
        }
    const double len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    for (int a = 0; a < 3; ++a) out[a] = len > 0 ? g[a] / len : 0.0;
}

// Every vertex normal of every brick is the gradient of the cell around its corner.
void expect_corner_normals(const QelDataObjectGroup* g, const float scale[3], const Shade& s) {
    const auto bricks = bricks_of_group(g, scale, false);
    for (size_t i = 0; i < bricks.size(); ++i) {
        const auto* m = static_cast<const QelTriangularMesh*>(g->objects[i]);
        const int u[3] = {bricks[i].x, bricks[i].y, bricks[i].z};
        for (int v = 0; v < m->nVertices; ++v) {
            int cell[3];
            for (int a = 0; a < 3; ++a) {
                const bool high = m->vertices[v][a] > static_cast<float>(u[a]) * scale[a];
                cell[a] = u[a] + (high ? 1 : 0);  // padded c - 1 + high, with c = u + 1
            }
            double n[3];
            expected_normal(s, cell[0], cell[1], cell[2], n);
            for (int a = 0; a < 3; ++a)
                ASSERT_NEAR(m->vertexNormals[v][a], n[a], 1e-6) << "brick " << i << " vertex " << v << " axis " << a;
        }
    }
}

Volume random_volume(int nx, int ny, int nz, int unit, int range, uint64_t seed) {
    Lcg rng(seed);
    Volume v = new_volume(nx, ny, nz, unit);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) set_value(v.get(), x, y, z, rng.below(range));
    return v;
}

Volume random_rgba(int nx, int ny, int nz, uint64_t seed) {
    Lcg rng(seed);
    Volume v = new_volume(nx, ny, nz, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) set_word(v.get(), x, y, z, rng.next());
    return v;
}

void expect_colour(const QelColor* c, float r, float g, float b, float a, size_t brick) {
    EXPECT_EQ(c->r, r) << "brick " << brick;
    EXPECT_EQ(c->g, g) << "brick " << brick;
    EXPECT_EQ(c->b, b) << "brick " << brick;
    EXPECT_EQ(c->a, a) << "brick " << brick;
}

}  // namespace

TEST(MesherShading, GradientNormalsAreCornerCellGradientsOfTheShade) {
    struct Case {
        int n[3];
        int unit;
        bool low;
        bool box;
    };
    const Case cases[] = {
        {{7, 6, 5}, QEL_VOXEL_UNIT_UINT8, false, false},
        {{7, 6, 5}, QEL_VOXEL_UNIT_INT16, false, true},
        {{10, 9, 8}, QEL_VOXEL_UNIT_FLOAT32, true, false},
        {{9, 3, 6}, QEL_VOXEL_UNIT_INT8, true, true},
    };
    for (const Case& c : cases) {
        Volume v = random_volume(c.n[0], c.n[1], c.n[2], c.unit, 120, static_cast<uint64_t>(c.n[0] + c.unit));
        Box voi = c.box ? new_box(1, -1, 1, c.n[0] - 2, c.n[1], c.n[2]) : nullptr;
        Settings st;
        st.window = QelValueRange{10.0f, 100.0f};
        const Halving h = halving(c.n, c.low);
        const Shade shade = grey_shade(v.get(), st.window, voi.get(), h);
        st.take(std::move(v));
        st.s.gradientMode = MESHER_GRADIENT_USE;
        st.s.resolutionMode = c.low ? MESHER_RESOLUTION_LOW : MESHER_RESOLUTION_HIGH;
        st.s.threshold = 60.0f;
        ASSERT_EQ(st.run_quiet(voi.get()), 0);
        ASSERT_GT(st.count(), 0);
        SCOPED_TRACE(testing::Message() << "unit " << c.unit << " low " << c.low << " box " << c.box);
        expect_corner_normals(st.s.group, h.scale, shade);
    }
}

TEST(MesherShading, SigmaSmoothsTheShadeBeforeTheNormals) {
    const int n[3] = {8, 7, 6};
    Volume v = random_volume(n[0], n[1], n[2], QEL_VOXEL_UNIT_UINT8, 256, 3);
    Settings st;
    const Halving h = halving(n, false);
    Shade shade = grey_shade(v.get(), st.window, nullptr, h);
    QEL_GaussianSmoothChannel(shade.v.get(), 0, 1.5f);
    st.take(std::move(v));
    st.s.gradientMode = MESHER_GRADIENT_USE;
    st.s.sigma = 1.5f;
    ASSERT_EQ(st.run_quiet(), 0);
    ASSERT_GT(st.count(), 0);
    expect_corner_normals(st.s.group, h.scale, shade);
}

TEST(MesherShading, RgbaGradientNormalsComeFromTheAlphaBytes) {
    const int n[3] = {6, 7, 5};
    for (int box = 0; box < 2; ++box) {
        Volume v = random_rgba(n[0], n[1], n[2], 11);
        Box voi = box ? new_box(0, 1, -2, 5, 5, 9) : nullptr;
        const Halving h = halving(n, false);
        const Shade alpha = alpha_shade(v.get(), voi.get(), h);
        Settings st;
        st.take(std::move(v));
        st.s.gradientMode = MESHER_GRADIENT_USE;
        st.s.threshold = 100.0f;
        ASSERT_EQ(st.run_quiet(voi.get()), 0);
        ASSERT_GT(st.count(), 0);
        expect_corner_normals(st.s.group, h.scale, alpha);
    }
}

TEST(MesherShading, BalancedCellGivesAZeroNormal) {
    Volume v = new_volume(2, 2, 2, QEL_VOXEL_UNIT_UINT8);
    // Opposite corners equal: every axis balances.
    set_value(v.get(), 0, 0, 0, 90);
    set_value(v.get(), 1, 1, 1, 90);
    set_value(v.get(), 1, 0, 0, 30);
    set_value(v.get(), 0, 1, 1, 30);
    QelPoint3f out{9, 9, 9};
    CornerGradient(v->slices[0], 0, 0, 0, &out);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
    // A bright low-x half: the normal points from bright to dark, along +x.
    Volume w = new_volume(2, 2, 2, QEL_VOXEL_UNIT_UINT8);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 2; ++y) set_value(w.get(), 0, y, z, 200);
    CornerGradient(w->slices[0], 0, 0, 0, &out);
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
}

TEST(MesherColours, OriginalGreyIsTheWindowedByteOfTheVoxel) {
    const int n[3] = {6, 5, 4};
    for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
        Volume v = random_volume(n[0], n[1], n[2], QEL_VOXEL_UNIT_UINT16, 1000, 21);
        Box voi = new_box(1, 0, 0, 4, 5, 3);
        Settings st;
        st.window = QelValueRange{100.0f, 900.0f};
        const Halving h = halving(n, false);
        const Shade shade = grey_shade(v.get(), st.window, voi.get(), h);
        st.take(std::move(v));
        st.s.gradientMode = gradient;
        st.s.colorMode = MESHER_COLOR_ORIGINAL;
        st.s.threshold = 400.0f;
        st.s.alpha = 0.25f;
        ASSERT_EQ(st.run_quiet(voi.get()), 0);
        const auto bricks = bricks_of_group(st.s.group, kFull, gradient == MESHER_GRADIENT_UNUSE);
        ASSERT_GT(bricks.size(), 0u);
        for (size_t i = 0; i < bricks.size(); ++i) {
            const float grey = static_cast<float>(shade.at(bricks[i].x + 1, bricks[i].y + 1, bricks[i].z + 1)) * kByte;
            expect_colour(st.s.group->colours[i], grey, grey, grey, 0.25f, i);
        }
    }
}

TEST(MesherColours, OriginalRgbaIsTheVoxelsOwnColour) {
    const int n[3] = {5, 6, 4};
    for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
        Volume v = random_rgba(n[0], n[1], n[2], 8);
        set_word(v.get(), 0, 0, 0, rgba(255, 0, 128, 255));
        Volume ref(QEL_CopyRawVolumeData(v.get()));
        Settings st;
        st.take(std::move(v));
        st.s.gradientMode = gradient;
        st.s.colorMode = MESHER_COLOR_ORIGINAL;
        st.s.threshold = 50.0f;
        st.s.alpha = 0.5f;
        ASSERT_EQ(st.run_quiet(), 0);
        const auto bricks = bricks_of_group(st.s.group, kFull, gradient == MESHER_GRADIENT_UNUSE);
        ASSERT_GT(bricks.size(), 0u);
        for (size_t i = 0; i < bricks.size(); ++i) {
            const uint32_t w = static_cast<const uint32_t*>(ref->data[0])[index_of(ref.get(), bricks[i].x, bricks[i].y, bricks[i].z)];
            expect_colour(st.s.group->colours[i], float(w >> 24) * kByte, float((w >> 16) & 0xFF) * kByte,
                          float((w >> 8) & 0xFF) * kByte, 0.5f, i);
        }
        EXPECT_EQ(bricks[0], (Brick{0, 0, 0, bricks[0].faces}));
        expect_colour(st.s.group->colours[0], 255 * kByte, 0.0f, 128 * kByte, 0.5f, 0);
    }
}

// Uniform colouring, and every case in which hybrid or an unknown mode falls back to it.
TEST(MesherColours, UniformAndItsFallbacks) {
    struct Case {
        int colour, gradient, resolution;
        bool box, rgba;
    };
    const Case cases[] = {
        {MESHER_COLOR_UNIFORM, MESHER_GRADIENT_UNUSE, MESHER_RESOLUTION_HIGH, false, false},
        {MESHER_COLOR_UNIFORM, MESHER_GRADIENT_USE, MESHER_RESOLUTION_LOW, true, true},
        {MESHER_COLOR_HYBRID, MESHER_GRADIENT_UNUSE, MESHER_RESOLUTION_HIGH, true, false},
        {MESHER_COLOR_HYBRID, MESHER_GRADIENT_UNUSE, MESHER_RESOLUTION_HIGH, true, true},
        {MESHER_COLOR_HYBRID, MESHER_GRADIENT_USE, MESHER_RESOLUTION_LOW, true, false},
        {MESHER_COLOR_HYBRID, MESHER_GRADIENT_USE, MESHER_RESOLUTION_HIGH, false, false},
        {MESHER_COLOR_HYBRID, MESHER_GRADIENT_USE, MESHER_RESOLUTION_HIGH, false, true},
        {5, MESHER_GRADIENT_USE, MESHER_RESOLUTION_HIGH, true, false},
        {5, MESHER_GRADIENT_UNUSE, MESHER_RESOLUTION_HIGH, false, true},
    };
    for (const Case& c : cases) {
        Settings st;
        st.take(c.rgba ? random_rgba(8, 8, 8, 4) : random_volume(8, 8, 8, QEL_VOXEL_UNIT_UINT8, 256, 4));
        Box voi = c.box ? new_box(1, 1, 1, 6, 6, 6) : nullptr;
        st.s.colorMode = c.colour;
        st.s.gradientMode = c.gradient;
        st.s.resolutionMode = c.resolution;
        st.s.uniformColor[0] = 0.1f;
        st.s.uniformColor[1] = 0.2f;
        st.s.uniformColor[2] = 0.3f;
        st.s.alpha = 0.75f;
        ASSERT_EQ(st.run_quiet(voi.get()), 0);
        ASSERT_GT(st.count(), 0);
        SCOPED_TRACE(testing::Message() << "colour " << c.colour << " gradient " << c.gradient << " resolution "
                                        << c.resolution << " box " << c.box << " rgba " << c.rgba);
        for (int i = 0; i < st.count(); ++i) expect_colour(st.s.group->colours[i], 0.1f, 0.2f, 0.3f, 0.75f, size_t(i));
    }
}

// Hybrid colouring in the gradient mesher at full resolution: the voxel's own colour on the six
// planes of the (clipped) volume of interest, even away from the box's faces, uniform elsewhere.
TEST(MesherColours, HybridShowsTheVoxelsOwnColourOnTheBoxPlanes) {
    const int n[3] = {9, 8, 7};
    struct BoxCase {
        int o[3], s[3];
    };
    const BoxCase boxes[] = {{{2, 1, 1}, {5, 5, 4}}, {{-3, 2, 3}, {7, 20, 9}}};
    for (bool isRgba : {false, true}) {
        for (const BoxCase& bc : boxes) {
            Volume v = isRgba ? random_rgba(n[0], n[1], n[2], 17) : random_volume(n[0], n[1], n[2], QEL_VOXEL_UNIT_UINT8, 256, 17);
            Volume ref(QEL_CopyRawVolumeData(v.get()));
            Box voi = new_box(bc.o[0], bc.o[1], bc.o[2], bc.s[0], bc.s[1], bc.s[2]);
            int lo[3], hi[3];
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::max(bc.o[a], 0);
                hi[a] = std::min(bc.o[a] + bc.s[a] - 1, n[a] - 1);
            }
            Settings st;
            st.take(std::move(v));
            st.s.gradientMode = MESHER_GRADIENT_USE;
            st.s.colorMode = MESHER_COLOR_HYBRID;
            st.s.threshold = isRgba ? 20.0f : 60.0f;
            st.s.uniformColor[0] = 0.25f;
            st.s.uniformColor[1] = 0.5f;
            st.s.uniformColor[2] = 0.125f;
            ASSERT_EQ(st.run_quiet(voi.get()), 0);
            const auto bricks = bricks_of_group(st.s.group, kFull, false);
            int own = 0, uniform = 0;
            for (size_t i = 0; i < bricks.size(); ++i) {
                const int u[3] = {bricks[i].x, bricks[i].y, bricks[i].z};
                bool onPlane = false;
                for (int a = 0; a < 3; ++a) onPlane = onPlane || u[a] == lo[a] || u[a] == hi[a];
                float r = 0.25f, g = 0.5f, b = 0.125f;
                if (onPlane) {
                    if (isRgba) {
                        const uint32_t w = static_cast<const uint32_t*>(ref->data[0])[index_of(ref.get(), u[0], u[1], u[2])];
                        r = float(w >> 24) * kByte, g = float((w >> 16) & 0xFF) * kByte, b = float((w >> 8) & 0xFF) * kByte;
                    } else {
                        r = g = b = float(window_byte(get_value(ref.get(), u[0], u[1], u[2]), st.window)) * kByte;
                    }
                    ++own;
                } else {
                    ++uniform;
                }
                expect_colour(st.s.group->colours[i], r, g, b, 1.0f, i);
            }
            EXPECT_GT(own, 0);
            EXPECT_GT(uniform, 0);
        }
    }
}
