// Uses the installed library as a plug-in author would: a volume with one hot voxel, cleaned
// by the threaded median filter. Exit code 0 when every voxel is the background again.
#include <cstdio>

#include "filters/qel_rank.h"
#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

int main() {
    QelSize3i dims{6, 5, 4};
    QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, 0);
    QelKernel* k = QEL_NewCubicKernel(3);
    if (!v || !k) return 1;
    auto* p = static_cast<unsigned char*>(v->data[0]);
    for (int i = 0; i < 6 * 5 * 4; ++i) p[i] = 10;
    p[2 + 6 * (2 + 5 * 1)] = 250;
    int rc = QEL_MedianFilter_MT(v, 0, k, 2);
    int left = 0;
    for (int i = 0; i < 6 * 5 * 4; ++i) left += p[i] != 10;
    std::printf("median filter: %d, voxels not background: %d\n", rc, left);
    QEL_DeleteKernel(k);
    QEL_DeleteRawVolumeData(v);
    return rc == 0 && left == 0 ? 0 : 1;
}
