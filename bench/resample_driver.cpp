// Driver for bench/resample_vs_scipy.py: resizes a raw volume file (x fastest, native byte
// order) and writes the result as a raw file.
//   bench_resample_driver IN OUT UNIT NX NY NZ nx ny nz MODE REPEATS
// Prints "seconds <best time of one in-place resize>" on stdout.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filters/qel_resample.h"
#include "volume/qel_checked.hpp"
#include "volume/qel_volume.h"

namespace {

bool read_file(const char* path, void* data, int64_t bytes) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    const bool ok = std::fread(data, 1, static_cast<size_t>(bytes), f) == static_cast<size_t>(bytes);
    std::fclose(f);
    return ok;
}

bool write_file(const char* path, const void* data, int64_t bytes) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, static_cast<size_t>(bytes), f) == static_cast<size_t>(bytes);
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 12) {
        std::fprintf(stderr, "usage: %s IN OUT UNIT NX NY NZ nx ny nz MODE REPEATS\n", argv[0]);
        return 2;
    }
    const int unit = std::atoi(argv[3]);
    const QelSize3i dims{std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6])};
    const int newSize[3] = {std::atoi(argv[7]), std::atoi(argv[8]), std::atoi(argv[9])};
    const int mode = std::atoi(argv[10]), repeats = std::atoi(argv[11]);
    const auto inBytes = qel::checked_product({dims.nx, dims.ny, dims.nz, QEL_GetVoxelUnitSize(unit)});
    const auto outBytes = qel::checked_product({newSize[0], newSize[1], newSize[2], QEL_GetVoxelUnitSize(unit)});
    QelRawVolumeData* source = QEL_NewSingleChannelRawVolumeData(&dims, unit, 0);
    if (!inBytes || !outBytes || !source || !read_file(argv[1], source->data[0], *inBytes)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    double best = -1;
    QelRawVolumeData* result = nullptr;
    for (int r = 0; r < (repeats < 1 ? 1 : repeats); ++r) {
        QEL_DeleteRawVolumeData(result);
        result = QEL_CopyRawVolumeData(source);
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = result ? QEL_ResizeRawVolumeData(result, newSize, mode) : -1;
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (rc != 0) {
            std::fprintf(stderr, "resize refused\n");
            return 1;
        }
        if (best < 0 || s < best) best = s;
    }
    if (!write_file(argv[2], result->data[0], *outBytes)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("seconds %.6f\n", best);
    QEL_DeleteRawVolumeData(result);
    QEL_DeleteRawVolumeData(source);
    return 0;
}
