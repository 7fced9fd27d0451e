// Kernel constructors: point sets, order, distances and margins against brute-force
// enumerations, the fixed neighbourhoods, radii, offsets for a padded grid and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "support/address_space.hpp"
#include "support/records.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_kernel.h"

namespace {

using qeltest::KernelPtr;

struct Pt {
    int x, y, z;
    float d;
};

// All grid points of the cube |x|, |y|, |z| <= h accepted by `inside`, scan order, then
// stably sorted by `rank`: the order the constructors promise.
template <class Inside, class Rank>
std::vector<Pt> reference_points(int h, Inside inside, Rank rank) {
    std::vector<Pt> pts;
    for (int z = -h; z <= h; ++z)
        for (int y = -h; y <= h; ++y)
            for (int x = -h; x <= h; ++x)
                if (inside(x, y, z)) pts.push_back({x, y, z, static_cast<float>(rank(x, y, z))});
    std::stable_sort(pts.begin(), pts.end(), [](const Pt& a, const Pt& b) { return a.d < b.d; });
    return pts;
}

std::vector<Pt> reference_sphere(float r) {
    const int h = static_cast<int>(r) + 1;
    const float r2 = r * r;
    auto sq = [](int x, int y, int z) { return x * x + y * y + z * z; };
    std::vector<Pt> pts = reference_points(
        h, [&](int x, int y, int z) { return static_cast<double>(sq(x, y, z)) <= r2; }, sq);
    for (Pt& p : pts) p.d = std::sqrt(p.d);
    return pts;
}

int reach_of(const QelKernel* k) {
    int reach = 0;
    for (int i = 0; i < k->points->capacity; ++i)
        reach = std::max({reach, std::abs(k->points->x[i]), std::abs(k->points->y[i]), std::abs(k->points->z[i])});
    return reach;
}

void expect_points(const QelKernel* k, const std::vector<Pt>& expected) {
    ASSERT_EQ(k->points->capacity, static_cast<int>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "point " << i);
        ASSERT_EQ(k->points->x[i], expected[i].x);
        ASSERT_EQ(k->points->y[i], expected[i].y);
        ASSERT_EQ(k->points->z[i], expected[i].z);
        ASSERT_EQ(k->distance[i], expected[i].d);
    }
}

TEST(SphericalKernel, SmallRadiiCountsAndMargins) {
    struct Case {
        float r;
        int points, margin;
    };
    // r 2.0 holds the shells 0, 1, 2, 3, 4: 1 + 6 + 12 + 8 + 6.
    for (const Case& c : {Case{1.0f, 7, 2}, Case{1.5f, 19, 2}, Case{2.0f, 33, 3}}) {
        SCOPED_TRACE(c.r);
        KernelPtr k(QEL_NewSphericalKernel(c.r));
        ASSERT_TRUE(k);
        EXPECT_EQ(k->kind, QEL_KERNEL_SPHERICAL);
        EXPECT_EQ(k->points->count, c.points);
        EXPECT_EQ(k->points->capacity, c.points);
        EXPECT_EQ(k->margin, c.margin);
        EXPECT_EQ(k->radius, c.r);
        EXPECT_EQ(k->maxRadius, c.r);
        EXPECT_EQ(k->points->x[0], 0);
        EXPECT_EQ(k->points->y[0], 0);
        EXPECT_EQ(k->points->z[0], 0);
        EXPECT_EQ(k->distance[0], 0.0f);
        expect_points(k.get(), reference_sphere(c.r));
    }
}

TEST(SphericalKernel, LargerRadiiMatchBruteForceOrder) {
    for (float r : {2.5f, 3.0f, 4.9f, 7.3f, 10.0f}) {
        SCOPED_TRACE(r);
        KernelPtr k(QEL_NewSphericalKernel(r));
        ASSERT_TRUE(k);
        expect_points(k.get(), reference_sphere(r));
        EXPECT_EQ(k->margin, static_cast<int>(r) + 1);
        EXPECT_GT(k->margin, reach_of(k.get()));
        for (int i = 1; i < k->points->capacity; ++i) ASSERT_LE(k->distance[i - 1], k->distance[i]);
    }
}

