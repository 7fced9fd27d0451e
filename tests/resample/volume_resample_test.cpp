// Volume resizing: against the samplers voxel by voxel, against an independent trilinear
// formula, and on hand-built channels whose every row and table is exactly sized.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "filters/qel_resample.h"
#include "resample_support.hpp"
#include "support/exact_grid.hpp"
#include "support/records.hpp"

using namespace resampletest;

namespace {

using Volume = qeltest::VolumePtr;

Volume make_volume(int nx, int ny, int nz, std::vector<int> units, std::vector<int> attributes = {}) {
    if (attributes.empty()) attributes.assign(units.size(), 0);
    const QelSize4i s{nx, ny, nz, static_cast<int>(units.size())};
    return Volume(QEL_NewRawVolumeData(&s, units.data(), attributes.data()));
}

template <class T>
class VolumeResample : public ::testing::Test {};
using AllUnits = ::testing::Types<uint8_t, int8_t, uint16_t, int16_t, uint32_t, int32_t, float, double>;
TYPED_TEST_SUITE(VolumeResample, AllUnits);

// Every voxel of slices 0 .. nz-2 is the sampler's value at its position (nearest: the bounded
// sampler, linear: the clamped trilinear one); slice nz-1 repeats slice nz-2.
TYPED_TEST(VolumeResample, EveryVoxelIsTheSamplersValue) {
    using T = TypeParam;
    const int old[3] = {7, 5, 6};
    const int sizes[][3] = {{13, 4, 9}, {3, 9, 2}, {7, 5, 6}, {2, 2, 2}};
    for (int mode : {0, 1}) {
        for (const auto& n : sizes) {
            Volume v = make_volume(old[0], old[1], old[2], {unit_of<T>()});
            ASSERT_TRUE(v);
            fill_random<T>(v.get(), 0, 11);
            Volume orig(QEL_CopyRawVolumeData(v.get()));
            ASSERT_EQ(QEL_ResizeRawVolumeData(v.get(), n, mode), 0);
            ASSERT_EQ(v->size->nx, n[0]);
            ASSERT_EQ(v->size->ny, n[1]);
            ASSERT_EQ(v->size->nz, n[2]);
            ASSERT_EQ(v->size->nChannels, 1);
            ASSERT_EQ(v->unit[0], unit_of<T>());
            for (int k = 0; k < n[2]; ++k)
                for (int j = 0; j < n[1]; ++j)
                    for (int i = 0; i < n[0]; ++i) {
                        const int ks = k == n[2] - 1 ? k - 1 : k;
                        const float x = position(i, old[0], n[0]), y = position(j, old[1], n[1]),
                                    z = position(ks, old[2], n[2]);
                        const auto slices = orig->slices[0];
                        const T want = mode == 0
                                           ? Samplers<T>::nearest3b(slices, old[0], old[1], old[2], x, y, z)
                                           : Samplers<T>::linear3c(slices, old[0], old[1], old[2], x, y, z);
                        ASSERT_EQ(voxel<T>(v.get(), 0, i, j, k), want)
                            << "mode " << mode << " at " << i << "," << j << "," << k;
                    }
        }
    }
}

// Same size, either mode: every voxel is kept except the last slice, which repeats the one before.
TYPED_TEST(VolumeResample, IdentityKeepsEveryVoxelButTheCopiedLastSlice) {
    using T = TypeParam;
    for (int mode : {0, 1}) {
        Volume v = make_volume(5, 4, 3, {unit_of<T>()});
        fill_random<T>(v.get(), 0, 3);
        Volume orig(QEL_CopyRawVolumeData(v.get()));
        const int same[3] = {5, 4, 3};
        ASSERT_EQ(QEL_ResizeRawVolumeData(v.get(), same, mode), 0);
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 5; ++i)
                    ASSERT_EQ(voxel<T>(v.get(), 0, i, j, k), voxel<T>(orig.get(), 0, i, j, k == 2 ? 1 : k))
                        << "mode " << mode << " at " << i << "," << j << "," << k;
    }
}

TEST(VolumeResample, NearestNineToFourPicksZeroTwoFiveEight) {
    Volume v = make_volume(9, 9, 9, {QEL_VOXEL_UNIT_INT32});
    for (int k = 0; k < 9; ++k)
        for (int j = 0; j < 9; ++j)
            for (int i = 0; i < 9; ++i) voxel<int32_t>(v.get(), 0, i, j, k) = i + 10 * j + 100 * k;
    const int n[3] = {4, 4, 4};
    ASSERT_EQ(QEL_ResizeRawVolumeData(v.get(), n, 0), 0);
    const int pick[4] = {0, 2, 5, 8};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(voxel<int32_t>(v.get(), 0, i, j, k), pick[i] + 10 * pick[j] + 100 * pick[k == 3 ? 2 : k]);
}

