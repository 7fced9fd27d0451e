// Runs one segmentation operation on a raw volume for bench/segment_vs_scipy.py and prints the
// best wall time of several runs (each on a fresh copy; copying and file access not timed):
//   label <connectivity> <nx> <ny> <nz> <mask.u8> <labels.u32> <runs>
//   grow <connectivity> <nx> <ny> <nz> <mask.u8> <seeds.u8> <region.u8> <runs>
//   fill <nx> <ny> <nz> <mask.u8> <filled.u8> <runs>
//   gauss <sigma> <nx> <ny> <nz> <in.f64> <out.f64> <runs>         three passes, x y z
//   conv <axis> <sigma> <nx> <ny> <nz> <in.f64> <out.f64> <runs>   one Gaussian pass
// Output line: "<seconds> <result>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filters/qel_components.h"
#include "filters/qel_region_grow.h"
#include "filters/qel_smooth.h"
#include "volume/qel_volume.h"

namespace {

bool read_file(const char* path, void* data, size_t bytes) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    const bool ok = std::fread(data, 1, bytes, f) == bytes;
    std::fclose(f);
    return ok;
}

bool write_file(const char* path, const void* data, size_t bytes) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, bytes, f) == bytes;
    return std::fclose(f) == 0 && ok;
}

size_t bytes_of(const QelRawVolumeData* v) {
    return size_t(QEL_GetNumberOfVoxels(v)) * size_t(QEL_GetVoxelUnitSize(v->unit[0]));
}

QelRawVolumeData* read_volume(char** dims, int unit, const char* path) {
    const QelSize3i d{std::atoi(dims[0]), std::atoi(dims[1]), std::atoi(dims[2])};
    QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&d, unit, QEL_ATTRIBUTE_PLAIN);
    if (v && !read_file(path, v->data[0], bytes_of(v))) {
        QEL_DeleteRawVolumeData(v);
        return nullptr;
    }
    return v;
}

// Best time of `runs` calls of op(copy) on fresh copies; the last copy is written out.
template <class Op>
int time_runs(const QelRawVolumeData* input, int runs, const char* outPath, Op op) {
    double best = 1e30;
    long result = 0;
    QelRawVolumeData* last = nullptr;
    for (int r = 0; r < runs; ++r) {
        QEL_DeleteRawVolumeData(last);
        last = QEL_CopyRawVolumeData(input);
        if (!last) return 1;
        const auto t0 = std::chrono::steady_clock::now();
        result = op(last);
        const auto t1 = std::chrono::steady_clock::now();
        const double s = std::chrono::duration<double>(t1 - t0).count();
        if (s < best) best = s;
    }
    std::printf("%.6f %ld\n", best, result);
    const bool ok = write_file(outPath, last->data[0], bytes_of(last));
    QEL_DeleteRawVolumeData(last);
    return ok ? 0 : 1;
}

int usage() {
    std::fprintf(stderr, "usage: bench_segment_driver label|grow|fill|gauss|conv ...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string op = argv[1];
    int status = 1;
    if (op == "label" && argc == 9) {
        const int connectivity = std::atoi(argv[2]);
        QelRawVolumeData* v = read_volume(argv + 3, QEL_VOXEL_UNIT_UINT8, argv[6]);
        if (v) status = time_runs(v, std::atoi(argv[8]), argv[7], [&](QelRawVolumeData* w) {
            return long(QEL_LabelComponents(w, 0, connectivity));
        });
        QEL_DeleteRawVolumeData(v);
    } else if (op == "grow" && argc == 10) {
        const int connectivity = std::atoi(argv[2]);
        QelRawVolumeData* v = read_volume(argv + 3, QEL_VOXEL_UNIT_UINT8, argv[6]);
        QelRawVolumeData* s = read_volume(argv + 3, QEL_VOXEL_UNIT_UINT8, argv[7]);
        QelTypedValueRange range{};
        range.min.bytes[0] = 1;
        range.max.bytes[0] = 1;
        if (v && s) status = time_runs(v, std::atoi(argv[9]), argv[8], [&](QelRawVolumeData* w) {
            return long(QEL_GrowSeedRegion(w, 0, s, 0, &range, connectivity));
        });
        QEL_DeleteRawVolumeData(v);
        QEL_DeleteRawVolumeData(s);
    } else if (op == "fill" && argc == 8) {
        QelRawVolumeData* v = read_volume(argv + 2, QEL_VOXEL_UNIT_UINT8, argv[5]);
        if (v) status = time_runs(v, std::atoi(argv[7]), argv[6], [](QelRawVolumeData* w) {
            return long(QEL_FillCavities(w, 0));
        });
        QEL_DeleteRawVolumeData(v);
    } else if (op == "gauss" && argc == 9) {
        const float sigma = std::strtof(argv[2], nullptr);
        QelRawVolumeData* v = read_volume(argv + 3, QEL_VOXEL_UNIT_FLOAT64, argv[6]);
        if (v) status = time_runs(v, std::atoi(argv[8]), argv[7], [&](QelRawVolumeData* w) {
            QEL_GaussianSmoothChannel(w, 0, sigma);
            return 0L;
        });
        QEL_DeleteRawVolumeData(v);
    } else if (op == "conv" && argc == 10) {
        QelKernel* k = QEL_NewGaussianKernel1D(argv[2], std::strtof(argv[3], nullptr));
        QelRawVolumeData* v = read_volume(argv + 4, QEL_VOXEL_UNIT_FLOAT64, argv[7]);
        if (v && k) status = time_runs(v, std::atoi(argv[9]), argv[8], [&](QelRawVolumeData* w) {
            QEL_ConvolveChannel(w, 0, k);
            return long(k->points->count);
        });
        QEL_DeleteRawVolumeData(v);
        QEL_DeleteKernel(k);
    } else {
        return usage();
    }
    return status;
}
