// Voxel lists, the list of a binary channel's 1-voxels and the kernel made from a channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "support/capture.hpp"
#include "support/records.hpp"
#include "volume/qel_kernel.h"

namespace {

using ListPtr = qeltest::VoxelListPtr;
using qeltest::KernelPtr;
using qeltest::VolumePtr;

TEST(VoxelList, AppendFindRemove) {
    EXPECT_EQ(QEL_NewVoxelList(-1), nullptr);
    ListPtr empty(QEL_NewVoxelList(0));
    ASSERT_TRUE(empty);
    const QelPoint3i p{1, 0, 0};
    EXPECT_EQ(QEL_AppendToVoxelList(empty.get(), &p), 0);
    EXPECT_EQ(QEL_FindOrAppendVoxel(empty.get(), &p), -1);

    ListPtr list(QEL_NewVoxelList(2));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->capacity, 2);
    EXPECT_EQ(list->dims->nx, 1);
    EXPECT_EQ(list->dims->ny, 1);
    EXPECT_EQ(list->dims->nz, 1);
    const QelPoint3i a{0, 5, 0}, b{1, 0, 0}, c{0, 0, 1};
    EXPECT_EQ(QEL_AppendToVoxelList(list.get(), &a), 1);
    EXPECT_EQ(QEL_AppendToVoxelList(list.get(), &b), 2);
    EXPECT_EQ(QEL_AppendToVoxelList(list.get(), &c), 2);  // full: nothing stored
    EXPECT_EQ(list->x[1], 1);
    EXPECT_EQ(QEL_FindOrAppendVoxel(list.get(), &b), 1);
    EXPECT_EQ(QEL_FindOrAppendVoxel(list.get(), &a), 0);
    EXPECT_EQ(QEL_FindOrAppendVoxel(list.get(), &c), -1);

    EXPECT_EQ(QEL_RemoveFromVoxelList(list.get(), &c), 2);  // absent
    EXPECT_EQ(QEL_RemoveFromVoxelList(list.get(), &a), 1);
    EXPECT_EQ(list->x[0], 1);
    EXPECT_EQ(list->y[0], 0);
    EXPECT_EQ(QEL_FindOrAppendVoxel(list.get(), &c), 1);
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(list->z[1], 1);
    QEL_DeleteVoxelList(nullptr);
}

TEST(VoxelList, RemoveMovesOffsetsWithTheirPoints) {
    ListPtr list(QEL_NewVoxelList(5));
    ASSERT_TRUE(list);
    for (int i = 0; i < 5; ++i) {
        const QelPoint3i p{i, -i, 2 * i};
        QEL_AppendToVoxelList(list.get(), &p);
    }
    const QelSize3i dims{7, 11, 13};
    QEL_SetVoxelListOffsets(list.get(), &dims);
    const QelPoint3i second{1, -1, 2};
    EXPECT_EQ(QEL_RemoveFromVoxelList(list.get(), &second), 4);
    const int kept[4] = {0, 2, 3, 4};
    for (int j = 0; j < 4; ++j) {
        const int i = kept[j];
        EXPECT_EQ(list->x[j], i);
        EXPECT_EQ(list->offset[j], i + 7 * (-i + 11 * 2 * i));
    }
}

TEST(VoxelList, OffsetsCoverEveryAllocatedEntry) {
    ListPtr list(QEL_NewVoxelList(4));
    ASSERT_TRUE(list);
    const QelPoint3i p{2, 3, -1};
    QEL_AppendToVoxelList(list.get(), &p);
    const QelSize3i dims{10, 20, 30};
    QEL_SetVoxelListOffsets(list.get(), &dims);
    EXPECT_EQ(list->offset[0], 2 + 10 * (3 - 20));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(list->offset[i], list->x[i] + 10 * (list->y[i] + 20 * list->z[i])) << i;
    EXPECT_EQ(list->dims->nz, 30);
}

TEST(VoxelListOfBinaryChannel, OnesInScanOrder) {
    std::mt19937 rng(11);
    for (int unit : {QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_FLOAT64}) {
        SCOPED_TRACE(unit);
        const QelSize3i dims{5, 4, 6};
        VolumePtr vol(QEL_NewSingleChannelRawVolumeData(&dims, unit, 0));
        ASSERT_TRUE(vol);
        std::vector<std::array<int, 3>> expected;
        for (int z = 0; z < 6; ++z)
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x) {
                    if (rng() % 4 != 0) continue;
                    const int i = x + 5 * (y + 4 * z);
                    if (unit == QEL_VOXEL_UNIT_UINT8) static_cast<uint8_t*>(vol->data[0])[i] = 1;
                    if (unit == QEL_VOXEL_UNIT_INT16) static_cast<int16_t*>(vol->data[0])[i] = 1;
                    if (unit == QEL_VOXEL_UNIT_FLOAT64) static_cast<double*>(vol->data[0])[i] = 1.0;
                    expected.push_back({x, y, z});
                }
        ListPtr list(QEL_NewVoxelListOfBinaryChannel(vol.get(), 0));
        ASSERT_TRUE(list);
        ASSERT_EQ(list->count, static_cast<int>(expected.size()));
        EXPECT_EQ(list->capacity, list->count);
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(list->x[i], expected[i][0]);
            EXPECT_EQ(list->y[i], expected[i][1]);
            EXPECT_EQ(list->z[i], expected[i][2]);
        }
    }
    // No ones: an empty list, not a failure.
    const QelSize3i dims{3, 3, 3};
    VolumePtr zero(QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, 0));
    ASSERT_TRUE(zero);
    qeltest::StderrCapture capture;
    ListPtr list(QEL_NewVoxelListOfBinaryChannel(zero.get(), 0));
    EXPECT_EQ(capture.stop(), "");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count, 0);
}

