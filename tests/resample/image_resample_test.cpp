// Image resizing: against the samplers pixel by pixel, the copied last row, packed RGBA, refusals,
// and a last position a hair past the last column.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "filters/qel_resample.h"
#include "resample_support.hpp"
#include "support/exact_grid.hpp"
#include "support/records.hpp"

using namespace resampletest;

namespace {

using Image = qeltest::ImagePtr;

Image make_image(int w, int h, std::vector<int> units, std::vector<int> attributes = {}) {
    if (attributes.empty()) attributes.assign(units.size(), 0);
    const QelSize3i s{w, h, static_cast<int>(units.size())};
    return Image(QEL_NewRawImageData(&s, units.data(), attributes.data()));
}

template <class T>
class ImageResample : public ::testing::Test {};
using AllUnits = ::testing::Types<uint8_t, int8_t, uint16_t, int16_t, uint32_t, int32_t, float, double>;
TYPED_TEST_SUITE(ImageResample, AllUnits);

// Rows 0 .. h-2 are the sampler's values (nearest: the unchecked 2-D sampler, linear: the
// bilinear one, which inside the grid equals the clamped form); row h-1 repeats row h-2.
TYPED_TEST(ImageResample, EveryPixelIsTheSamplersValue) {
    using T = TypeParam;
    const int W = 9, H = 6;
    const int sizes[][2] = {{17, 11}, {4, 3}, {9, 6}, {2, 2}, {5, 13}};
    for (int mode : {0, 1}) {
        for (const auto& n : sizes) {
            Image im = make_image(W, H, {unit_of<T>()});
            ASSERT_TRUE(im);
            fill_random<T>(im.get(), 0, 21);
            Image orig(QEL_CopyRawImageData(im.get()));
            ASSERT_EQ(QEL_ResizeRawImageData(im.get(), n, mode), 0);
            ASSERT_EQ(im->size->nx, n[0]);
            ASSERT_EQ(im->size->ny, n[1]);
            ASSERT_EQ(im->size->nz, 1);
            for (int j = 0; j < n[1]; ++j)
                for (int i = 0; i < n[0]; ++i) {
                    const float x = position(i, W, n[0]), y = position(j == n[1] - 1 ? j - 1 : j, H, n[1]);
                    const T want = mode == 0 ? Samplers<T>::nearest2(orig->rows[0], W, H, x, y)
                                             : Samplers<T>::linear2c(orig->rows[0], W, H, x, y);
                    ASSERT_EQ(pixel<T>(im.get(), 0, i, j), want) << "mode " << mode << " at " << i << "," << j;
                }
        }
    }
}

TYPED_TEST(ImageResample, IdentityKeepsEveryPixelButTheCopiedLastRow) {
    using T = TypeParam;
    for (int mode : {0, 1}) {
        Image im = make_image(6, 4, {unit_of<T>()});
        fill_random<T>(im.get(), 0, 8);
        Image orig(QEL_CopyRawImageData(im.get()));
        const int same[2] = {6, 4};
        ASSERT_EQ(QEL_ResizeRawImageData(im.get(), same, mode), 0);
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 6; ++i)
                ASSERT_EQ(pixel<T>(im.get(), 0, i, j), pixel<T>(orig.get(), 0, i, j == 3 ? 2 : j)) << mode;
    }
}

TEST(ImageResample, NearestNineToFourPicksZeroTwoFiveEight) {
    Image im = make_image(9, 9, {QEL_VOXEL_UNIT_UINT8});
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 9; ++i) pixel<uint8_t>(im.get(), 0, i, j) = static_cast<uint8_t>(i + 10 * j);
    const int n[2] = {4, 4};
    ASSERT_EQ(QEL_ResizeRawImageData(im.get(), n, 0), 0);
    const int pick[4] = {0, 2, 5, 8};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) EXPECT_EQ(pixel<uint8_t>(im.get(), 0, i, j), pick[i] + 10 * pick[j == 3 ? 2 : j]);
}

