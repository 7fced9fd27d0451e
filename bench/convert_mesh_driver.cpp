// Driver for bench/convert_mesh_vs_skimage.py. Each operation prints "<seconds> <result>", the
// best wall time of several runs; file access and the set-up of each run are not timed.
//   convert <srcUnit> <dstUnit> <map> <smin> <smax> <dmin> <dmax> <count> <in.raw> <out.raw> <runs>
//       QEL_ConvertVoxelArray into a block already written once (no page faults timed)
//   reference <same arguments as convert>
//       the per-voxel loop of tests/support/convert_reference.hpp, the baseline
//   unit <srcUnit> <dstUnit> <map> <smin> <smax> <dmin> <dmax> <count> <in.raw> <out.raw> <runs>
//       QEL_ConvertVoxelUnit on a copy of the channel (its new block included)
//   copy <bytes> <in.raw> <runs>
//       memcpy of the same bytes into a block already written once
//   mesh <gradient 0|1> <nx> <ny> <nz> <in.u8> <threshold> <runs>
//       MeshVolume on an 8-bit channel, grey window 0..255, original colours, sigma 1; the
//       result is the number of bricks. The process's first two runs also pay for the memory it
//       takes from the system (the second builds its group while the first's is still held);
//       they are not among the timed runs, and the first is printed third:
//       "<seconds> <bricks> <first>".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/quiet_stderr.hpp"
#include "programs/voxelsurfacer/brick_mesher.h"
#include "tests/support/convert_reference.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_volume.h"

namespace {

std::vector<unsigned char> read_file(const char* path) {
    std::vector<unsigned char> data;
    FILE* f = std::fopen(path, "rb");
    if (!f) return data;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        std::rewind(f);
        if (size > 0) {
            data.resize(static_cast<size_t>(size));
            data.resize(std::fread(data.data(), 1, data.size(), f));
        }
    }
    std::fclose(f);
    return data;
}

bool write_file(const char* path, const void* data, size_t bytes) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, bytes, f) == bytes;
    return std::fclose(f) == 0 && ok;
}

// Best time of `runs` calls of op(); op returns the result printed with it.
template <class Op>
void time_runs(int runs, Op op) {
    double best = 1e30;
    long result = 0;
    for (int r = 0; r < (runs < 1 ? 1 : runs); ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        result = op();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    std::printf("%.6f %ld\n", best, result);
}

enum class Convert { array, reference, channel };

int convert(Convert how, char** a) {
    const int srcUnit = std::atoi(a[0]), dstUnit = std::atoi(a[1]), map = std::atoi(a[2]);
    const QelValueRange src{std::strtof(a[3], nullptr), std::strtof(a[4], nullptr)};
    const QelValueRange dst{std::strtof(a[5], nullptr), std::strtof(a[6], nullptr)};
    const int count = std::atoi(a[7]);
    const std::vector<unsigned char> in = read_file(a[8]);
    const int inSize = QEL_GetVoxelUnitSize(srcUnit), outSize = QEL_GetVoxelUnitSize(dstUnit);
    if (count <= 0 || inSize == 0 || outSize == 0 || in.size() != size_t(count) * size_t(inSize)) return 1;
    std::vector<unsigned char> out(size_t(count) * size_t(outSize), 1);
    if (how != Convert::channel) {
        time_runs(std::atoi(a[10]), [&] {
            if (how == Convert::array)
                QEL_ConvertVoxelArray(count, in.data(), out.data(), srcUnit, dstUnit, &src, &dst, map);
            else
                qeltest::reference_convert(count, in.data(), out.data(), srcUnit, dstUnit, &src, &dst, map);
            return 0L;
        });
        return write_file(a[9], out.data(), out.size()) ? 0 : 1;
    }
    const QelSize3i dims{count, 1, 1};
    QelRawVolumeData* vol = nullptr;
    double best = 1e30;
    for (int r = 0; r < std::atoi(a[10]); ++r) {
        QEL_DeleteRawVolumeData(vol);
        vol = QEL_NewSingleChannelRawVolumeData(&dims, srcUnit, QEL_ATTRIBUTE_PLAIN);
        if (!vol) return 1;
        std::memcpy(vol->data[0], in.data(), in.size());
        const auto t0 = std::chrono::steady_clock::now();
        if (QEL_ConvertVoxelUnit(vol, 0, dstUnit, &src, &dst, map) != 0) return 1;
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    std::printf("%.6f 0\n", best);
    const bool ok = vol && write_file(a[9], vol->data[0], out.size());
    QEL_DeleteRawVolumeData(vol);
    return ok ? 0 : 1;
}

int copy(char** a) {
    const std::vector<unsigned char> in = read_file(a[1]);
    const size_t bytes = std::strtoull(a[0], nullptr, 10);
    if (in.size() != bytes) return 1;
    std::vector<unsigned char> out(bytes, 1);
    time_runs(std::atoi(a[2]), [&] {
        std::memcpy(out.data(), in.data(), bytes);
        return long(out[bytes / 2]);
    });
    return 0;
}

int mesh(char** a) {
    const QelSize3i dims{std::atoi(a[1]), std::atoi(a[2]), std::atoi(a[3])};
    const std::vector<unsigned char> in = read_file(a[4]);
    MesherSettings s{};
    s.volume = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN);
    if (!s.volume || in.size() != size_t(QEL_GetNumberOfVoxels(s.volume))) return 1;
    std::memcpy(s.volume->data[0], in.data(), in.size());
    s.threshold = std::strtof(a[5], nullptr);
    s.uniformColor[0] = s.uniformColor[1] = s.uniformColor[2] = 0.5f;
    s.alpha = 1.0f;
    s.gradientMode = std::atoi(a[0]) ? MESHER_GRADIENT_USE : MESHER_GRADIENT_UNUSE;
    s.resolutionMode = MESHER_RESOLUTION_HIGH;
    s.colorMode = MESHER_COLOR_ORIGINAL;
    s.sigma = 1.0f;
    s.components = 1;
    const QelValueRange window{0.0f, 255.0f};
    int failed = 0;
    {
        QuietStderr quiet;
        const auto t0 = std::chrono::steady_clock::now();
        failed |= MeshVolume(&s, &window, nullptr);
        const double first = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        failed |= MeshVolume(&s, &window, nullptr);
        double best = 1e30;
        for (int r = 0; r < std::max(1, std::atoi(a[6])); ++r) {
            const auto t1 = std::chrono::steady_clock::now();
            failed |= MeshVolume(&s, &window, nullptr);
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count());
        }
        std::printf("%.6f %d %.6f\n", best, s.group ? s.group->count : 0, first);
    }
    QEL_DeleteDataObjectGroup(s.group);
    QEL_DeleteRawVolumeData(s.volume);
    return failed ? 1 : 0;
}

int usage() {
    std::fprintf(stderr, "usage: bench_convert_mesh_driver convert|reference|unit|copy|mesh ...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string op = argv[1];
    if (argc == 13) {
        if (op == "convert") return convert(Convert::array, argv + 2);
        if (op == "reference") return convert(Convert::reference, argv + 2);
        if (op == "unit") return convert(Convert::channel, argv + 2);
    }
    if (op == "copy" && argc == 5) return copy(argv + 2);
    if (op == "mesh" && argc == 9) return mesh(argv + 2);
    return usage();
}
