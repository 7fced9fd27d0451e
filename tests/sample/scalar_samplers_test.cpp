// The per-unit samplers, table-driven over all eight units. Every array is an ExactGrid, so a
// read one element past a row or table fails under AddressSanitizer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/exact_grid.hpp"
#include "support/samplers.hpp"
#include "volume/qel_sample.h"

using qeltest::ExactGrid;

namespace {

template <class T>
using Fns = qeltest::SamplersOf<T>;

// What a linear sampler of unit T returns for an exactly interpolated real value.
template <class T>
T expected(double real) {
    if constexpr (std::is_floating_point_v<T>) return static_cast<T>(real);
    else return static_cast<T>(std::trunc(real));
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

template <class T>
class Samplers : public ::testing::Test {};
using AllUnits = ::testing::Types<uint8_t, int8_t, uint16_t, int16_t, uint32_t, int32_t, float, double>;
TYPED_TEST_SUITE(Samplers, AllUnits);

TYPED_TEST(Samplers, NearestBoundedTruncatesAndRefusesOutside) {
    using T = TypeParam;
    using F = Fns<T>;
    ExactGrid<T> a(4);
    a.fill({11, 22, 33, 44});
    struct Case {
        float x;
        double want;
    };
    const Case cases[] = {{-0.5f, 11}, {-0.999f, 11}, {-1.0f, 0}, {0.0f, 11}, {2.5f, 33}, {3.999f, 44},
                          {4.0f, 0},   {kNaN, 0},     {kInf, 0},  {-kInf, 0}, {1e30f, 0}, {-1e30f, 0}};
    for (const Case& c : cases) EXPECT_EQ(F::nearest1b(a.data(), 4, c.x), T(c.want)) << "x=" << c.x;

    ExactGrid<T> g(3, 2, 2);
    g.fill({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    EXPECT_EQ(F::nearest2b(g.rows(1), 3, 2, 2.9f, 1.5f), T(12));
    EXPECT_EQ(F::nearest2b(g.rows(0), 3, 2, 1.0f, 2.0f), T(0));  // y = ny
    EXPECT_EQ(F::nearest2b(g.rows(0), 3, 2, 3.0f, 0.0f), T(0));  // x = nx
    EXPECT_EQ(F::nearest2b(g.rows(0), 3, 2, 0.5f, -0.5f), T(1));
    EXPECT_EQ(F::nearest2b(g.rows(0), 3, 2, kNaN, 0.0f), T(0));
    EXPECT_EQ(F::nearest3b(g.slices(), 3, 2, 2, 1.7f, 0.2f, 1.99f), T(8));
    EXPECT_EQ(F::nearest3b(g.slices(), 3, 2, 2, 0.0f, 0.0f, 2.0f), T(0));
    EXPECT_EQ(F::nearest3b(g.slices(), 3, 2, 2, 0.0f, -1.0f, 0.0f), T(0));
    EXPECT_EQ(F::nearest3b(g.slices(), 3, 2, 2, 0.0f, 0.0f, -kInf), T(0));
    EXPECT_EQ(F::nearest3b(nullptr, 3, 2, 2, 0.0f, 0.0f, 0.0f), T(0));

    // The unchecked forms read the same elements inside the array, up to the last one.
    EXPECT_EQ(F::nearest1(a.data(), 4, 3.5f), T(44));
    EXPECT_EQ(F::nearest2(g.rows(1), 3, 2, 2.0f, 1.0f), T(12));
    EXPECT_EQ(F::nearest3(g.slices(), 3, 2, 2, 2.99f, 1.99f, 1.99f), T(12));
    EXPECT_EQ(F::nearest3(g.slices(), 3, 2, 2, -0.5f, -0.5f, -0.5f), T(1));
}

TYPED_TEST(Samplers, Linear1DClampedExactFractions) {
    using T = TypeParam;
    using F = Fns<T>;
    ExactGrid<T> a(2);
    a.fill({10, 20});
    struct Case {
        float x;
        double real;
    };
    const Case cases[] = {
        {0.25f, 12.5}, {0.5f, 15},   {0.875f, 18.75}, {1.0f, 20},  {7.0f, 20}, {-3.0f, 10}, {-1.0f, 10},
        {-0.5f, 5},  // (-1, 0) truncates to cell 0 and leans past the first sample
        {kInf, 20},    {1e30f, 20},  {-kInf, 10},     {kNaN, 10},  {0.0f, 10}};
    for (const Case& c : cases) EXPECT_EQ(F::linear1c(a.data(), 2, c.x), expected<T>(c.real)) << "x=" << c.x;

    ExactGrid<T> one(1);
    one.fill({42});
    for (float x : {-5.0f, -0.5f, 0.0f, 0.5f, 1.0f, 100.0f, kNaN})
        EXPECT_EQ(F::linear1c(one.data(), 1, x), T(42)) << "x=" << x;
}

TYPED_TEST(Samplers, LinearKeepsTheUnitsFullRange) {
    using T = TypeParam;
    using F = Fns<T>;
    using L = std::numeric_limits<T>;
    if constexpr (!std::is_floating_point_v<T>) {
        // Unsigned words above 2^31 keep their value; sums are carried in double.
        ExactGrid<T> hi(2);
        hi.fill({T(L::max() - 3), T(L::max() - 1)});
        EXPECT_EQ(F::linear1c(hi.data(), 2, 0.5f), T(L::max() - 2));
        EXPECT_EQ(F::linear1(hi.data(), 2, 0.5f), T(L::max() - 2));
        if constexpr (L::is_signed) {
            ExactGrid<T> lo(2);
            lo.fill({T(L::min()), T(L::min() + 2)});
            EXPECT_EQ(F::linear1c(lo.data(), 2, 0.5f), T(L::min() + 1));
            ExactGrid<T> neg(2);
            neg.fill({-3, -4});
            EXPECT_EQ(F::linear1c(neg.data(), 2, 0.5f), T(-3));  // -3.5 truncated toward zero
        }
    } else {
        ExactGrid<T> neg(2);
        neg.fill({-3, -4});
        EXPECT_EQ(F::linear1c(neg.data(), 2, 0.5f), T(-3.5));
    }
}

TYPED_TEST(Samplers, Linear2DClampedPerAxis) {
    using T = TypeParam;
    using F = Fns<T>;
    ExactGrid<T> g(2, 2);
    g.fill({0, 10, 20, 30});  // v(x, y) = 10x + 20y, so bilinear values are exact
    struct Case {
        float x, y;
        double real;
    };
    const Case cases[] = {{0.5f, 0.5f, 15},  {0.25f, 0.75f, 17.5}, {1.0f, 0.25f, 15}, {5.0f, 0.25f, 15},
                          {1e30f, 0.5f, 20}, {0.5f, 9.0f, 25},     {-4.0f, 0.5f, 10}, {0.5f, -4.0f, 5},
                          {-9.0f, 9.0f, 20}, {9.0f, 9.0f, 30},     {kNaN, 1.0f, 20},  {0.125f, 0.0f, 1.25}};
    for (const Case& c : cases)
        EXPECT_EQ(F::linear2c(g.rows(), 2, 2, c.x, c.y), expected<T>(c.real)) << c.x << "," << c.y;

    // No jump at the last column: just below it the value is close to the clamped one.
    if constexpr (std::is_floating_point_v<T>) {
        EXPECT_NEAR(F::linear2c(g.rows(), 2, 2, 0.9999f, 0.5f), F::linear2c(g.rows(), 2, 2, 1.0f, 0.5f), 1e-2);
    }
}

TYPED_TEST(Samplers, Linear3DClampedAndUncheckedAgreeInside) {
    using T = TypeParam;
    using F = Fns<T>;
    ExactGrid<T> g(3, 2, 2);
    std::vector<T> v;
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 3; ++i) v.push_back(T(1 + i + 2 * j + 4 * k));  // trilinear is exact
    g.fill(v);
    auto real = [](double x, double y, double z) { return 1 + x + 2 * y + 4 * z; };
    struct Case {
        float x, y, z;
    };
    const Case inside[] = {{0.5f, 0.25f, 0.75f}, {1.5f, 0.5f, 0.5f}, {2.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f},
                           {1.875f, 0.125f, 0.625f}};
    for (const Case& c : inside) {
        const T want = expected<T>(real(c.x, c.y, c.z));
        EXPECT_EQ(F::linear3c(g.slices(), 3, 2, 2, c.x, c.y, c.z), want) << c.x << "," << c.y << "," << c.z;
        // The unchecked form at exactly extent - 1 reads nothing past the array.
        EXPECT_EQ(F::linear3(g.slices(), 3, 2, 2, c.x, c.y, c.z), want) << c.x << "," << c.y << "," << c.z;
    }
    EXPECT_EQ(F::linear3c(g.slices(), 3, 2, 2, 7.0f, -2.0f, 0.5f), expected<T>(real(2, 0, 0.5)));
    EXPECT_EQ(F::linear3c(g.slices(), 3, 2, 2, 0.5f, 1e30f, kInf), expected<T>(real(0.5, 1, 1)));
    EXPECT_EQ(F::linear3c(g.slices(), 3, 2, 2, kNaN, kNaN, kNaN), T(1));
}

TYPED_TEST(Samplers, UncheckedAtTheLastSampleReadsNothingBeyond) {
    using T = TypeParam;
    using F = Fns<T>;
    ExactGrid<T> a(3);
    a.fill({5, 6, 7});
    EXPECT_EQ(F::linear1(a.data(), 3, 2.0f), T(7));
    EXPECT_EQ(F::linear1(a.data(), 3, 1.5f), expected<T>(6.5));
    ExactGrid<T> g(3, 2);
    g.fill({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(F::linear2(g.rows(), 3, 2, 2.0f, 1.0f), T(6));
    EXPECT_EQ(F::linear2(g.rows(), 3, 2, 2.0f, 0.5f), expected<T>(4.5));
    EXPECT_EQ(F::linear2(g.rows(), 3, 2, 0.5f, 1.0f), expected<T>(4.5));
}

TYPED_TEST(Samplers, ClampedOnAxesOfExtentOne) {
    using T = TypeParam;
    using F = Fns<T>;
    // A single column of two rows: every x gives the interpolation along y of that column.
    ExactGrid<T> col(1, 2);
    col.fill({10, 20});
    for (float x : {-3.0f, -0.5f, 0.0f, 0.5f, 1.0f, 1e30f, kNaN})
        EXPECT_EQ(F::linear2c(col.rows(), 1, 2, x, 0.25f), expected<T>(12.5)) << "x=" << x;
    // A single row: every y gives the interpolation along x.
    ExactGrid<T> row(2, 1);
    row.fill({10, 20});
    for (float y : {-3.0f, -0.5f, 0.0f, 0.5f, 1.0f, 1e30f})
        EXPECT_EQ(F::linear2c(row.rows(), 2, 1, 0.75f, y), expected<T>(17.5)) << "y=" << y;
    // A single slice, and a single voxel.
    ExactGrid<T> slab(2, 2, 1);
    slab.fill({0, 10, 20, 30});
    EXPECT_EQ(F::linear3c(slab.slices(), 2, 2, 1, 0.5f, 0.5f, 0.7f), expected<T>(15));
    EXPECT_EQ(F::linear3c(slab.slices(), 2, 2, 1, 0.5f, 0.5f, -0.7f), expected<T>(15));
    ExactGrid<T> voxel(1, 1, 1);
    voxel.fill({9});
    for (float c : {-2.0f, -0.5f, 0.0f, 0.3f, 1.0f, 5.0f, kNaN, kInf}) {
        EXPECT_EQ(F::linear3c(voxel.slices(), 1, 1, 1, c, c, c), T(9)) << "c=" << c;
        EXPECT_EQ(F::nearest3b(voxel.slices(), 1, 1, 1, c, c, c), (c > -1.0f && c < 1.0f) ? T(9) : T(0));
    }
}

}  // namespace