TEST(ImageResample, RgbaLanesResizeOnTheirOwn) {
    Image im = make_image(7, 5, {4, 0, 0, 0, 0}, {2, 0, 0, 0, 0});
    fill_random<uint32_t>(im.get(), 0, 31);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 7; ++i)
            for (int l = 0; l < 4; ++l)
                pixel<uint8_t>(im.get(), 1 + l, i, j) = pixel<uint32_t>(im.get(), 0, i, j) >> (24 - 8 * l) & 0xff;
    const int n[2] = {12, 9};
    ASSERT_EQ(QEL_ResizeRawImageData(im.get(), n, 1), 0);
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 12; ++i)
            for (int l = 0; l < 4; ++l)
                ASSERT_EQ(pixel<uint32_t>(im.get(), 0, i, j) >> (24 - 8 * l) & 0xff, pixel<uint8_t>(im.get(), 1 + l, i, j));
}

TEST(ImageResample, RefusalsLeaveTheImageUnchanged) {
    Image im = make_image(3, 3, {QEL_VOXEL_UNIT_FLOAT32});
    fill_random<float>(im.get(), 0, 2);
    Image orig(QEL_CopyRawImageData(im.get()));
    void** const rows = im->rows[0];
    const int bad[][2] = {{1, 4}, {4, 1}, {0, 0}, {-2, 5}};
    for (const auto& n : bad)
        for (int mode : {0, 1}) EXPECT_EQ(QEL_ResizeRawImageData(im.get(), n, mode), -1);
    const int good[2] = {4, 4};
    EXPECT_EQ(QEL_ResizeRawImageData(im.get(), good, 2), -1);
    EXPECT_EQ(QEL_ResizeRawImageData(im.get(), nullptr, 1), -1);
    EXPECT_EQ(QEL_ResizeRawImageData(nullptr, good, 1), -1);
    EXPECT_EQ(im->rows[0], rows);
    EXPECT_EQ(0, std::memcmp(im->data[0], orig->data[0], 9 * sizeof(float)));

    Image line = make_image(5, 1, {QEL_VOXEL_UNIT_UINT8});
    for (int mode : {0, 1}) EXPECT_EQ(QEL_ResizeRawImageData(line.get(), good, mode), -1);
}

// Width 4 -> 22 puts the last column at 21 * 0.14285715f = 3.0000002, a hair past column 3.
// In a record the element past a row is the next row's first: a huge value there would show
// in the last column if it were read. The hand-built image has exactly sized rows, so a read
// past any row fails under AddressSanitizer.
TEST(ImageResample, LastPositionPastTheLastColumnReadsNothingBeyond) {
    ASSERT_GT(position(21, 4, 22), 3.0f);
    Image im = make_image(4, 3, {QEL_VOXEL_UNIT_FLOAT64, QEL_VOXEL_UNIT_UINT32}, {0, 2});
    for (int j = 0; j < 3; ++j) {
        pixel<double>(im.get(), 0, 0, j) = 1e300;
        pixel<double>(im.get(), 0, 3, j) = 5.0;
        pixel<uint32_t>(im.get(), 1, 0, j) = 0xffffffffu;
        pixel<uint32_t>(im.get(), 1, 3, j) = 0x01020304u;
    }
    const int n[2] = {22, 5};
    ASSERT_EQ(QEL_ResizeRawImageData(im.get(), n, 1), 0);
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(pixel<double>(im.get(), 0, 21, j), 5.0) << j;
        EXPECT_EQ(pixel<uint32_t>(im.get(), 1, 21, j), 0x01020304u) << j;
    }

    qeltest::ExactGrid<float> g(4, 4);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) g.at(i, j) = static_cast<float>(i + 4 * j);
    QelSize3i size{4, 4, 1};
    int unit = QEL_VOXEL_UNIT_FLOAT32, attribute = 0;
    void* data = g.rows()[0];
    void** rows[1] = {g.rows()};
    const QelRawImageData src{&size, &unit, &attribute, &data, rows};
    Image dst = make_image(22, 22, {QEL_VOXEL_UNIT_FLOAT32});
    ASSERT_EQ(QEL_ResizeImageChannelsLinear(&src, dst.get()), 0);
    EXPECT_EQ(pixel<float>(dst.get(), 0, 21, 0), 3.0f);
    ASSERT_EQ(QEL_ResizeImageChannelsNearest(&src, dst.get()), 0);
    EXPECT_EQ(pixel<float>(dst.get(), 0, 21, 20), 3.0f + 4 * 2);
}

}  // namespace
