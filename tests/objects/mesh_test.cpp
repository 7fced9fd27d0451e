#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "objects/qel_mesh.h"
#include "support/capture.hpp"
#include "support/records.hpp"

namespace {

using qeltest::MeshPtr;

MeshPtr make_mesh(const std::vector<std::array<float, 3>>& vertices,
                  const std::vector<std::array<int, 3>>& triangles) {
    MeshPtr m(QEL_NewTriangularMesh(static_cast<int>(triangles.size()),
                                    static_cast<int>(vertices.size())));
    if (!m) return m;
    for (size_t i = 0; i < vertices.size(); ++i)
        for (int k = 0; k < 3; ++k) m->vertices[i][k] = vertices[i][k];
    for (size_t i = 0; i < triangles.size(); ++i)
        for (int k = 0; k < 3; ++k) m->triangles[i][k] = triangles[i][k];
    m->nVertices = static_cast<int>(vertices.size());
    m->nTriangles = static_cast<int>(triangles.size());
    return m;
}

std::array<double, 3> sub(const float* a, const float* b) {
    return {double(a[0]) - b[0], double(a[1]) - b[1], double(a[2]) - b[2]};
}
std::array<double, 3> cross(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
std::array<double, 3> unit(std::array<double, 3> v) {
    double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / l, v[1] / l, v[2] / l};
}

void expect_near3(const float* got, std::array<double, 3> want, double tol = 1e-5) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], tol) << "component " << k;
}

// A tetrahedron whose faces all run counter-clockwise seen from outside.
MeshPtr tetrahedron() {
    return make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                     {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}});
}

}  // namespace

TEST(TriangularMesh, NewHasFixedArraysOnly) {
    MeshPtr m(QEL_NewTriangularMesh(5, 7));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->triangleCapacity, 5);
    EXPECT_EQ(m->vertexCapacity, 7);
    EXPECT_EQ(m->nTriangles, 0);
    EXPECT_EQ(m->nVertices, 0);
    EXPECT_NE(m->triangles, nullptr);
    EXPECT_NE(m->vertices, nullptr);
    EXPECT_NE(m->vertexNormals, nullptr);
    EXPECT_EQ(m->triangleNormals, nullptr);
    EXPECT_EQ(m->colours, nullptr);
    EXPECT_EQ(m->neighbours, nullptr);
    EXPECT_EQ(m->vertexTriangles, nullptr);
    EXPECT_EQ(m->maxTrianglesPerVertex, 0);
    EXPECT_EQ(QEL_AllocTriangularMeshColors(m.get()), 0);
    EXPECT_NE(m->colours, nullptr);
    EXPECT_EQ(QEL_AllocTriangularMeshColors(m.get()), -1);  // has colours already

    MeshPtr empty(QEL_NewTriangularMesh(0, 0));
    EXPECT_TRUE(empty);
    EXPECT_EQ(QEL_NewTriangularMesh(-1, 3), nullptr);
    EXPECT_EQ(QEL_NewTriangularMesh(3, -1), nullptr);
    QEL_DeleteTriangularMesh(nullptr);
}

TEST(TriangularMesh, NormalsFollowTheReversedConvention) {
    MeshPtr m = make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    expect_near3(m->triangleNormals[0], {0, 0, -1}, 0);
    qeltest::StderrCapture capture;
    ASSERT_EQ(QEL_BuildVertexTriangleTable(m.get(), 4), 0);
    EXPECT_EQ(capture.stop(), "vertex triangles max = 1 (<4)\n");
    ASSERT_EQ(QEL_ComputeVertexNormals(m.get()), 0);
    for (int v = 0; v < 3; ++v) expect_near3(m->vertexNormals[v], {0, 0, 1}, 0);

    QEL_FlipTriangleOrientation(m.get());
    EXPECT_EQ(m->triangles[0][0], 2);
    EXPECT_EQ(m->triangles[0][1], 1);
    EXPECT_EQ(m->triangles[0][2], 0);
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    expect_near3(m->triangleNormals[0], {0, 0, 1}, 0);
    QEL_FlipTriangleOrientation(nullptr);
}

TEST(TriangularMesh, TriangleNormalsMatchMinusTheUsualNormal) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> coord(-10.0f, 10.0f);
    std::vector<std::array<float, 3>> vertices(30);
    for (auto& v : vertices) v = {coord(rng), coord(rng), coord(rng)};
    std::vector<std::array<int, 3>> triangles;
    std::uniform_int_distribution<int> pick(0, 29);
    while (triangles.size() < 40) {
        std::array<int, 3> t{pick(rng), pick(rng), pick(rng)};
        if (t[0] != t[1] && t[1] != t[2] && t[0] != t[2]) triangles.push_back(t);
    }
    MeshPtr m = make_mesh(vertices, triangles);
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    for (size_t i = 0; i < triangles.size(); ++i) {
        const float* p0 = m->vertices[triangles[i][0]];
        const float* p1 = m->vertices[triangles[i][1]];
        const float* p2 = m->vertices[triangles[i][2]];
        auto usual = unit(cross(sub(p1, p0), sub(p2, p0)));
        expect_near3(m->triangleNormals[i], {-usual[0], -usual[1], -usual[2]}, 1e-4);
    }
}