TEST(SphericalKernel, RefusesBadRadii) {
    EXPECT_EQ(QEL_NewSphericalKernel(0.99f), nullptr);
    EXPECT_EQ(QEL_NewSphericalKernel(-3.0f), nullptr);
    EXPECT_EQ(QEL_NewSphericalKernel(std::numeric_limits<float>::quiet_NaN()), nullptr);
    EXPECT_EQ(QEL_NewSphericalKernel(std::numeric_limits<float>::infinity()), nullptr);
    EXPECT_EQ(QEL_NewSphericalKernel(1e30f), nullptr);
    // (2 * 701 + 1)^3 cells do not fit an int.
    EXPECT_EQ(QEL_NewSphericalKernel(700.0f), nullptr);
}

TEST(Kernels, TablesBeyondHalfOfPhysicalMemoryAreRefusedBeforeTheyAreBuilt) {
    // The largest kernels whose scratch grid fits an int: a radius of 643.9 has about 1.1e9
    // points, a cube of side 1289 about 2.1e9, and each point takes 24 bytes of tables. A
    // radius given on a command line must not build them: on a machine with less than twice
    // that memory they count as "too large for memory".
    const double sphereBytes = 4.0 / 3.0 * 3.14159 * 643.0 * 643.0 * 643.0 * 24.0;
    if (sphereBytes <= static_cast<double>(qel::memory_bound()))
        GTEST_SKIP() << "this machine may hold the largest kernels";
    qeltest::AddressSpaceCap cap(int64_t{1} << 30);
    EXPECT_EQ(QEL_NewSphericalKernel(643.9f), nullptr);
    EXPECT_EQ(QEL_NewCubicKernel(1289), nullptr);
    EXPECT_EQ(QEL_NewKernel(std::numeric_limits<int>::max()), nullptr);
    EXPECT_EQ(QEL_NewVoxelList(std::numeric_limits<int>::max()), nullptr);
}

TEST(NeighborhoodKernel, FixedOrders) {
    const std::vector<std::array<int, 3>> faces = {{0, 0, -1}, {0, -1, 0}, {-1, 0, 0},
                                                   {1, 0, 0},  {0, 1, 0},  {0, 0, 1}};
    const std::vector<std::array<int, 3>> edges = {{0, -1, -1}, {-1, 0, -1}, {1, 0, -1}, {0, 1, -1},
                                                   {-1, -1, 0}, {1, -1, 0},  {-1, 1, 0}, {1, 1, 0},
                                                   {0, -1, 1},  {-1, 0, 1},  {1, 0, 1},  {0, 1, 1}};
    const std::vector<std::array<int, 3>> corners = {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1},
                                                     {-1, -1, 1},  {1, -1, 1},  {-1, 1, 1},  {1, 1, 1}};
    struct Case {
        int n;
        uint32_t radiusBits;
    };
    for (const Case& c : {Case{6, 0x3F8CCCCDu}, Case{18, 0x3FC00000u}, Case{26, 0x3FE66666u}}) {
        SCOPED_TRACE(c.n);
        KernelPtr k(QEL_NewNeighborhoodKernel(c.n));
        ASSERT_TRUE(k);
        EXPECT_EQ(std::bit_cast<uint32_t>(k->radius), c.radiusBits);
        EXPECT_EQ(k->margin, 2);
        EXPECT_EQ(k->points->count, c.n + 1);
        std::vector<std::array<int, 3>> expected = {{0, 0, 0}};
        std::vector<float> dist = {0.0f};
        const std::vector<std::array<int, 3>>* shells[] = {&faces, &edges, &corners};
        for (int s = 0; s < 3 && static_cast<int>(expected.size()) < c.n + 1; ++s)
            for (const auto& p : *shells[s]) {
                expected.push_back(p);
                dist.push_back(std::sqrt(static_cast<float>(s + 1)));
            }
        ASSERT_EQ(static_cast<int>(expected.size()), c.n + 1);
        for (int i = 0; i <= c.n; ++i) {
            EXPECT_EQ(k->points->x[i], expected[i][0]) << i;
            EXPECT_EQ(k->points->y[i], expected[i][1]) << i;
            EXPECT_EQ(k->points->z[i], expected[i][2]) << i;
            EXPECT_EQ(k->distance[i], dist[i]) << i;
        }
    }
    for (int n : {0, 8, 7, 19, 27, -6}) EXPECT_EQ(QEL_NewNeighborhoodKernel(n), nullptr) << n;
}

