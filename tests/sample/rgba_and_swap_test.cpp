// Packed-RGBA samplers and the byte-order swap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "support/exact_grid.hpp"
#include "volume/qel_sample.h"
#include "volume/qel_units.h"

using qeltest::ExactGrid;

namespace {

uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r << 24 | g << 16 | b << 8 | a; }
uint32_t lane(uint32_t w, int l) { return (w >> (24 - 8 * l)) & 0xff; }

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(RgbaSamplers, LanesInterpolateWithoutCarries) {
    ExactGrid<uint32_t> a(2);
    a.fill({rgba(255, 0, 0, 0), rgba(0, 255, 0, 0)});
    EXPECT_EQ(QEL_SampleLinearRgba1D(a.data(), 2, 0.5f), rgba(127, 127, 0, 0));
    EXPECT_EQ(QEL_SampleLinearRgba1DClamped(a.data(), 2, 0.5f), rgba(127, 127, 0, 0));

    // Interpolating the whole word would give 0x00ffffff here: the half of R's 1 must not
    // spill into G, and G, B and A must not borrow from it.
    ExactGrid<uint32_t> c(2);
    c.fill({rgba(0, 255, 255, 255), rgba(1, 0, 0, 0)});
    EXPECT_EQ(QEL_SampleLinearRgba1DClamped(c.data(), 2, 0.5f), rgba(0, 127, 127, 127));
    EXPECT_EQ(QEL_SampleLinearRgba1DClamped(c.data(), 2, 0.75f), rgba(0, 63, 63, 63));

    ExactGrid<uint32_t> g(2, 2);
    g.fill(std::vector<uint32_t>(4, rgba(0, 255, 0, 0)));
    for (float x : {0.0f, 0.5f, 1.0f})
        for (float y : {0.0f, 0.5f, 1.0f}) {
            EXPECT_EQ(QEL_SampleLinearRgba2D(g.rows(), 2, 2, x, y), rgba(0, 255, 0, 0)) << x << "," << y;
            EXPECT_EQ(QEL_SampleLinearRgba2DClamped(g.rows(), 2, 2, x, y), rgba(0, 255, 0, 0)) << x << "," << y;
        }
}

TEST(RgbaSamplers, ClampedTakesTheEndWords) {
    ExactGrid<uint32_t> a(3);
    a.fill({rgba(1, 2, 3, 4), rgba(50, 60, 70, 80), rgba(250, 251, 252, 253)});
    for (float x : {2.0f, 2.5f, 3.0f, 1e30f, std::numeric_limits<float>::infinity()})
        EXPECT_EQ(QEL_SampleLinearRgba1DClamped(a.data(), 3, x), rgba(250, 251, 252, 253)) << x;
    for (float x : {-1.0f, -7.5f, -1e30f, kNaN}) EXPECT_EQ(QEL_SampleLinearRgba1DClamped(a.data(), 3, x), rgba(1, 2, 3, 4)) << x;
    EXPECT_EQ(QEL_SampleLinearRgba1D(a.data(), 3, 2.0f), rgba(250, 251, 252, 253));  // nothing read past the end

    ExactGrid<uint32_t> v(2, 2, 2);
    v.fill({0, 0, 0, rgba(9, 9, 9, 9), 0, 0, 0, rgba(200, 100, 50, 25)});
    EXPECT_EQ(QEL_SampleLinearRgba3DClamped(v.slices(), 2, 2, 2, 5.0f, 5.0f, 5.0f), rgba(200, 100, 50, 25));
    EXPECT_EQ(QEL_SampleLinearRgba3DClamped(v.slices(), 2, 2, 2, 1.0f, 1.0f, -3.0f), rgba(9, 9, 9, 9));
    EXPECT_EQ(QEL_SampleLinearRgba3D(v.slices(), 2, 2, 2, 1.0f, 1.0f, 1.0f), rgba(200, 100, 50, 25));

    // Extent 1 on every axis: the one word, whatever the position.
    ExactGrid<uint32_t> one(1, 1, 1);
    one.fill({rgba(7, 8, 9, 10)});
    for (float c : {-2.0f, -0.5f, 0.0f, 0.5f, 3.0f, kNaN}) {
        EXPECT_EQ(QEL_SampleLinearRgba3DClamped(one.slices(), 1, 1, 1, c, c, c), rgba(7, 8, 9, 10)) << c;
        EXPECT_EQ(QEL_SampleLinearRgba2DClamped(one.rows(), 1, 1, c, c), rgba(7, 8, 9, 10)) << c;
        EXPECT_EQ(QEL_SampleLinearRgba1DClamped(one.data(), 1, c), rgba(7, 8, 9, 10)) << c;
    }
}

