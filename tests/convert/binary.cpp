// Binary channels: the test on stored bits, clear, invert, binarize, counts and the box of
// the 1-voxels, on every unit, against brute-force loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "support/records.hpp"
#include "volume/qel_convert.h"

namespace {

using qeltest::VolumePtr;

constexpr int kNx = 6, kNy = 5, kNz = 4, kN = kNx * kNy * kNz;

VolumePtr volume_of_unit(int unit, int attribute = 0) {
    const QelSize3i dims{kNx, kNy, kNz};
    return VolumePtr(QEL_NewSingleChannelRawVolumeData(&dims, unit, attribute));
}

// Sets voxel i of channel 0 to a small integer (exact in every unit).
void set(QelRawVolumeData* vol, int i, int v) {
    void* d = vol->data[0];
    switch (vol->unit[0]) {
        case 0: static_cast<uint8_t*>(d)[i] = static_cast<uint8_t>(v); break;
        case 1: static_cast<int8_t*>(d)[i] = static_cast<int8_t>(v); break;
        case 2: static_cast<uint16_t*>(d)[i] = static_cast<uint16_t>(v); break;
        case 3: static_cast<int16_t*>(d)[i] = static_cast<int16_t>(v); break;
        case 4: static_cast<uint32_t*>(d)[i] = static_cast<uint32_t>(v); break;
        case 5: static_cast<int32_t*>(d)[i] = v; break;
        case 6: static_cast<float*>(d)[i] = static_cast<float>(v); break;
        default: static_cast<double*>(d)[i] = v; break;
    }
}

double get(const QelRawVolumeData* vol, int i) {
    const void* d = vol->data[0];
    switch (vol->unit[0]) {
        case 0: return static_cast<const uint8_t*>(d)[i];
        case 1: return static_cast<const int8_t*>(d)[i];
        case 2: return static_cast<const uint16_t*>(d)[i];
        case 3: return static_cast<const int16_t*>(d)[i];
        case 4: return static_cast<const uint32_t*>(d)[i];
        case 5: return static_cast<const int32_t*>(d)[i];
        case 6: return static_cast<const float*>(d)[i];
        default: return static_cast<const double*>(d)[i];
    }
}

std::vector<int> random_bits(unsigned seed, int percent) {
    std::mt19937 rng(seed);
    std::vector<int> bits(kN);
    for (int& b : bits) b = static_cast<int>(rng() % 100) < percent ? 1 : 0;
    return bits;
}

VolumePtr binary_volume(int unit, const std::vector<int>& bits) {
    VolumePtr vol = volume_of_unit(unit);
    if (vol)
        for (int i = 0; i < kN; ++i) set(vol.get(), i, bits[i]);
    return vol;
}

TEST(BinaryChannel, BinaryTestReadsStoredBitsOrFloatValues) {
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        VolumePtr vol = binary_volume(unit, random_bits(unit, 40));
        ASSERT_TRUE(vol);
        EXPECT_EQ(QEL_IsBinaryChannel(vol.get(), 0), 1);
        set(vol.get(), 17, 2);
        EXPECT_EQ(QEL_IsBinaryChannel(vol.get(), 0), 0);
        set(vol.get(), 17, 0);
        if (unit != 0 && unit != 2 && unit != 4) {
            set(vol.get(), kN - 1, -1);  // a signed -1 has every bit set
            EXPECT_EQ(QEL_IsBinaryChannel(vol.get(), 0), 0);
        }
    }
    VolumePtr f = volume_of_unit(QEL_VOXEL_UNIT_FLOAT32);
    ASSERT_TRUE(f);
    static_cast<float*>(f->data[0])[3] = -0.0f;
    static_cast<float*>(f->data[0])[4] = 1.0f;
    EXPECT_EQ(QEL_IsBinaryChannel(f.get(), 0), 1);
    static_cast<float*>(f->data[0])[5] = 0.5f;
    EXPECT_EQ(QEL_IsBinaryChannel(f.get(), 0), 0);
    // 256 has a zero low byte but is not binary.
    VolumePtr w = volume_of_unit(QEL_VOXEL_UNIT_UINT16);
    ASSERT_TRUE(w);
    set(w.get(), 0, 256);
    EXPECT_EQ(QEL_IsBinaryChannel(w.get(), 0), 0);
    // A channel of an invalid unit is not binary (restored before the record is deleted).
    VolumePtr bad = volume_of_unit(QEL_VOXEL_UNIT_UINT8);
    ASSERT_TRUE(bad);
    bad->unit[0] = 9;
    EXPECT_EQ(QEL_IsBinaryChannel(bad.get(), 0), 0);
    bad->unit[0] = QEL_VOXEL_UNIT_UINT8;
    EXPECT_EQ(QEL_IsBinaryChannel(w.get(), 1), 0);
    EXPECT_EQ(QEL_IsBinaryChannel(nullptr, 0), 0);
}

