// Writes and reads ANALYZE file pairs with the library, for tests/python/analyze_nibabel.py.
//   write BASE UNIT NX NY NZ CHANNELS VOXELSIZE TURN
//     fills voxel (x, y, z) of channel c from the pattern below, turns the volume 180 degrees
//     about x when TURN is 1 (as the exporter does), and writes BASE.hdr and BASE.img.
//   read HDR IMG
//     prints "nx ny nz channels unit" and a newline, then every channel block, to stdout.
// Exit code 0 on success, 1 on any failure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filters/qel_rotate.h"
#include "gui/qel_analyze.h"

namespace {

// The pattern, repeated in the script: a base number per voxel and its value per unit.
int64_t pattern_key(int64_t x, int64_t y, int64_t z, int64_t c) { return x * 7 + y * 131 + z * 1031 + c * 4099 + 17; }

void fill(QelRawVolumeData* v) {
    const QelSize4i& s = *v->size;
    for (int c = 0; c < s.nChannels; ++c)
        for (int z = 0; z < s.nz; ++z)
            for (int y = 0; y < s.ny; ++y)
                for (int x = 0; x < s.nx; ++x) {
                    const int64_t k = pattern_key(x, y, z, c);
                    const int64_t i = x + int64_t(s.nx) * (y + int64_t(s.ny) * z);
                    switch (v->unit[c]) {
                        case 0: static_cast<uint8_t*>(v->data[c])[i] = static_cast<uint8_t>(k % 256); break;
                        case 3: static_cast<int16_t*>(v->data[c])[i] = static_cast<int16_t>(k * 37 % 65536 - 32768); break;
                        case 5:
                            static_cast<int32_t*>(v->data[c])[i] =
                                static_cast<int32_t>(static_cast<uint32_t>(k * 2654435761LL));
                            break;
                    }
                }
}

int write_pair(char** argv) {
    const std::string base = argv[2];
    const int unit = std::atoi(argv[3]);
    const QelSize4i size{std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]), std::atoi(argv[7])};
    const float voxel = std::strtof(argv[8], nullptr);
    const bool turn = std::atoi(argv[9]) == 1;
    if (size.nChannels < 1 || size.nChannels > QEL_ANALYZE_MAX_CHANNELS) return 1;
    int units[QEL_ANALYZE_MAX_CHANNELS], attributes[QEL_ANALYZE_MAX_CHANNELS];
    for (int c = 0; c < size.nChannels; ++c) {
        units[c] = unit;
        attributes[c] = 0;
    }
    QelRawVolumeData* v = QEL_NewRawVolumeData(&size, units, attributes);
    if (!v) return 1;
    fill(v);
    AnalyzeHeader h;
    int rc = 1;
    if (IsExportableVolume(v) && (!turn || QEL_RotateRawVolumeData180(v, "X") == 0) &&
        MakeAnalyzeHeader(&h, v, voxel) == 0) {
        FILE* hdr = std::fopen((base + ".hdr").c_str(), "wb");
        FILE* img = std::fopen((base + ".img").c_str(), "wb");
        if (hdr && img && QEL_WriteAnalyzeHeader(hdr, &h) == 0 && QEL_WriteAnalyzeData(img, v) == 0) rc = 0;
        if (hdr && std::fclose(hdr) != 0) rc = 1;
        if (img && std::fclose(img) != 0) rc = 1;
    }
    QEL_DeleteRawVolumeData(v);
    return rc;
}

int read_pair(char** argv) {
    FILE* hdr = std::fopen(argv[2], "rb");
    if (!hdr) return 1;
    AnalyzeHeader h;
    const int got = QEL_ReadAnalyzeHeader(hdr, &h);
    std::fclose(hdr);
    if (got != 0) return 1;
    QelRawVolumeData* v = QEL_NewRawVolumeDataOfAnalyzeHeader(&h);
    if (!v) return 1;
    int rc = 1;
    if (FILE* img = std::fopen(argv[3], "rb")) {
        if (QEL_ReadAnalyzeData(img, &h, v) == 0) {
            const QelSize4i& s = *v->size;
            std::printf("%d %d %d %d %d\n", s.nx, s.ny, s.nz, s.nChannels, v->unit[0]);
            rc = 0;
            for (int c = 0; c < s.nChannels; ++c) {
                const size_t bytes = size_t(s.nx) * s.ny * s.nz * QEL_GetVoxelUnitSize(v->unit[c]);
                if (std::fwrite(v->data[c], 1, bytes, stdout) != bytes) rc = 1;
            }
        }
        std::fclose(img);
    }
    QEL_DeleteRawVolumeData(v);
    return std::fflush(stdout) == 0 ? rc : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 10 && std::strcmp(argv[1], "write") == 0) return write_pair(argv);
    if (argc == 4 && std::strcmp(argv[1], "read") == 0) return read_pair(argv);
    std::fprintf(stderr, "usage: %s write BASE UNIT NX NY NZ CHANNELS VOXELSIZE TURN | read HDR IMG\n", argv[0]);
    return 1;
}
