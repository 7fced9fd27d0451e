// Runs one segmentation operation on a raw file for the scipy reference script:
//   segment_driver label <connectivity> <nx> <ny> <nz> <mask.u8> <labels.u32>
//   segment_driver fill <nx> <ny> <nz> <mask.u8> <filled.u8>
//   segment_driver grow <connectivity> <nx> <ny> <nz> <mask.u8> <seeds.u8> <region.u8>
// Masks hold 0 and 1 in storage order (x fastest). Prints the operation's result.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filters/qel_components.h"
#include "filters/qel_region_grow.h"
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

QelRawVolumeData* read_mask(const char* nx, const char* ny, const char* nz, const char* path) {
    const QelSize3i dims{std::atoi(nx), std::atoi(ny), std::atoi(nz)};
    QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN);
    if (v && !read_file(path, v->data[0], size_t(QEL_GetNumberOfVoxels(v)))) {
        QEL_DeleteRawVolumeData(v);
        return nullptr;
    }
    return v;
}

int usage() {
    std::fprintf(stderr, "usage: segment_driver label|fill|grow ...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string op = argv[1];
    if (op == "label" && argc == 8) {
        QelRawVolumeData* v = read_mask(argv[3], argv[4], argv[5], argv[6]);
        if (!v) return 1;
        const int n = QEL_LabelComponents(v, 0, std::atoi(argv[2]));
        std::printf("%d\n", n);
        const bool ok = write_file(argv[7], v->data[0], size_t(QEL_GetNumberOfVoxels(v)) * 4);
        QEL_DeleteRawVolumeData(v);
        return ok ? 0 : 1;
    }
    if (op == "fill" && argc == 7) {
        QelRawVolumeData* v = read_mask(argv[2], argv[3], argv[4], argv[5]);
        if (!v) return 1;
        std::printf("%d\n", QEL_FillCavities(v, 0));
        const bool ok = write_file(argv[6], v->data[0], size_t(QEL_GetNumberOfVoxels(v)));
        QEL_DeleteRawVolumeData(v);
        return ok ? 0 : 1;
    }
    if (op == "grow" && argc == 9) {
        QelRawVolumeData* v = read_mask(argv[3], argv[4], argv[5], argv[6]);
        QelRawVolumeData* s = read_mask(argv[3], argv[4], argv[5], argv[7]);
        bool ok = v && s;
        if (ok) {
            QelTypedValueRange range{};
            range.min.bytes[0] = 1;
            range.max.bytes[0] = 1;
            std::printf("%d\n", QEL_GrowSeedRegion(v, 0, s, 0, &range, std::atoi(argv[2])));
            ok = write_file(argv[8], v->data[0], size_t(QEL_GetNumberOfVoxels(v)));
        }
        QEL_DeleteRawVolumeData(v);
        QEL_DeleteRawVolumeData(s);
        return ok ? 0 : 1;
    }
    return usage();
}