TEST(TriangularMesh, VertexNormalsPointOutOfAClosedCounterClockwiseSurface) {
    MeshPtr m = tetrahedron();
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    qeltest::StderrCapture capture;
    ASSERT_EQ(QEL_BuildVertexTriangleTable(m.get(), 6), 0);
    EXPECT_EQ(capture.stop(), "vertex triangles max = 3 (<6)\n");
    ASSERT_EQ(QEL_ComputeVertexNormals(m.get()), 0);
    const double centroid[3] = {0.25, 0.25, 0.25};
    for (int v = 0; v < 4; ++v) {
        // Reference: minus the normalised mean of the stored normals of the vertex's faces.
        std::array<double, 3> sum{0, 0, 0};
        int k = 0;
        for (int t = 0; t < 4; ++t) {
            const int* tri = m->triangles[t];
            if (tri[0] == v || tri[1] == v || tri[2] == v) {
                for (int c = 0; c < 3; ++c) sum[c] += m->triangleNormals[t][c];
                ++k;
            }
        }
        ASSERT_EQ(k, 3);
        auto want = unit({-sum[0], -sum[1], -sum[2]});
        expect_near3(m->vertexNormals[v], want);
        double outward = 0;
        for (int c = 0; c < 3; ++c) outward += m->vertexNormals[v][c] * (m->vertices[v][c] - centroid[c]);
        EXPECT_GT(outward, 0.0) << "vertex " << v;
    }
}

TEST(TriangularMesh, VertexNormalsNeedNormalsAndTable) {
    MeshPtr m = tetrahedron();
    m->vertexNormals[0][0] = 42.0f;
    EXPECT_EQ(QEL_ComputeVertexNormals(m.get()), -1);  // no triangle normals
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    EXPECT_EQ(QEL_ComputeVertexNormals(m.get()), -1);  // no vertex table
    EXPECT_EQ(m->vertexNormals[0][0], 42.0f);
}

TEST(TriangularMesh, VertexTableRowsAndStatistics) {
    // Vertex 0 lies in triangles 0, 3 and 7 of eight.
    std::vector<std::array<float, 3>> vertices(12, {0, 0, 0});
    std::vector<std::array<int, 3>> triangles = {{0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {4, 5, 0},
                                                 {5, 6, 7}, {6, 7, 8}, {8, 9, 10}, {9, 0, 11}};
    MeshPtr m = make_mesh(vertices, triangles);
    qeltest::StderrCapture capture;
    ASSERT_EQ(QEL_BuildVertexTriangleTable(m.get(), 4), 0);
    EXPECT_EQ(capture.stop(), "vertex triangles max = 3 (<4)\n");
    EXPECT_EQ(m->maxTrianglesPerVertex, 4);
    const int* row0 = m->vertexTriangles;
    EXPECT_EQ(std::vector<int>(row0, row0 + 4), (std::vector<int>{0, 3, 7, -1}));
    // Every row against a brute-force listing.
    for (int v = 0; v < 12; ++v) {
        std::vector<int> want;
        for (int t = 0; t < 8; ++t)
            if (std::count(triangles[t].begin(), triangles[t].end(), v)) want.push_back(t);
        want.resize(4, -1);
        const int* row = m->vertexTriangles + 4 * v;
        EXPECT_EQ(std::vector<int>(row, row + 4), want) << "vertex " << v;
    }

    // Rebuilt with rows too short: later triangles are left out, the line shows the row
    // length as the largest fill.
    qeltest::StderrCapture capture2;
    ASSERT_EQ(QEL_BuildVertexTriangleTable(m.get(), 2), 0);
    EXPECT_EQ(capture2.stop(), "vertex triangles max = 2 (<2)\n");
    EXPECT_EQ(m->vertexTriangles[0], 0);
    EXPECT_EQ(m->vertexTriangles[1], 3);

    qeltest::StderrCapture capture3;
    QEL_PrintVertexTriangleStats(m.get());
    std::free(m->vertexTriangles);
    m->vertexTriangles = nullptr;
    QEL_PrintVertexTriangleStats(m.get());
    EXPECT_EQ(capture3.stop(), "vertex triangles max = 2 (<2)\nvertex triangles NULL\n");

    EXPECT_EQ(QEL_BuildVertexTriangleTable(m.get(), -1), -1);
}

TEST(TriangularMesh, IndicesOutsideTheVerticesAreSkipped) {
    MeshPtr m = make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 9}, {-4, 1, 2}});
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    expect_near3(m->triangleNormals[1], {0, 0, 0}, 0);
    expect_near3(m->triangleNormals[2], {0, 0, 0}, 0);
    qeltest::StderrCapture capture;
    ASSERT_EQ(QEL_BuildVertexTriangleTable(m.get(), 3), 0);
    EXPECT_EQ(capture.stop(), "vertex triangles max = 3 (<3)\n");
    ASSERT_EQ(QEL_ComputeVertexNormals(m.get()), 0);
    // Vertex 0 lies in triangles 0 and 1; the second has no normal to contribute.
    EXPECT_EQ(m->vertexTriangles[0], 0);
    EXPECT_EQ(m->vertexTriangles[1], 1);
    expect_near3(m->vertexNormals[0], {0, 0, 1});
}