TEST(CubicKernel, ShellsInScanOrder) {
    EXPECT_EQ(QEL_NewCubicKernel(1), nullptr);
    EXPECT_EQ(QEL_NewCubicKernel(0), nullptr);
    EXPECT_EQ(QEL_NewCubicKernel(-5), nullptr);
    EXPECT_EQ(QEL_NewCubicKernel(std::numeric_limits<int>::max()), nullptr);
    struct Case {
        int size, half;
    };
    // An even size counts as the next odd one, so 2 is the 3 x 3 x 3 cube.
    for (const Case& c : {Case{2, 1}, Case{3, 1}, Case{4, 2}, Case{5, 2}, Case{9, 4}}) {
        SCOPED_TRACE(c.size);
        KernelPtr k(QEL_NewCubicKernel(c.size));
        ASSERT_TRUE(k);
        const int side = 2 * c.half + 1;
        EXPECT_EQ(k->kind, QEL_KERNEL_CUBIC);
        EXPECT_EQ(k->points->count, side * side * side);
        EXPECT_EQ(k->radius, static_cast<float>(c.half));
        EXPECT_EQ(k->maxRadius, static_cast<float>(c.half));
        EXPECT_GE(k->margin, reach_of(k.get()));
        EXPECT_LE(k->margin, c.half + 1);
        auto cheb = [](int x, int y, int z) { return std::max({std::abs(x), std::abs(y), std::abs(z)}); };
        expect_points(k.get(), reference_points(c.half, [](int, int, int) { return true; }, cheb));
        EXPECT_EQ(k->points->x[1], -1);
        EXPECT_EQ(k->points->x[2], 0);
        EXPECT_EQ(k->points->x[3], 1);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(k->points->y[i], -1);
            EXPECT_EQ(k->points->z[i], -1);
        }
    }
}

TEST(KernelRadius, SelectsPrefixOfPoints) {
    KernelPtr k(QEL_NewNeighborhoodKernel(26));
    ASSERT_TRUE(k);
    QEL_SetKernelRadius(k.get(), 1.2f);
    EXPECT_EQ(k->points->count, 7);
    EXPECT_EQ(k->radius, 1.2f);
    QEL_SetKernelRadius(k.get(), -1.0f);
    EXPECT_EQ(k->points->count, 7);
    EXPECT_EQ(k->radius, 1.2f);
    QEL_SetKernelRadius(k.get(), 1.5f);
    EXPECT_EQ(k->points->count, 19);
    QEL_SetKernelRadius(k.get(), 0.0f);
    EXPECT_EQ(k->points->count, 1);
    EXPECT_EQ(k->radius, 0.0f);
    QEL_SetKernelRadius(k.get(), 5.0f);
    EXPECT_EQ(k->points->count, 27);
    EXPECT_EQ(std::bit_cast<uint32_t>(k->radius), 0x3FE66666u);

    // On a larger sphere every radius selects exactly the points within it.
    KernelPtr s(QEL_NewSphericalKernel(4.0f));
    ASSERT_TRUE(s);
    for (float r : {0.5f, 1.0f, 1.9f, 2.0f, 2.3f, 3.99f}) {
        QEL_SetKernelRadius(s.get(), r);
        int within = 0;
        for (int i = 0; i < s->points->capacity; ++i) within += s->distance[i] <= r;
        EXPECT_EQ(s->points->count, within) << r;
    }
    QEL_SetKernelRadius(nullptr, 1.0f);
}

