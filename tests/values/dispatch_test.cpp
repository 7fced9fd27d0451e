// The volume and image dispatchers: values read in the channel's unit, the fill minima,
// only the named channel changes, and records they cannot use are left alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "support/records.hpp"
#include "unit_values.hpp"

namespace {

using valuestest::read;
using valuestest::value_in_unit;
using valuestest::write;

using qeltest::VolumePtr;
using qeltest::ImagePtr;

constexpr int kVoxels = 7 * 5 * 3;  // one whole block of 64 and a tail
constexpr int kPixels = 9 * 8;

// Channel 0 of the given unit holding `x` everywhere; channel 1 a float32 sentinel 42.
VolumePtr volume_of(int unit, double x, int attribute = 0) {
    const QelSize4i size{7, 5, 3, 2};
    const int units[2] = {unit, QEL_VOXEL_UNIT_FLOAT32};
    const int attributes[2] = {attribute, 0};
    VolumePtr vol(QEL_NewRawVolumeData(&size, units, attributes));
    if (!vol) return vol;
    for (int i = 0; i < kVoxels; ++i) {
        write(vol->data[0], unit, i, x);
        write(vol->data[1], QEL_VOXEL_UNIT_FLOAT32, i, 42);
    }
    return vol;
}

ImagePtr image_of(int unit, double x) {
    const QelSize3i size{9, 8, 2};
    const int units[2] = {QEL_VOXEL_UNIT_FLOAT32, unit};
    const int attributes[2] = {0, 0};
    ImagePtr image(QEL_NewRawImageData(&size, units, attributes));
    if (!image) return image;
    for (int i = 0; i < kPixels; ++i) {
        write(image->data[0], QEL_VOXEL_UNIT_FLOAT32, i, 42);
        write(image->data[1], unit, i, x);
    }
    return image;
}

// Every element of a channel equals x (bit for bit for the float units' zeros).
void expect_all(const void* block, int unit, int n, double x) {
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(read(block, unit, i), x) << "element " << i;
        ASSERT_EQ(std::signbit(read(block, unit, i)), std::signbit(x)) << "element " << i;
    }
}

void expect_sentinel(const void* block, int n) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(read(block, QEL_VOXEL_UNIT_FLOAT32, i), 42) << "element " << i;
}

const double kFillMinimum[8] = {0, -128, 0, -32768, 0, -2147483647, 0.0, 0.0};

TEST(ClearAndFillMinimum, EveryUnitOfVolumesAndImages) {
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        VolumePtr vol = volume_of(unit, -5);
        ASSERT_TRUE(vol);
        QEL_FillMinimumOfRawVolumeData(vol.get(), 0);
        expect_all(vol->data[0], unit, kVoxels, kFillMinimum[unit]);
        expect_sentinel(vol->data[1], kVoxels);
        write(vol->data[0], unit, 3, 17);
        QEL_ClearRawVolumeData(vol.get(), 0);
        expect_all(vol->data[0], unit, kVoxels, 0.0);
        expect_sentinel(vol->data[1], kVoxels);

        ImagePtr image = image_of(unit, -0.0);
        ASSERT_TRUE(image);
        QEL_FillMinimumOfRawImageData(image.get(), 1);
        expect_all(image->data[1], unit, kPixels, kFillMinimum[unit]);
        expect_sentinel(image->data[0], kPixels);
        write(image->data[1], unit, 0, -0.0);  // clearing turns -0.0 into +0.0
        write(image->data[1], unit, 70, 9);
        QEL_ClearRawImageData(image.get(), 1);
        expect_all(image->data[1], unit, kPixels, 0.0);
        expect_sentinel(image->data[0], kPixels);
    }
}

struct OffsetCase {
    int unit;
    double element;
    QelValue shift;
    double expected;
};

QelValue int32_value(int32_t x) {
    QelValue v{};
    std::memcpy(v.bytes, &x, 4);
    return v;
}