TEST(TriangularMesh, NeighboursIncludingAnEdgeOfThreeTriangles) {
    MeshPtr two = make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}});
    ASSERT_EQ(QEL_ComputeTriangleNeighbours(two.get()), 0);
    EXPECT_EQ(std::vector<int>(two->neighbours[0], two->neighbours[0] + 3),
              (std::vector<int>{-1, 1, -1}));
    EXPECT_EQ(std::vector<int>(two->neighbours[1], two->neighbours[1] + 3),
              (std::vector<int>{0, -1, -1}));

    // Edge 0-1 is shared by triangles 0, 1 and 2: the lowest other index wins.
    MeshPtr fan = make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                            {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
    ASSERT_EQ(QEL_ComputeTriangleNeighbours(fan.get()), 0);
    EXPECT_EQ(fan->neighbours[0][0], 1);
    EXPECT_EQ(fan->neighbours[1][0], 0);
    EXPECT_EQ(fan->neighbours[2][0], 0);
    EXPECT_EQ(fan->neighbours[0][1], -1);
    EXPECT_EQ(QEL_FindEdgeNeighbour(fan->triangles, 3, 0, 1, 0), 1);
    EXPECT_EQ(QEL_FindEdgeNeighbour(fan->triangles, 3, 5, 0, 1), 0);
    EXPECT_EQ(QEL_FindEdgeNeighbour(fan->triangles, 3, 0, 2, 4), -1);

    // Random small meshes against a brute-force search.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 6);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<std::array<int, 3>> tris(15);
        for (auto& t : tris) t = {pick(rng), pick(rng), pick(rng)};
        MeshPtr m = make_mesh(std::vector<std::array<float, 3>>(7, {0, 0, 0}), tris);
        ASSERT_EQ(QEL_ComputeTriangleNeighbours(m.get()), 0);
        for (int i = 0; i < 15; ++i) {
            for (int e = 0; e < 3; ++e) {
                int a = tris[i][e], b = tris[i][(e + 1) % 3];
                int want = -1;
                for (int j = 0; j < 15 && want < 0; ++j) {
                    if (j == i) continue;
                    bool hasA = std::count(tris[j].begin(), tris[j].end(), a) > 0;
                    bool hasB = std::count(tris[j].begin(), tris[j].end(), b) > 0;
                    if (hasA && hasB) want = j;
                }
                EXPECT_EQ(m->neighbours[i][e], want);
            }
        }
    }
}

TEST(TriangularMesh, BoundingBox) {
    MeshPtr m = make_mesh({{1, 5, -2}, {3, 4, 0}}, {});
    QelBox3f* box = QEL_GetTriangularMeshBoundingBox(m.get());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->origin->x, 1.0f);
    EXPECT_EQ(box->origin->y, 4.0f);
    EXPECT_EQ(box->origin->z, -2.0f);
    EXPECT_EQ(box->size->x, 2.0f);
    EXPECT_EQ(box->size->y, 1.0f);
    EXPECT_EQ(box->size->z, 2.0f);
    QEL_DeleteBox3f(box);

    m->nVertices = 0;
    EXPECT_EQ(QEL_GetTriangularMeshBoundingBox(m.get()), nullptr);
    EXPECT_EQ(QEL_GetTriangularMeshBoundingBox(nullptr), nullptr);
}

