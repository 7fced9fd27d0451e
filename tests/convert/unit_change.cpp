// Unit change of a volume or image channel: refusals leave the channel as it was, and a
// converted channel is a complete 3-D (2-D) array of the new unit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "support/records.hpp"
#include "volume/qel_convert.h"

namespace {

using qeltest::VolumePtr;
using qeltest::ImagePtr;

// A {5, 4, 3} volume with a unit-2 channel 0 holding 100 * i (wrapping) and a unit-6
// channel 1 holding -i, so that a conversion of channel 0 can be checked not to touch 1.
VolumePtr two_channel_volume() {
    const QelSize4i size{5, 4, 3, 2};
    const int units[2] = {QEL_VOXEL_UNIT_UINT16, QEL_VOXEL_UNIT_FLOAT32};
    const int attributes[2] = {0, 0};
    VolumePtr vol(QEL_NewRawVolumeData(&size, units, attributes));
    if (!vol) return vol;
    auto* a = static_cast<uint16_t*>(vol->data[0]);
    auto* b = static_cast<float*>(vol->data[1]);
    for (int i = 0; i < 60; ++i) {
        a[i] = static_cast<uint16_t>(100 * i);
        b[i] = static_cast<float>(-i);
    }
    return vol;
}

TEST(ConvertVoxelUnit, ConvertsChannelAndRebuildsItsTables) {
    VolumePtr vol = two_channel_volume();
    ASSERT_TRUE(vol);
    const QelValueRange src{0.0f, 5900.0f}, dst{0.0f, 59.0f};
    ASSERT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, QEL_VOXEL_UNIT_INT8, &src, &dst, QEL_MAP_LINEAR), 0);
    EXPECT_EQ(vol->unit[0], QEL_VOXEL_UNIT_INT8);
    EXPECT_EQ(vol->attribute[0], 0);
    const auto* a = static_cast<const int8_t*>(vol->data[0]);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(a[i], i) << i;
    // The slice and row tables point into the new block.
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 4; ++y)
            EXPECT_EQ(vol->slices[0][z][y], static_cast<const void*>(a + (z * 4 + y) * 5));
    EXPECT_EQ(QEL_GetRowOfRawVolumeData(vol.get(), 0, 2, 3), static_cast<const void*>(a + 55));
    // The other channel is untouched.
    EXPECT_EQ(vol->unit[1], QEL_VOXEL_UNIT_FLOAT32);
    EXPECT_EQ(static_cast<const float*>(vol->data[1])[59], -59.0f);
}

TEST(ConvertVoxelUnit, OwnUnitAppliesTheMap) {
    VolumePtr vol = two_channel_volume();
    ASSERT_TRUE(vol);
    const QelValueRange dst{0.0f, 1000.0f};
    ASSERT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, QEL_VOXEL_UNIT_UINT16, nullptr, &dst, QEL_MAP_CLAMP), 0);
    const auto* a = static_cast<const uint16_t*>(vol->data[0]);
    EXPECT_EQ(a[5], 500);
    EXPECT_EQ(a[11], 1000);
    ASSERT_EQ(QEL_ConvertVoxelUnit(vol.get(), 1, QEL_VOXEL_UNIT_FLOAT64, nullptr, nullptr, QEL_MAP_IDENTITY), 0);
    EXPECT_EQ(static_cast<const double*>(vol->data[1])[7], -7.0);
}

TEST(ConvertVoxelUnit, RefusalsLeaveTheChannelAsItWas) {
    VolumePtr vol = two_channel_volume();
    ASSERT_TRUE(vol);
    const QelValueRange r{0.0f, 1.0f};
    void* before = vol->data[0];
    void*** slicesBefore = vol->slices[0];
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 0, nullptr, &r, QEL_MAP_LINEAR), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 0, &r, nullptr, QEL_MAP_LINEAR_CLAMP), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 0, &r, nullptr, QEL_MAP_CLAMP), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 8, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, -1, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 0, &r, &r, 4), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 0, &r, &r, -1), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 2, 0, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(QEL_ConvertVoxelUnit(nullptr, 0, 0, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(vol->data[0], before);
    EXPECT_EQ(vol->slices[0], slicesBefore);
    EXPECT_EQ(vol->unit[0], QEL_VOXEL_UNIT_UINT16);
    EXPECT_EQ(static_cast<const uint16_t*>(vol->data[0])[3], 300);
    // Map 0 needs no range at all.
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 0, nullptr, nullptr, QEL_MAP_IDENTITY), 0);
    EXPECT_EQ(static_cast<const uint8_t*>(vol->data[0])[3], 44);
}

TEST(ConvertVoxelUnit, PackedChannelIsNeverConverted) {
    const QelSize3i dims{2, 2, 2};
    VolumePtr vol(QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA));
    ASSERT_TRUE(vol);
    static_cast<uint32_t*>(vol->data[0])[1] = 0x11223344u;
    EXPECT_EQ(QEL_ConvertVoxelUnit(vol.get(), 0, 0, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(vol->unit[0], QEL_VOXEL_UNIT_UINT32);
    EXPECT_EQ(static_cast<const uint32_t*>(vol->data[0])[1], 0x11223344u);
}

TEST(ConvertPixelUnit, ConvertsOneImageChannel) {
    const QelSize3i size{4, 3, 2};
    const int units[2] = {QEL_VOXEL_UNIT_FLOAT32, QEL_VOXEL_UNIT_UINT8};
    const int attributes[2] = {0, 0};
    ImagePtr image(QEL_NewRawImageData(&size, units, attributes));
    ASSERT_TRUE(image);
    auto* f = static_cast<float*>(image->data[0]);
    for (int i = 0; i < 12; ++i) f[i] = static_cast<float>(i) * 0.5f - 2.0f;  // -2 .. 3.5
    const QelValueRange src{-2.0f, 3.5f}, dst{0.0f, 11.0f};
    ASSERT_EQ(QEL_ConvertPixelUnit(image.get(), 0, QEL_VOXEL_UNIT_INT16, &src, &dst, QEL_MAP_LINEAR_CLAMP), 0);
    EXPECT_EQ(image->unit[0], QEL_VOXEL_UNIT_INT16);
    const auto* s = static_cast<const int16_t*>(image->data[0]);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(s[i], i);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(image->rows[0][y], static_cast<const void*>(s + 4 * y));
    EXPECT_EQ(image->unit[1], QEL_VOXEL_UNIT_UINT8);

    image->attribute[1] = QEL_ATTRIBUTE_RGBA;
    EXPECT_EQ(QEL_ConvertPixelUnit(image.get(), 1, 0, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(QEL_ConvertPixelUnit(image.get(), 0, 9, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(QEL_ConvertPixelUnit(image.get(), 0, 0, nullptr, nullptr, QEL_MAP_LINEAR), -1);
    EXPECT_EQ(QEL_ConvertPixelUnit(image.get(), 0, 0, nullptr, nullptr, 7), -1);
    EXPECT_EQ(QEL_ConvertPixelUnit(image.get(), 2, 0, nullptr, nullptr, QEL_MAP_IDENTITY), -1);
    EXPECT_EQ(image->unit[0], QEL_VOXEL_UNIT_INT16);
    EXPECT_EQ(image->data[0], static_cast<const void*>(s));
}

}  // namespace