TEST(GreyOffsetter, ReadsTheShiftInTheChannelsUnit) {
    // Shifts as a command line leaves them: an int32 for the integer units.
    const OffsetCase cases[] = {
        {0, 250, int32_value(10), 4},
        {0, 100, int32_value(300), 144},        // low byte of 300 is 44
        {0, 10, int32_value(-3), 7},
        {1, 10, int32_value(-3), 7},            // first byte read signed
        {1, 0, int32_value(0x1ff), -1},         // low byte 0xff is -1
        {2, 0, int32_value(-1), 65535},
        {2, 5, int32_value(0x10003), 8},        // low 16 bits
        {3, -32768, int32_value(-1), 32767},
        {4, 4294967290.0, int32_value(10), 4},
        {5, 2147483647, int32_value(1), -2147483648.0},
        {6, 1.5, value_in_unit(0.25, 6), 1.75},
        {7, 1.0, value_in_unit(0.5, 7), 1.5},
    };
    for (const OffsetCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "unit " << c.unit << " element " << c.element);
        VolumePtr vol = volume_of(c.unit, c.element);
        ASSERT_TRUE(vol);
        QEL_GreyOffsetterOfRawVolumeData(vol.get(), 0, &c.shift, 1);
        expect_all(vol->data[0], c.unit, kVoxels, c.expected);
        expect_sentinel(vol->data[1], kVoxels);
    }
}

TEST(GreyOffsetter, PackedChannelShiftsWholeWords) {
    VolumePtr vol = volume_of(QEL_VOXEL_UNIT_UINT32, 0x01ff02ffu, QEL_ATTRIBUTE_RGBA);
    ASSERT_TRUE(vol);
    const QelValue shift = int32_value(1);
    QEL_GreyOffsetterOfRawVolumeData(vol.get(), 0, &shift, 1);
    // The carry runs across the colour bytes.
    expect_all(vol->data[0], QEL_VOXEL_UNIT_UINT32, kVoxels, 0x01ff0300u);
}

TEST(ReplaceValue, ComparesInTheChannelsUnit) {
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        VolumePtr vol = volume_of(unit, 3);
        ASSERT_TRUE(vol);
        write(vol->data[0], unit, 10, 4);
        // Bytes beyond the unit's width are not part of the value.
        QelValue from = value_in_unit(3, unit);
        std::memset(from.bytes + valuestest::kUnitSizes[unit], 0xAB, 8 - valuestest::kUnitSizes[unit]);
        const QelValue to = value_in_unit(-2, unit);
        QEL_ReplaceValueOfRawVolumeData(vol.get(), 0, &from, &to);
        const double minus2 = valuestest::wrap(-2, unit);
        for (int i = 0; i < kVoxels; ++i) ASSERT_EQ(read(vol->data[0], unit, i), i == 10 ? 4 : minus2) << i;
        expect_sentinel(vol->data[1], kVoxels);
    }
}

TEST(ReplaceValue, FloatZeroMatchesBothSignsAndNotNaN) {
    VolumePtr vol = volume_of(QEL_VOXEL_UNIT_FLOAT32, 0.0);
    ASSERT_TRUE(vol);
    write(vol->data[0], 6, 1, -0.0);
    write(vol->data[0], 6, 2, std::numeric_limits<double>::quiet_NaN());
    const QelValue zero = value_in_unit(0.0, 6), five = value_in_unit(5.0, 6);
    QEL_ReplaceValueOfRawVolumeData(vol.get(), 0, &zero, &five);
    EXPECT_EQ(read(vol->data[0], 6, 0), 5.0);
    EXPECT_EQ(read(vol->data[0], 6, 1), 5.0);
    EXPECT_TRUE(std::isnan(read(vol->data[0], 6, 2)));
    const QelValue nan = value_in_unit(std::numeric_limits<double>::quiet_NaN(), 6);
    QEL_ReplaceValueOfRawVolumeData(vol.get(), 0, &nan, &zero);
    EXPECT_TRUE(std::isnan(read(vol->data[0], 6, 2)));
}