TEST(BinaryChannel, ClearInvertAndCountOnEveryUnit) {
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        const std::vector<int> bits = random_bits(100 + unit, 30);
        int ones = 0;
        for (int b : bits) ones += b;
        VolumePtr vol = binary_volume(unit, bits);
        ASSERT_TRUE(vol);
        EXPECT_EQ(QEL_CountZerosOfBinaryChannel(vol.get(), 0), kN - ones);
        EXPECT_EQ(QEL_CountOnesOfBinaryChannel(vol.get(), 0), ones);

        EXPECT_EQ(QEL_InvertBinaryChannel(vol.get(), 0), 0);
        EXPECT_EQ(vol->unit[0], unit);
        for (int i = 0; i < kN; ++i) ASSERT_EQ(get(vol.get(), i), 1 - bits[i]) << i;
        EXPECT_EQ(QEL_CountOnesOfBinaryChannel(vol.get(), 0), kN - ones);

        EXPECT_EQ(QEL_ClearBinaryChannel(vol.get(), 0), 0);
        EXPECT_EQ(vol->unit[0], unit);
        for (int i = 0; i < kN; ++i) ASSERT_EQ(get(vol.get(), i), 0) << i;
        EXPECT_EQ(QEL_CountZerosOfBinaryChannel(vol.get(), 0), kN);
    }
}

TEST(BinaryChannel, NonBinaryChannelIsLeftAlone) {
    VolumePtr vol = binary_volume(QEL_VOXEL_UNIT_INT16, random_bits(5, 50));
    ASSERT_TRUE(vol);
    set(vol.get(), 9, 7);
    std::vector<double> before(kN);
    for (int i = 0; i < kN; ++i) before[i] = get(vol.get(), i);
    EXPECT_EQ(QEL_ClearBinaryChannel(vol.get(), 0), 0);
    EXPECT_EQ(QEL_InvertBinaryChannel(vol.get(), 0), 0);
    for (int i = 0; i < kN; ++i) EXPECT_EQ(get(vol.get(), i), before[i]);
    EXPECT_EQ(QEL_CountZerosOfBinaryChannel(vol.get(), 0), -1);
    EXPECT_EQ(QEL_CountOnesOfBinaryChannel(vol.get(), 0), kN + 1);
    EXPECT_EQ(QEL_NewBoxOfBinaryChannel(vol.get(), 0), nullptr);
}

