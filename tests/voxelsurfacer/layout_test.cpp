// Brick layout: faces, vertices, triangles and flat normals against a brute-force enumeration
// of the exposed voxel faces.
#include <gtest/gtest.h>

#include "mesher_support.hpp"
#include "support/capture.hpp"

using namespace meshtest;

namespace {

// A u8 channel whose listed voxels are 200 and the rest 0, meshed flat at full resolution.
struct Fixture {
    Settings st;
    Fixture(int nx, int ny, int nz, std::initializer_list<std::array<int, 3>> on) {
        Volume v = new_volume(nx, ny, nz, QEL_VOXEL_UNIT_UINT8);
        for (const auto& p : on) set_value(v.get(), p[0], p[1], p[2], 200);
        st.take(std::move(v));
    }
};

}  // namespace

TEST(BrickLayout, SingleVoxelIsOneBrickOfTwelveTriangles) {
    Fixture f(3, 3, 3, {{1, 1, 1}});
    qeltest::StderrCapture cap;
    ASSERT_EQ(f.st.run(), 0);
    EXPECT_EQ(cap.stop(), "\ncount = 1\n");
    ASSERT_EQ(f.st.count(), 1);
    const QelTriangularMesh* m = f.st.mesh(0);
    EXPECT_EQ(m->nTriangles, 12);
    EXPECT_EQ(m->nVertices, 24);
    // Voxel 1 spans 0.5 .. 1.5 on every axis; the first face is -z at z = 0.5.
    const float expectFirst[4][3] = {{0.5f, 0.5f, 0.5f}, {1.5f, 0.5f, 0.5f}, {1.5f, 1.5f, 0.5f}, {0.5f, 1.5f, 0.5f}};
    for (int v = 0; v < 4; ++v)
        for (int a = 0; a < 3; ++a) EXPECT_EQ(m->vertices[v][a], expectFirst[v][a]);
    // The last face is +x at x = 1.5.
    const float expectLast[4][3] = {{1.5f, 0.5f, 0.5f}, {1.5f, 0.5f, 1.5f}, {1.5f, 1.5f, 1.5f}, {1.5f, 1.5f, 0.5f}};
    for (int v = 0; v < 4; ++v)
        for (int a = 0; a < 3; ++a) EXPECT_EQ(m->vertices[20 + v][a], expectLast[v][a]);
    EXPECT_EQ(m->colours, nullptr);
    EXPECT_EQ(bricks_of_group(f.st.s.group, kFull, true), (std::vector<Brick>{{1, 1, 1, 0x3F}}));
}

TEST(BrickLayout, VoxelAtTheEdgeSpansMinusHalfToHalf) {
    Fixture f(2, 1, 1, {{0, 0, 0}});
    ASSERT_EQ(f.st.run_quiet(), 0);
    ASSERT_EQ(f.st.count(), 1);
    const QelTriangularMesh* m = f.st.mesh(0);
    EXPECT_EQ(m->vertices[0][0], -0.5f);
    EXPECT_EQ(m->vertices[1][0], 0.5f);
}

TEST(BrickLayout, SharedFaceIsWrittenByNeitherBrick) {
    Fixture f(4, 3, 3, {{1, 1, 1}, {2, 1, 1}});
    ASSERT_EQ(f.st.run_quiet(), 0);
    ASSERT_EQ(f.st.count(), 2);
    EXPECT_EQ(f.st.mesh(0)->nTriangles, 10);
    EXPECT_EQ(f.st.mesh(0)->nVertices, 20);
    EXPECT_EQ(f.st.mesh(1)->nTriangles, 10);
    const unsigned all = 0x3F, minusX = 1u << 4, plusX = 1u << 5;
    EXPECT_EQ(bricks_of_group(f.st.s.group, kFull, true),
              (std::vector<Brick>{{1, 1, 1, all & ~plusX}, {2, 1, 1, all & ~minusX}}));
}

TEST(BrickLayout, BlockOfEightShowsThreeFacesPerBrick) {
    Fixture f(2, 2, 2, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}});
    ASSERT_EQ(f.st.run_quiet(), 0);
    ASSERT_EQ(f.st.count(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(f.st.mesh(i)->nTriangles, 6);
    Grid g(2, 2, 2);
    for (auto& b : g.v) b = 1;
    EXPECT_EQ(bricks_of_group(f.st.s.group, kFull, true), expected_bricks(g));
}

TEST(BrickLayout, VoxelWithAllFaceNeighboursInsideMakesNoBrick) {
    // A plus sign in 3-D: the centre's edge and corner neighbours are outside, its face
    // neighbours all inside.
    Fixture f(5, 5, 5, {{2, 2, 2}, {1, 2, 2}, {3, 2, 2}, {2, 1, 2}, {2, 3, 2}, {2, 2, 1}, {2, 2, 3}});
    ASSERT_EQ(f.st.run_quiet(), 0);
    ASSERT_EQ(f.st.count(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f.st.mesh(i)->nTriangles, 10);
    for (const Brick& b : bricks_of_group(f.st.s.group, kFull, true))
        EXPECT_FALSE(b.x == 2 && b.y == 2 && b.z == 2);
}

TEST(BrickLayout, RandomMasksMatchBruteForce) {
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        Lcg rng(seed);
        const int nx = 2 + rng.below(9), ny = 1 + rng.below(8), nz = 1 + rng.below(7);
        const int unit = rng.below(8);
        Settings st;
        Volume v = new_volume(nx, ny, nz, unit);
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x) set_value(v.get(), x, y, z, rng.below(100));
        const Grid inside = full_inside(v.get(), 55.0f, nullptr);
        st.take(std::move(v));
        st.s.threshold = 55.0f;
        st.s.gradientMode = seed % 2 ? MESHER_GRADIENT_UNUSE : MESHER_GRADIENT_USE;
        ASSERT_EQ(st.run_quiet(), 0) << "seed " << seed;
        EXPECT_EQ(bricks_of_group(st.s.group, kFull, seed % 2), expected_bricks(inside)) << "seed " << seed;
    }
}

TEST(BrickLayout, BrickMakerRefusesAFaceCountThatDoesNotMatch) {
    Volume v = new_volume(3, 3, 3, QEL_VOXEL_UNIT_UINT8);
    set_value(v.get(), 1, 1, 1, 1);
    void*** slices = v->slices[0];
    EXPECT_EQ(CountSetFaceNeighbours(slices, 1, 1, 1), 0);
    EXPECT_EQ(MakeBrickMeshFlat(slices, 1, 1, 1, kFull, 1), nullptr);
    QelTriangularMesh* m = MakeBrickMeshFlat(slices, 1, 1, 1, kFull, 0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->nTriangles, 12);
    QEL_DeleteTriangularMesh(m);
}