// The point of a kernel's offsets: neighbour k of the voxel at p of a padded block is at
// p + offset[k], inactive points included.
TEST(KernelOffsets, AddressNeighboursOfAPaddedBlock) {
    KernelPtr k(QEL_NewSphericalKernel(2.0f));
    ASSERT_TRUE(k);
    QEL_SetKernelRadius(k.get(), 1.0f);  // offsets still cover every point
    const int nx = 4, ny = 3, nz = 5, m = k->margin;
    const QelSize3i padded{nx + 2 * m, ny + 2 * m, nz + 2 * m};
    QEL_SetKernelOffsets(k.get(), &padded);
    EXPECT_EQ(k->points->dims->nx, padded.nx);
    EXPECT_EQ(k->points->dims->ny, padded.ny);
    EXPECT_EQ(k->points->dims->nz, padded.nz);
    const int total = padded.nx * padded.ny * padded.nz;
    std::vector<int> code(total);  // each cell holds its own coordinates
    for (int z = 0; z < padded.nz; ++z)
        for (int y = 0; y < padded.ny; ++y)
            for (int x = 0; x < padded.nx; ++x) code[x + padded.nx * (y + padded.ny * z)] = x + 100 * y + 10000 * z;
    for (int z = m; z < m + nz; ++z)
        for (int y = m; y < m + ny; ++y)
            for (int x = m; x < m + nx; ++x) {
                const int p = x + padded.nx * (y + padded.ny * z);
                for (int i = 0; i < k->points->capacity; ++i) {
                    const int q = p + k->points->offset[i];
                    ASSERT_GE(q, 0);
                    ASSERT_LT(q, total);
                    ASSERT_EQ(code[q], (x + k->points->x[i]) + 100 * (y + k->points->y[i]) +
                                           10000 * (z + k->points->z[i]));
                }
            }

    KernelPtr n(QEL_NewNeighborhoodKernel(26));
    ASSERT_TRUE(n);
    const QelSize3i dims{10, 20, 30};
    QEL_SetKernelOffsets(n.get(), &dims);
    int found = 0;
    for (int i = 0; i < n->points->capacity; ++i)
        if (n->points->x[i] == 1 && n->points->y[i] == -1 && n->points->z[i] == 1) {
            EXPECT_EQ(n->points->offset[i], 1 + 10 * (-1 + 20 * 1));
            ++found;
        }
    EXPECT_EQ(found, 1);
    KernelPtr big(QEL_NewSphericalKernel(2.5f));
    ASSERT_TRUE(big);
    QEL_SetKernelOffsets(big.get(), &dims);
    found = 0;
    for (int i = 0; i < big->points->capacity; ++i)
        if (big->points->x[i] == 1 && big->points->y[i] == -1 && big->points->z[i] == 2) {
            EXPECT_EQ(big->points->offset[i], 391);
            ++found;
        }
    EXPECT_EQ(found, 1);
}

TEST(GeneralKernel, NewKernelAndWeights) {
    EXPECT_EQ(QEL_NewKernel(0), nullptr);
    EXPECT_EQ(QEL_NewKernel(-2), nullptr);
    KernelPtr k(QEL_NewKernel(3));
    ASSERT_TRUE(k);
    EXPECT_EQ(k->kind, QEL_KERNEL_GENERAL);
    EXPECT_EQ(k->points->count, 1);
    EXPECT_EQ(k->points->capacity, 3);
    EXPECT_EQ(k->margin, 1);
    EXPECT_EQ(k->radius, 1.0f);
    EXPECT_EQ(k->maxRadius, 1.0f);
    EXPECT_EQ(k->weightSum, 0.0f);
    EXPECT_EQ(k->weight[0], 0.0f);
    EXPECT_EQ(k->points->offset[0], 0);

    const QelPoint3i centre{0, 0, 0}, a{1, 0, 0}, b{0, 2, 0}, c{0, 0, 3};
    EXPECT_EQ(QEL_SetKernelWeight(k.get(), &centre, 4.0f), 1);
    EXPECT_EQ(k->weight[0], 4.0f);
    EXPECT_EQ(QEL_SetKernelWeight(k.get(), &a, 2.0f), 2);
    EXPECT_EQ(QEL_SetKernelWeight(k.get(), &b, 1.0f), 3);
    EXPECT_EQ(QEL_SetKernelWeight(k.get(), &a, 5.0f), 3);
    EXPECT_EQ(k->weight[1], 5.0f);
    EXPECT_EQ(QEL_SetKernelWeight(k.get(), &c, 9.0f), 3);  // full: nothing stored
    EXPECT_EQ(k->weight[2], 1.0f);
    EXPECT_EQ(k->weightSum, 0.0f);

    KernelPtr s(QEL_NewNeighborhoodKernel(6));
    ASSERT_TRUE(s);
    EXPECT_EQ(QEL_SetKernelWeight(s.get(), &b, 3.0f), 7);
    EXPECT_EQ(s->points->count, 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(s->weight[i], 0.0f);
}

}  // namespace