// An independent trilinear formula in double, from the positions alone. The tolerance covers
// the single-precision weights; a wrong cell or weight is off by hundreds.
TEST(VolumeResample, FloatTrilinearMatchesAReference) {
    const int N[3] = {11, 8, 9}, n[3] = {20, 5, 17};
    Volume v = make_volume(N[0], N[1], N[2], {QEL_VOXEL_UNIT_FLOAT32, QEL_VOXEL_UNIT_FLOAT64});
    fill_random<float>(v.get(), 0, 5);
    fill_random<double>(v.get(), 1, 6);
    Volume orig(QEL_CopyRawVolumeData(v.get()));
    ASSERT_EQ(QEL_ResizeRawVolumeData(v.get(), n, 1), 0);

    auto reference = [&](int c, double x, double y, double z) {
        const double p[3] = {x, y, z};
        int i0[3];
        double f[3];
        for (int a = 0; a < 3; ++a) {
            i0[a] = std::min(static_cast<int>(std::floor(p[a])), N[a] - 2);
            f[a] = p[a] - i0[a];
        }
        double sum = 0;
        for (int corner = 0; corner < 8; ++corner) {
            double w = 1;
            int at[3];
            for (int a = 0; a < 3; ++a) {
                const int bit = corner >> a & 1;
                w *= bit ? f[a] : 1 - f[a];
                at[a] = i0[a] + bit;
            }
            if (w == 0) continue;
            sum += w * (c == 0 ? voxel<float>(orig.get(), 0, at[0], at[1], at[2])
                               : voxel<double>(orig.get(), 1, at[0], at[1], at[2]));
        }
        return sum;
    };
    for (int k = 0; k < n[2]; ++k)
        for (int j = 0; j < n[1]; ++j)
            for (int i = 0; i < n[0]; ++i) {
                const int ks = k == n[2] - 1 ? k - 1 : k;
                const double x = std::min<double>(position(i, N[0], n[0]), N[0] - 1);
                const double y = std::min<double>(position(j, N[1], n[1]), N[1] - 1);
                const double z = std::min<double>(position(ks, N[2], n[2]), N[2] - 1);
                ASSERT_NEAR(voxel<float>(v.get(), 0, i, j, k), reference(0, x, y, z), 1e-3) << i << "," << j << "," << k;
                ASSERT_NEAR(voxel<double>(v.get(), 1, i, j, k), reference(1, x, y, z), 1e-4) << i << "," << j << "," << k;
            }
}

TEST(VolumeResample, IntegerChannelsTruncateFloatChannelsKeepFractions) {
    Volume v = make_volume(2, 2, 2, {QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_FLOAT32});
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j) {
            voxel<int16_t>(v.get(), 0, 0, j, k) = 2;
            voxel<int16_t>(v.get(), 0, 1, j, k) = 3;
            voxel<float>(v.get(), 1, 0, j, k) = -2;
            voxel<float>(v.get(), 1, 1, j, k) = -3;
        }
    const int n[3] = {5, 2, 2};  // x at 0, 0.25, 0.5, 0.75, 1
    ASSERT_EQ(QEL_ResizeRawVolumeData(v.get(), n, 1), 0);
    const int16_t wantInt[5] = {2, 2, 2, 2, 3};
    const float wantFloat[5] = {-2, -2.25f, -2.5f, -2.75f, -3};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(voxel<int16_t>(v.get(), 0, i, 1, 1), wantInt[i]);
        EXPECT_EQ(voxel<float>(v.get(), 1, i, 1, 1), wantFloat[i]);
    }
}

// A packed RGBA channel resized linearly equals its four lanes resized as 8-bit channels: no
// lane mixes with another. The RGBA path is for unit 4 only; other units interpolate plainly.
TEST(VolumeResample, RgbaLanesResizeOnTheirOwn) {
    Volume v = make_volume(6, 5, 4, {4, 0, 0, 0, 0, 0, 0, 5, 5}, {2, 0, 0, 0, 0, 2, 0, 2, 0});
    fill_random<uint32_t>(v.get(), 0, 9);
    fill_random<uint8_t>(v.get(), 5, 10);
    fill_random<int32_t>(v.get(), 7, 12);
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 6; ++i) {
                const uint32_t w = voxel<uint32_t>(v.get(), 0, i, j, k);
                for (int l = 0; l < 4; ++l) voxel<uint8_t>(v.get(), 1 + l, i, j, k) = w >> (24 - 8 * l) & 0xff;
                voxel<uint8_t>(v.get(), 6, i, j, k) = voxel<uint8_t>(v.get(), 5, i, j, k);
                voxel<int32_t>(v.get(), 8, i, j, k) = voxel<int32_t>(v.get(), 7, i, j, k);
            }
    const int n[3] = {11, 3, 7};
    ASSERT_EQ(QEL_ResizeRawVolumeData(v.get(), n, 1), 0);
    EXPECT_EQ(v->attribute[0], 2);
    EXPECT_EQ(v->attribute[5], 2);
    for (int k = 0; k < 7; ++k)
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 11; ++i) {
                const uint32_t w = voxel<uint32_t>(v.get(), 0, i, j, k);
                for (int l = 0; l < 4; ++l)
                    ASSERT_EQ(w >> (24 - 8 * l) & 0xff, voxel<uint8_t>(v.get(), 1 + l, i, j, k)) << "lane " << l;
                ASSERT_EQ(voxel<uint8_t>(v.get(), 5, i, j, k), voxel<uint8_t>(v.get(), 6, i, j, k));
                ASSERT_EQ(voxel<int32_t>(v.get(), 7, i, j, k), voxel<int32_t>(v.get(), 8, i, j, k));
            }
}