TEST(ScaleValue, WholeChannelAgainstReference) {
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        VolumePtr vol = volume_of(unit, 0);
        ASSERT_TRUE(vol);
        for (int i = 0; i < kVoxels; ++i) write(vol->data[0], unit, i, i - 20);
        QEL_ScaleValueOfRawVolumeData(vol.get(), 0, 2.75f, -0.5f);
        for (int i = 0; i < kVoxels; ++i) {
            const double x = valuestest::wrap(i - 20, unit);
            ASSERT_EQ(read(vol->data[0], unit, i), valuestest::wrap(x * 2.75 - 0.5, unit)) << i;
        }
        expect_sentinel(vol->data[1], kVoxels);
    }
    VolumePtr vol = volume_of(QEL_VOXEL_UNIT_UINT32, 4294967295.0);
    QEL_ScaleValueOfRawVolumeData(vol.get(), 0, 1.0f, 0.0f);
    expect_all(vol->data[0], QEL_VOXEL_UNIT_UINT32, kVoxels, 4294967295.0);
}

// Invalid units, channel indices outside the record and NULL arguments change nothing.
TEST(Dispatchers, LeaveUnusableInputAlone) {
    const QelValue one = int32_value(1);
    for (int badUnit : {8, -1, 1000}) {
        SCOPED_TRACE(badUnit);
        VolumePtr vol = volume_of(QEL_VOXEL_UNIT_UINT8, 9);
        ASSERT_TRUE(vol);
        vol->unit[0] = badUnit;
        QEL_ClearRawVolumeData(vol.get(), 0);
        QEL_FillMinimumOfRawVolumeData(vol.get(), 0);
        QEL_ReplaceValueOfRawVolumeData(vol.get(), 0, &one, &one);
        QEL_GreyOffsetterOfRawVolumeData(vol.get(), 0, &one, 1);
        QEL_ScaleValueOfRawVolumeData(vol.get(), 0, 2, 1);
        vol->unit[0] = QEL_VOXEL_UNIT_UINT8;
        expect_all(vol->data[0], 0, kVoxels, 9);

        ImagePtr image = image_of(QEL_VOXEL_UNIT_INT16, 9);
        ASSERT_TRUE(image);
        image->unit[1] = badUnit;
        QEL_ClearRawImageData(image.get(), 1);
        QEL_FillMinimumOfRawImageData(image.get(), 1);
        image->unit[1] = QEL_VOXEL_UNIT_INT16;
        expect_all(image->data[1], 3, kPixels, 9);
    }

    VolumePtr vol = volume_of(QEL_VOXEL_UNIT_INT8, 9);
    ASSERT_TRUE(vol);
    for (int channel : {-1, 2, std::numeric_limits<int>::max()}) {
        QEL_ClearRawVolumeData(vol.get(), channel);
        QEL_FillMinimumOfRawVolumeData(vol.get(), channel);
        QEL_ReplaceValueOfRawVolumeData(vol.get(), channel, &one, &one);
        QEL_GreyOffsetterOfRawVolumeData(vol.get(), channel, &one, 1);
        QEL_ScaleValueOfRawVolumeData(vol.get(), channel, 2, 1);
    }
    QEL_ReplaceValueOfRawVolumeData(vol.get(), 0, nullptr, &one);
    QEL_ReplaceValueOfRawVolumeData(vol.get(), 0, &one, nullptr);
    QEL_GreyOffsetterOfRawVolumeData(vol.get(), 0, nullptr, 1);
    expect_all(vol->data[0], 1, kVoxels, 9);
    expect_sentinel(vol->data[1], kVoxels);

    ImagePtr image = image_of(QEL_VOXEL_UNIT_UINT8, 9);
    ASSERT_TRUE(image);
    QEL_ClearRawImageData(image.get(), 2);
    QEL_FillMinimumOfRawImageData(image.get(), -1);
    expect_all(image->data[1], 0, kPixels, 9);

    QEL_ClearRawVolumeData(nullptr, 0);
    QEL_FillMinimumOfRawVolumeData(nullptr, 0);
    QEL_ReplaceValueOfRawVolumeData(nullptr, 0, &one, &one);
    QEL_GreyOffsetterOfRawVolumeData(nullptr, 0, &one, 1);
    QEL_ScaleValueOfRawVolumeData(nullptr, 0, 2, 1);
    QEL_ClearRawImageData(nullptr, 0);
    QEL_FillMinimumOfRawImageData(nullptr, 0);
}

}  // namespace
