// Packing four byte channels into RGBA words and back, in place, with the refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "support/capture.hpp"
#include "support/records.hpp"
#include "volume/qel_convert.h"

namespace {

using qeltest::VolumePtr;

VolumePtr volume_of(int nx, int ny, int nz, std::vector<int> units, std::vector<int> attributes) {
    const QelSize4i size{nx, ny, nz, static_cast<int>(units.size())};
    return VolumePtr(QEL_NewRawVolumeData(&size, units.data(), attributes.data()));
}

TEST(Rgba, UnpackPutsBytesInChannelOrder) {
    VolumePtr vol = volume_of(3, 2, 2, {4}, {2});
    ASSERT_TRUE(vol);
    auto* w = static_cast<uint32_t*>(vol->data[0]);
    w[0] = 0x11223344u;  // 17, 34, 51, 68
    w[11] = 0xFF00807Fu;
    QelRawVolumeData* identity = vol.get();
    QEL_ConvertRawVolumeRgbaToUint8x4(vol.get());
    ASSERT_EQ(vol.get(), identity);
    ASSERT_EQ(vol->size->nChannels, 4);
    EXPECT_EQ(vol->size->nx, 3);
    EXPECT_EQ(vol->size->ny, 2);
    EXPECT_EQ(vol->size->nz, 2);
    const uint8_t first[4] = {17, 34, 51, 68};
    const uint8_t last[4] = {0xFF, 0x00, 0x80, 0x7F};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(vol->unit[c], QEL_VOXEL_UNIT_UINT8);
        EXPECT_EQ(vol->attribute[c], QEL_ATTRIBUTE_PLAIN);
        EXPECT_EQ(static_cast<const uint8_t*>(vol->data[c])[0], first[c]);
        EXPECT_EQ(static_cast<const uint8_t*>(vol->data[c])[11], last[c]);
        EXPECT_EQ(static_cast<const uint8_t*>(vol->data[c])[5], 0);
    }
}

TEST(Rgba, PackUnpackRoundTrips) {
    std::mt19937 rng(7);
    VolumePtr vol = volume_of(7, 5, 3, {0, 0, 0, 0}, {0, 0, 0, 0});
    ASSERT_TRUE(vol);
    std::vector<uint8_t> bytes[4];
    for (int c = 0; c < 4; ++c) {
        auto* p = static_cast<uint8_t*>(vol->data[c]);
        for (int i = 0; i < 105; ++i) bytes[c].push_back(p[i] = static_cast<uint8_t>(rng()));
    }
    qeltest::StderrCapture capture;
    QEL_ConvertRawVolumeUint8x4ToRgba(vol.get());
    ASSERT_EQ(vol->size->nChannels, 1);
    EXPECT_EQ(vol->unit[0], QEL_VOXEL_UNIT_UINT32);
    EXPECT_EQ(vol->attribute[0], QEL_ATTRIBUTE_RGBA);
    const auto* w = static_cast<const uint32_t*>(vol->data[0]);
    for (int i = 0; i < 105; ++i) {
        const uint32_t expected = uint32_t{bytes[0][i]} << 24 | uint32_t{bytes[1][i]} << 16 |
                                  uint32_t{bytes[2][i]} << 8 | bytes[3][i];
        ASSERT_EQ(w[i], expected) << i;
    }
    QEL_ConvertRawVolumeRgbaToUint8x4(vol.get());
    ASSERT_EQ(vol->size->nChannels, 4);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 105; ++i) ASSERT_EQ(static_cast<const uint8_t*>(vol->data[c])[i], bytes[c][i]);
    EXPECT_EQ(capture.stop(), "");
}

TEST(Rgba, PackRefusesOtherShapesWithItsMessage) {
    struct Shape {
        std::vector<int> units, attributes;
    };
    const Shape shapes[] = {
        {{0, 0, 0}, {0, 0, 0}},              // three channels
        {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},  // five
        {{0, 0, 0, 0}, {0, 0, 2, 0}},        // one channel marked packed
        {{0, 1, 0, 0}, {0, 0, 0, 0}},        // one signed channel
        {{4}, {2}},                          // already packed
    };
    for (const Shape& s : shapes) {
        VolumePtr vol = volume_of(2, 2, 2, s.units, s.attributes);
        ASSERT_TRUE(vol);
        void* before = vol->data[0];
        qeltest::StderrCapture capture;
        QEL_ConvertRawVolumeUint8x4ToRgba(vol.get());
        EXPECT_EQ(capture.stop(), "Invalid type(s)\n");
        EXPECT_EQ(vol->size->nChannels, static_cast<int>(s.units.size()));
        EXPECT_EQ(vol->data[0], before);
        EXPECT_EQ(vol->unit[0], s.units[0]);
    }
}

TEST(Rgba, UnpackIgnoresOtherShapesSilently) {
    const std::vector<int> shapes[][2] = {
        {{4, 4}, {2, 2}},  // two channels
        {{4}, {0}},        // plain 32-bit
        {{5}, {2}},        // packed flag on a signed unit
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const auto& s : shapes) {
        VolumePtr vol = volume_of(2, 3, 2, s[0], s[1]);
        ASSERT_TRUE(vol);
        void* before = vol->data[0];
        qeltest::StderrCapture capture;
        QEL_ConvertRawVolumeRgbaToUint8x4(vol.get());
        EXPECT_EQ(capture.stop(), "");
        EXPECT_EQ(vol->size->nChannels, static_cast<int>(s[0].size()));
        EXPECT_EQ(vol->data[0], before);
    }
    QEL_ConvertRawVolumeRgbaToUint8x4(nullptr);
}

}  // namespace