VolumePtr float_volume(int nx, int ny, int nz, const std::vector<std::array<int, 4>>& voxels, int unit) {
    const QelSize3i dims{nx, ny, nz};
    VolumePtr vol(QEL_NewSingleChannelRawVolumeData(&dims, unit, 0));
    if (!vol) return vol;
    for (const auto& v : voxels) {
        const int i = v[0] + nx * (v[1] + ny * v[2]);
        if (unit == QEL_VOXEL_UNIT_FLOAT32) static_cast<float*>(vol->data[0])[i] = static_cast<float>(v[3]);
        if (unit == QEL_VOXEL_UNIT_INT8) static_cast<int8_t*>(vol->data[0])[i] = static_cast<int8_t>(v[3]);
    }
    return vol;
}

TEST(KernelFromChannel, PointsWeightsAndMargin) {
    // (x, y, z, value) in an order that is not scan order.
    const std::vector<std::array<int, 4>> voxels = {{4, 4, 4, 3}, {0, 0, 0, -2}, {2, 1, 0, 5}, {1, 2, 3, 7}};
    for (int unit : {QEL_VOXEL_UNIT_FLOAT32, QEL_VOXEL_UNIT_INT8}) {
        SCOPED_TRACE(unit);
        VolumePtr vol = float_volume(5, 5, 5, voxels, unit);
        ASSERT_TRUE(vol);
        const QelPoint3i centre{1, 1, 1};
        KernelPtr k(QEL_NewKernelFromRawVolumeData(vol.get(), 0, &centre));
        ASSERT_TRUE(k);
        EXPECT_EQ(k->kind, QEL_KERNEL_GENERAL);
        ASSERT_EQ(k->points->count, 4);
        EXPECT_EQ(k->points->capacity, 4);
        // Scan order: (0,0,0), (2,1,0), (1,2,3), (4,4,4), displaced by the centre.
        const int expected[4][4] = {{-1, -1, -1, -2}, {1, 0, -1, 5}, {0, 1, 2, 7}, {3, 3, 3, 3}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(k->points->x[i], expected[i][0]);
            EXPECT_EQ(k->points->y[i], expected[i][1]);
            EXPECT_EQ(k->points->z[i], expected[i][2]);
            EXPECT_EQ(k->weight[i], static_cast<float>(expected[i][3]));
        }
        EXPECT_EQ(k->weightSum, 13.0f);
        EXPECT_EQ(k->radius, 1.0f);
        EXPECT_GE(k->margin, 3);  // covers the farthest point
        EXPECT_EQ(vol->unit[0], unit);
    }
    // A centre far outside still gives a margin that covers the reach.
    VolumePtr vol = float_volume(3, 3, 3, {{2, 0, 0, 1}}, QEL_VOXEL_UNIT_FLOAT32);
    ASSERT_TRUE(vol);
    const QelPoint3i far{-40, 0, 0};
    KernelPtr k(QEL_NewKernelFromRawVolumeData(vol.get(), 0, &far));
    ASSERT_TRUE(k);
    EXPECT_EQ(k->points->x[0], 42);
    EXPECT_GE(k->margin, 42);
    const QelPoint3i extreme{-2147483647 - 1, 0, 0};
    EXPECT_EQ(QEL_NewKernelFromRawVolumeData(vol.get(), 0, &extreme), nullptr);
}

TEST(KernelFromChannel, Refusals) {
    VolumePtr zero = float_volume(4, 4, 4, {}, QEL_VOXEL_UNIT_FLOAT32);
    ASSERT_TRUE(zero);
    const QelPoint3i centre{0, 0, 0};
    EXPECT_EQ(QEL_NewKernelFromRawVolumeData(zero.get(), 0, &centre), nullptr);
    EXPECT_EQ(QEL_NewKernelFromRawVolumeData(zero.get(), 1, &centre), nullptr);
    EXPECT_EQ(QEL_NewKernelFromRawVolumeData(zero.get(), 0, nullptr), nullptr);
    // A value that is 0 once in single precision is no point.
    const QelSize3i dims{2, 2, 2};
    VolumePtr tiny(QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_FLOAT64, 0));
    ASSERT_TRUE(tiny);
    static_cast<double*>(tiny->data[0])[3] = 1e-60;
    EXPECT_EQ(QEL_NewKernelFromRawVolumeData(tiny.get(), 0, &centre), nullptr);
    // A packed channel is not converted, so it gives no kernel.
    VolumePtr packed(QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA));
    ASSERT_TRUE(packed);
    static_cast<uint32_t*>(packed->data[0])[0] = 0xFFFFFFFFu;
    EXPECT_EQ(QEL_NewKernelFromRawVolumeData(packed.get(), 0, &centre), nullptr);
}

}  // namespace