// Random words at random positions with exact fractions: each lane of the packed sampler equals
// the 8-bit sampler run on that lane alone (a 1-D lane also equals the plain formula).
TEST(RgbaSamplers, EachLaneMatchesTheEightBitSampler) {
    std::mt19937 rng(7);
    const int nx = 4, ny = 3, nz = 3;
    ExactGrid<uint32_t> packed(nx, ny, nz);
    ExactGrid<uint8_t> lanes[4] = {{nx, ny, nz}, {nx, ny, nz}, {nx, ny, nz}, {nx, ny, nz}};
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const uint32_t w = rng();
                packed.at(i, j, k) = w;
                for (int l = 0; l < 4; ++l) lanes[l].at(i, j, k) = static_cast<uint8_t>(lane(w, l));
            }
    // Positions in (-1, 0) lean past the first sample and may leave a lane's range, where the
    // in-place truncation differs from the 8-bit one; they are left out here.
    std::uniform_int_distribution<int> eighths(-16, 36);
    auto pos = [&] {
        const int e = eighths(rng);
        return (e > -8 && e < 0 ? 0 : e) / 8.0f;
    };
    for (int t = 0; t < 500; ++t) {
        const float x = pos(), y = pos(), z = pos();
        const uint32_t got3 = QEL_SampleLinearRgba3DClamped(packed.slices(), nx, ny, nz, x, y, z);
        const uint32_t got2 = QEL_SampleLinearRgba2DClamped(packed.rows(1), nx, ny, x, y);
        const uint32_t got1 = QEL_SampleLinearRgba1DClamped(packed.rows(2)[1], nx, x);
        for (int l = 0; l < 4; ++l) {
            EXPECT_EQ(lane(got3, l), QEL_SampleLinear3DClamped_Uint8(lanes[l].slices(), nx, ny, nz, x, y, z));
            EXPECT_EQ(lane(got2, l), QEL_SampleLinear2DClamped_Uint8(lanes[l].rows(1), nx, ny, x, y));
            // Plain formula for the 1-D lane, clamped to the ends.
            const uint8_t* r = static_cast<const uint8_t*>(lanes[l].rows(2)[1]);
            double want;
            if (x <= -1.0f) want = r[0];
            else if (x >= nx - 1) want = r[nx - 1];
            else {
                const int i = static_cast<int>(std::trunc(x));
                want = (1 - (x - i)) * r[i] + (x - i) * r[i + 1];
            }
            EXPECT_EQ(lane(got1, l), static_cast<uint32_t>(std::trunc(want))) << "x=" << x;
        }
        if (x >= 0 && y >= 0 && z >= 0 && x <= nx - 1 && y <= ny - 1 && z <= nz - 1) {
            EXPECT_EQ(QEL_SampleLinearRgba3D(packed.slices(), nx, ny, nz, x, y, z), got3);
            EXPECT_EQ(QEL_SampleLinearRgba2D(packed.rows(1), nx, ny, x, y), got2);
        }
    }
}

TEST(SwapByteOrder, ReversesSixteenAndThirtyTwoBitElements) {
    unsigned char b16[] = {0x12, 0x34, 0x56, 0x78};
    QEL_SwapByteOrder(b16, QEL_VOXEL_UNIT_UINT16, 2);
    EXPECT_EQ(0, std::memcmp(b16, "\x34\x12\x78\x56", 4));
    QEL_SwapByteOrder(b16, QEL_VOXEL_UNIT_INT16, 1);
    EXPECT_EQ(0, std::memcmp(b16, "\x12\x34\x78\x56", 4));

    unsigned char b32[] = {1, 2, 3, 4, 5, 6, 7, 8};
    QEL_SwapByteOrder(b32, QEL_VOXEL_UNIT_INT32, 2);
    EXPECT_EQ(0, std::memcmp(b32, "\x04\x03\x02\x01\x08\x07\x06\x05", 8));
    QEL_SwapByteOrder(b32, QEL_VOXEL_UNIT_UINT32, 1);
    EXPECT_EQ(0, std::memcmp(b32, "\x01\x02\x03\x04\x08\x07\x06\x05", 8));

    unsigned char same[] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (int unit : {0, 1, 6, 7, 8, -1}) {
        QEL_SwapByteOrder(same, unit, 1);
        EXPECT_EQ(0, std::memcmp(same, "\x01\x02\x03\x04\x05\x06\x07\x08", 8)) << unit;
    }
    QEL_SwapByteOrder(b32, QEL_VOXEL_UNIT_UINT32, 0);
    QEL_SwapByteOrder(b32, QEL_VOXEL_UNIT_UINT32, -3);
    EXPECT_EQ(0, std::memcmp(b32, "\x01\x02\x03\x04\x08\x07\x06\x05", 8));
    QEL_SwapByteOrder(nullptr, QEL_VOXEL_UNIT_UINT16, 4);
}

}  // namespace