TEST(BinaryChannel, PackedChannelReportsTheRefusedConversion) {
    VolumePtr vol = volume_of_unit(QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    ASSERT_TRUE(vol);
    set(vol.get(), 3, 1);
    EXPECT_EQ(QEL_ClearBinaryChannel(vol.get(), 0), -1);
    EXPECT_EQ(QEL_InvertBinaryChannel(vol.get(), 0), -1);
    EXPECT_EQ(QEL_BinarizeChannel(vol.get(), 0), -1);
    EXPECT_EQ(get(vol.get(), 3), 1);
    EXPECT_EQ(get(vol.get(), 4), 0);
    EXPECT_EQ(vol->unit[0], QEL_VOXEL_UNIT_UINT32);
    VolumePtr bad = volume_of_unit(QEL_VOXEL_UNIT_UINT8);
    ASSERT_TRUE(bad);
    bad->unit[0] = 8;
    EXPECT_EQ(QEL_BinarizeChannel(bad.get(), 0), -1);
    bad->unit[0] = QEL_VOXEL_UNIT_UINT8;
}

TEST(BinaryChannel, BinarizeTestsTheWholeValue) {
    VolumePtr w = volume_of_unit(QEL_VOXEL_UNIT_UINT16);
    ASSERT_TRUE(w);
    set(w.get(), 0, 256);  // low byte 0
    set(w.get(), 1, 513);
    set(w.get(), 2, 1);
    EXPECT_EQ(QEL_BinarizeChannel(w.get(), 0), 0);
    EXPECT_EQ(w->unit[0], QEL_VOXEL_UNIT_UINT16);
    EXPECT_EQ(get(w.get(), 0), 1);
    EXPECT_EQ(get(w.get(), 1), 1);
    EXPECT_EQ(get(w.get(), 2), 1);
    EXPECT_EQ(QEL_CountOnesOfBinaryChannel(w.get(), 0), 3);

    VolumePtr s = volume_of_unit(QEL_VOXEL_UNIT_INT8);
    ASSERT_TRUE(s);
    set(s.get(), 5, -1);
    set(s.get(), 6, -128);
    EXPECT_EQ(QEL_BinarizeChannel(s.get(), 0), 0);
    EXPECT_EQ(get(s.get(), 5), 1);
    EXPECT_EQ(get(s.get(), 6), 1);
    EXPECT_EQ(QEL_CountOnesOfBinaryChannel(s.get(), 0), 2);

    // Floats are truncated toward zero first; what the store rule makes 0 stays 0.
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double value, want;
    } reals[] = {{0.5, 0}, {-0.7, 0}, {nan, 0}, {-0.0, 0}, {1e-300, 0}, {inf, 0}, {-inf, 0}, {1e19, 0},
                 {-2.75, 1}, {1.0, 1}, {0.99999999999, 1} /* 1 in single precision */, {-9e18, 1}};
    for (int unit : {QEL_VOXEL_UNIT_FLOAT32, QEL_VOXEL_UNIT_FLOAT64}) {
        VolumePtr f = volume_of_unit(unit);
        ASSERT_TRUE(f);
        for (int i = 0; i < static_cast<int>(std::size(reals)); ++i) {
            if (unit == QEL_VOXEL_UNIT_FLOAT32) static_cast<float*>(f->data[0])[i] = static_cast<float>(reals[i].value);
            else static_cast<double*>(f->data[0])[i] = reals[i].value;
        }
        EXPECT_EQ(QEL_BinarizeChannel(f.get(), 0), 0);
        EXPECT_EQ(f->unit[0], unit);
        for (int i = 0; i < static_cast<int>(std::size(reals)); ++i)
            EXPECT_EQ(get(f.get(), i), reals[i].want) << "unit " << unit << " value " << reals[i].value;
        EXPECT_EQ(get(f.get(), static_cast<int>(std::size(reals))), 0.0);
    }
}

TEST(BinaryChannel, BoxOfOnesMatchesBruteForce) {
    // One voxel.
    const QelSize3i dims{8, 6, 9};
    VolumePtr one(QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, 0));
    ASSERT_TRUE(one);
    static_cast<uint8_t*>(one->data[0])[5 + 8 * (2 + 6 * 7)] = 1;
    QelBox3i* box = QEL_NewBoxOfBinaryChannel(one.get(), 0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->origin->x, 5);
    EXPECT_EQ(box->origin->y, 2);
    EXPECT_EQ(box->origin->z, 7);
    EXPECT_EQ(box->size->nx, 1);
    EXPECT_EQ(box->size->ny, 1);
    EXPECT_EQ(box->size->nz, 1);
    QEL_DeleteBox3i(box);

    // Sparse random sets on every unit.
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        const std::vector<int> bits = random_bits(200 + unit, 3);
        VolumePtr vol = binary_volume(unit, bits);
        ASSERT_TRUE(vol);
        int lo[3] = {1 << 30, 1 << 30, 1 << 30}, hi[3] = {-1, -1, -1};
        for (int i = 0; i < kN; ++i) {
            if (!bits[i]) continue;
            const int c[3] = {i % kNx, (i / kNx) % kNy, i / (kNx * kNy)};
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], c[a]);
                hi[a] = std::max(hi[a], c[a]);
            }
        }
        QelBox3i* b = QEL_NewBoxOfBinaryChannel(vol.get(), 0);
        if (hi[0] < 0) {
            EXPECT_EQ(b, nullptr);
            continue;
        }
        ASSERT_TRUE(b);
        EXPECT_EQ(b->origin->x, lo[0]);
        EXPECT_EQ(b->origin->y, lo[1]);
        EXPECT_EQ(b->origin->z, lo[2]);
        EXPECT_EQ(b->size->nx, hi[0] - lo[0] + 1);
        EXPECT_EQ(b->size->ny, hi[1] - lo[1] + 1);
        EXPECT_EQ(b->size->nz, hi[2] - lo[2] + 1);
        EXPECT_EQ(vol->unit[0], unit);
        QEL_DeleteBox3i(b);
    }

    VolumePtr empty = volume_of_unit(QEL_VOXEL_UNIT_UINT16);
    ASSERT_TRUE(empty);
    EXPECT_EQ(QEL_NewBoxOfBinaryChannel(empty.get(), 0), nullptr);
    EXPECT_EQ(empty->unit[0], QEL_VOXEL_UNIT_UINT16);
}

}  // namespace