TEST(VolumeResample, NearestCopiesWholeRgbaWords) {
    Volume v = make_volume(3, 2, 2, {4}, {2});
    fill_random<uint32_t>(v.get(), 0, 4);
    Volume orig(QEL_CopyRawVolumeData(v.get()));
    const int n[3] = {5, 2, 2};  // x at 0, 0.5, 1, 1.5, 2
    ASSERT_EQ(QEL_ResizeRawVolumeData(v.get(), n, 0), 0);
    const int pick[5] = {0, 0, 1, 1, 2};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(voxel<uint32_t>(v.get(), 0, i, 1, 0), voxel<uint32_t>(orig.get(), 0, pick[i], 1, 0));
}

TEST(VolumeResample, RefusalsLeaveTheRecordUnchanged) {
    Volume v = make_volume(4, 3, 2, {QEL_VOXEL_UNIT_UINT16});
    fill_random<uint16_t>(v.get(), 0, 1);
    Volume orig(QEL_CopyRawVolumeData(v.get()));
    QelSize4i* const size = v->size;
    void* const data = v->data[0];
    const int good[3] = {5, 5, 5};
    const int bad[][3] = {{1, 5, 5}, {5, 1, 5}, {5, 5, 1}, {0, 5, 5}, {5, -3, 5}, {5, 5, 0}};
    for (const auto& n : bad)
        for (int mode : {0, 1}) EXPECT_EQ(QEL_ResizeRawVolumeData(v.get(), n, mode), -1);
    for (int mode : {2, -1, 7}) EXPECT_EQ(QEL_ResizeRawVolumeData(v.get(), good, mode), -1);
    EXPECT_EQ(QEL_ResizeRawVolumeData(v.get(), nullptr, 0), -1);
    EXPECT_EQ(QEL_ResizeRawVolumeData(nullptr, good, 0), -1);
    EXPECT_EQ(v->size, size);
    EXPECT_EQ(v->data[0], data);
    EXPECT_EQ(v->size->nx, 4);
    EXPECT_EQ(0, std::memcmp(v->data[0], orig->data[0], 4 * 3 * 2 * sizeof(uint16_t)));

    // An old size of 1 on any axis is refused too, in either mode.
    Volume thin = make_volume(4, 1, 3, {QEL_VOXEL_UNIT_UINT8});
    for (int mode : {0, 1}) EXPECT_EQ(QEL_ResizeRawVolumeData(thin.get(), good, mode), -1);
    EXPECT_EQ(thin->size->ny, 1);
}

// Old grids whose last new position lands a hair past the last sample (4 -> 22 gives
// 21 * 0.14285715f = 3.0000002): the source is hand-built from exactly sized rows and tables,
// so any read past a row, a row table or the slice table fails under AddressSanitizer.
TEST(VolumeResample, PositionsPastTheLastSampleReadNothingBeyond) {
    ASSERT_GT(position(21, 4, 22), 3.0f);
    qeltest::ExactGrid<double> g(4, 4, 4);
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) g.at(i, j, k) = i + 4 * j + 16 * k;
    QelSize4i size{4, 4, 4, 1};
    int unit = QEL_VOXEL_UNIT_FLOAT64, attribute = 0;
    void* data = g.rows(0)[0];
    void*** slices[1] = {g.slices()};
    const QelRawVolumeData src{&size, &unit, &attribute, &data, slices};
    for (int mode : {0, 1}) {
        Volume dst = make_volume(22, 22, 22, {QEL_VOXEL_UNIT_FLOAT64});
        ASSERT_EQ(mode == 0 ? QEL_ResizeVolumeChannelsNearest(&src, dst.get())
                            : QEL_ResizeVolumeChannelsLinear(&src, dst.get()),
                  0);
        // The last column and row take the last sample exactly; the last slice repeats the one before.
        const double z = mode == 0 ? 2.0 : static_cast<double>(position(20, 4, 22));
        EXPECT_EQ(voxel<double>(dst.get(), 0, 21, 21, 0), 3 + 12);
        EXPECT_DOUBLE_EQ(voxel<double>(dst.get(), 0, 21, 21, 20), 3 + 12 + 16 * z);
        EXPECT_EQ(voxel<double>(dst.get(), 0, 21, 21, 21), voxel<double>(dst.get(), 0, 21, 21, 20));
        EXPECT_DOUBLE_EQ(voxel<double>(dst.get(), 0, 0, 21, 20), 12 + 16 * z);
    }
}

}  // namespace
