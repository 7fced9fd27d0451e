// Runs one rank filter on a raw volume file and writes the result, for the side-by-side
// comparison with scipy (bench/rank_vs_scipy.py). Prints the best time of the repeats in
// seconds, each repeat filtering a fresh copy.
//   bench_rank_driver threaded|single median|minimum|maximum UNIT NX NY NZ RADIUS THREADS IN OUT REPEATS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/qel_rank.h"
#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

int main(int argc, char** argv) {
    if (argc != 12) {
        fprintf(stderr, "usage: %s threaded|single median|minimum|maximum UNIT NX NY NZ RADIUS THREADS IN OUT REPEATS\n", argv[0]);
        return 2;
    }
    const std::string build = argv[1], filter = argv[2];
    const int unit = atoi(argv[3]);
    const QelSize3i dims{atoi(argv[4]), atoi(argv[5]), atoi(argv[6])};
    const float radius = static_cast<float>(atof(argv[7]));
    const int threads = atoi(argv[8]);
    const int repeats = atoi(argv[11]);
    const size_t bytes = static_cast<size_t>(dims.nx) * dims.ny * dims.nz * QEL_GetVoxelUnitSize(unit);
    std::vector<char> input(bytes);
    FILE* in = fopen(argv[9], "rb");
    if (!in || fread(input.data(), 1, bytes, in) != bytes) {
        fprintf(stderr, "cannot read %s\n", argv[9]);
        return 1;
    }
    fclose(in);
    QelKernel* kernel = QEL_NewSphericalKernel(radius);
    double best = 1e30;
    QelRawVolumeData* vol = nullptr;
    for (int r = 0; r < repeats; ++r) {
        QEL_DeleteRawVolumeData(vol);
        vol = QEL_NewSingleChannelRawVolumeData(&dims, unit, 0);
        if (!vol) return 1;
        memcpy(vol->data[0], input.data(), bytes);
        const auto t0 = std::chrono::steady_clock::now();
        int rc;
        if (build == "threaded") {
            rc = filter == "median"    ? QEL_MedianFilter_MT(vol, 0, kernel, threads)
                 : filter == "minimum" ? QEL_MinimumFilter_MT(vol, 0, kernel, threads)
                                       : QEL_MaximumFilter_MT(vol, 0, kernel, threads);
        } else {
            rc = filter == "median"    ? QEL_MedianFilter(vol, 0, kernel)
                 : filter == "minimum" ? QEL_MinimumFilter(vol, 0, kernel)
                                       : QEL_MaximumFilter(vol, 0, kernel);
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (rc != 0) return 1;
        if (s < best) best = s;
    }
    FILE* out = fopen(argv[10], "wb");
    if (!out || fwrite(vol->data[0], 1, bytes, out) != bytes) return 1;
    fclose(out);
    printf("%.6f\n", best);
    QEL_DeleteRawVolumeData(vol);
    QEL_DeleteKernel(kernel);
    return 0;
}