TEST(TriangularMesh, TrimKeepsRowsAndOptionalArrays) {
    MeshPtr m(QEL_NewTriangularMesh(100, 200));
    ASSERT_TRUE(m);
    ASSERT_EQ(QEL_AllocTriangularMeshColors(m.get()), 0);
    m->nTriangles = 10;
    m->nVertices = 12;
    for (int v = 0; v < 12; ++v)
        for (int k = 0; k < 4; ++k) {
            if (k < 3) m->vertices[v][k] = static_cast<float>(v * 10 + k);
            if (k < 3) m->vertexNormals[v][k] = static_cast<float>(-v - k);
            m->colours[v][k] = static_cast<float>(v) / 16 + k;
        }
    for (int t = 0; t < 10; ++t)
        for (int k = 0; k < 3; ++k) m->triangles[t][k] = (t + k) % 12;
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    ASSERT_EQ(QEL_ComputeTriangleNeighbours(m.get()), 0);
    {
        qeltest::StderrCapture quiet;
        ASSERT_EQ(QEL_BuildVertexTriangleTable(m.get(), 5), 0);
    }
    MeshPtr before(QEL_CopyTriangularMesh(m.get()));
    ASSERT_TRUE(before);
    float(*normals)[3] = m->triangleNormals;
    int(*neighbours)[3] = m->neighbours;
    int* table = m->vertexTriangles;

    ASSERT_EQ(QEL_TrimTriangularMesh(m.get()), 0);
    EXPECT_EQ(m->triangleCapacity, 10);
    EXPECT_EQ(m->vertexCapacity, 12);
    EXPECT_EQ(std::memcmp(m->triangles, before->triangles, 10 * 12), 0);
    EXPECT_EQ(std::memcmp(m->vertices, before->vertices, 12 * 12), 0);
    EXPECT_EQ(std::memcmp(m->vertexNormals, before->vertexNormals, 12 * 12), 0);
    EXPECT_EQ(std::memcmp(m->colours, before->colours, 12 * 16), 0);
    EXPECT_EQ(m->triangleNormals, normals);
    EXPECT_EQ(m->neighbours, neighbours);
    EXPECT_EQ(m->vertexTriangles, table);

    m->nVertices = 13;  // beyond the trimmed capacity: refused
    EXPECT_EQ(QEL_TrimTriangularMesh(m.get()), -1);
    EXPECT_EQ(QEL_ComputeTriangleNormals(m.get()), -1);
    m->nVertices = 12;
}

TEST(TriangularMesh, DeepCopyIsEqualAndIndependent) {
    MeshPtr m = tetrahedron();
    ASSERT_EQ(QEL_AllocTriangularMeshColors(m.get()), 0);
    for (int v = 0; v < 4; ++v)
        for (int k = 0; k < 4; ++k) m->colours[v][k] = 0.1f * (v + k);
    ASSERT_EQ(QEL_ComputeTriangleNormals(m.get()), 0);
    {
        qeltest::StderrCapture quiet;
        ASSERT_EQ(QEL_BuildVertexTriangleTable(m.get(), 3), 0);
    }
    ASSERT_EQ(QEL_ComputeVertexNormals(m.get()), 0);
    ASSERT_EQ(QEL_ComputeTriangleNeighbours(m.get()), 0);

    MeshPtr c(QEL_CopyTriangularMesh(m.get()));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->triangleCapacity, 4);
    EXPECT_EQ(c->vertexCapacity, 4);
    EXPECT_EQ(c->nTriangles, 4);
    EXPECT_EQ(c->nVertices, 4);
    EXPECT_EQ(c->maxTrianglesPerVertex, 3);
    EXPECT_EQ(std::memcmp(c->triangles, m->triangles, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(c->vertices, m->vertices, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(c->vertexNormals, m->vertexNormals, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(c->colours, m->colours, 4 * 16), 0);
    EXPECT_EQ(std::memcmp(c->triangleNormals, m->triangleNormals, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(c->neighbours, m->neighbours, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(c->vertexTriangles, m->vertexTriangles, 4 * 3 * 4), 0);

    MeshPtr again(QEL_CopyTriangularMesh(m.get()));
    c->vertices[0][0] = 99.0f;
    c->colours[0][0] = 99.0f;
    c->triangleNormals[0][0] = 99.0f;
    c->neighbours[0][0] = 99;
    c->vertexTriangles[0] = 99;
    EXPECT_EQ(std::memcmp(m->vertices, again->vertices, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(m->colours, again->colours, 4 * 16), 0);
    EXPECT_EQ(std::memcmp(m->triangleNormals, again->triangleNormals, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(m->neighbours, again->neighbours, 4 * 12), 0);
    EXPECT_EQ(std::memcmp(m->vertexTriangles, again->vertexTriangles, 4 * 3 * 4), 0);

    MeshPtr bare = make_mesh({{0, 0, 0}}, {});
    MeshPtr bareCopy(QEL_CopyTriangularMesh(bare.get()));
    ASSERT_TRUE(bareCopy);
    EXPECT_EQ(bareCopy->colours, nullptr);
    EXPECT_EQ(bareCopy->triangleNormals, nullptr);
    EXPECT_EQ(bareCopy->neighbours, nullptr);
    EXPECT_EQ(bareCopy->vertexTriangles, nullptr);
    EXPECT_EQ(QEL_CopyTriangularMesh(nullptr), nullptr);
}
