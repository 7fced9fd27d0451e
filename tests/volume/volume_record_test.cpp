// Volume and image records: construction, layout, copies and channel lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/capture.hpp"
#include "volume/qel_image.h"
#include "volume/qel_volume.h"

namespace {

QelRawVolumeData* new_volume(int nx, int ny, int nz, std::initializer_list<int> units) {
    std::vector<int> u(units), a(u.size(), 0);
    const QelSize4i s{nx, ny, nz, static_cast<int>(u.size())};
    return QEL_NewRawVolumeData(&s, u.data(), a.data());
}

TEST(VolumeRecord, LayoutAndZeroFill) {
    QelRawVolumeData* vol = new_volume(2, 3, 4, {QEL_VOXEL_UNIT_UINT16, QEL_VOXEL_UNIT_FLOAT64});
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->size->nChannels, 2);
    EXPECT_EQ(QEL_GetNumberOfVoxels(vol), 24);
    for (int c = 0; c < 2; ++c) {
        const int es = QEL_GetVoxelUnitSize(vol->unit[c]);
        for (int z = 0; z < 4; ++z)
            for (int y = 0; y < 3; ++y)
                EXPECT_EQ(vol->slices[c][z][y], static_cast<char*>(vol->data[c]) + (z * 3 + y) * 2 * es);
        for (int i = 0; i < 24; ++i) EXPECT_EQ(QEL_GetValueOfTypedArray(vol->data[c], vol->unit[c], 24, i), 0.0);
    }
    // voxel (1, 2, 3) is element 23
    EXPECT_EQ(static_cast<uint16_t*>(QEL_GetRowOfRawVolumeData(vol, 0, 3, 2)) + 1,
              static_cast<uint16_t*>(vol->data[0]) + 23);
    QEL_DeleteRawVolumeData(vol);
}

}  // namespace
