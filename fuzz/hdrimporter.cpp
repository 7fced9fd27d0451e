// hdrimporter's import path up to the transfer, on any bytes: the first 348 of them the header
// file and the rest the data file of a pair. The pair is read and turned as the program does,
// resampled to cubic voxels when its spacings differ (as after a "yes", and only while the
// result stays small), and packed as the transfer sends it; that payload unpacks to the same
// bytes again.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analyze_cost.hpp"
#include "fuzz_support.hpp"
#include "ipc/qel_board_formats.h"
#include "programs/hdrimporter/hdrimporter.h"
#include "volume/qel_checked.hpp"

namespace {

// Resampling grows a volume by its spacings' ratios; beyond this the harness says "no".
constexpr int64_t kResampleBudget = int64_t{64} << 20;
// Packing and unpacking again stays with smaller volumes; larger ones (up to 64 MiB filled in)
// are only sized.
constexpr int kRoundTripBytes = 1 << 20;

// The pair's names in a scratch directory are links to in-memory files, so that an input
// costs no disk writes.
struct Pair {
    fuzz::MemFile hdr{"hdrimporter-hdr"}, img{"hdrimporter-img"};
    std::string dir, name;
    Pair() {
        char templ[] = "/tmp/qel-fuzz-hdrimporter-XXXXXX";
        fuzz::check(mkdtemp(templ) != nullptr, "mkdtemp");
        dir = templ;
        fuzz::check(symlink(hdr.path(), (dir + "/pair.hdr").c_str()) == 0 &&
                        symlink(img.path(), (dir + "/pair.img").c_str()) == 0,
                    "symlink");
        name = dir + "/pair.img";
    }
    ~Pair() {
        unlink((dir + "/pair.hdr").c_str());
        unlink((dir + "/pair.img").c_str());
        rmdir(dir.c_str());
    }
};

std::vector<uint8_t> payload(const QelRawVolumeData* vol) {
    const int n = QELipc_SizeOfRawVolumeData(vol);
    std::vector<uint8_t> bytes(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0) fuzz::check(QELipc_PackRawVolumeData(vol, bytes.data()) == 0, "a volume that sizes packs");
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Pair pair;
    const size_t headerBytes = std::min<size_t>(size, QEL_ANALYZE_HEADER_SIZE);
    pair.hdr.set(data, headerBytes);
    pair.img.set(data + headerBytes, size - headerBytes);

    // Pairs whose data file is accepted but whose volume is costly are left out (analyze_cost.hpp).
    if (headerBytes == QEL_ANALYZE_HEADER_SIZE) {
        AnalyzeHeader peek;
        QEL_UnpackAnalyzeHeader(data, &peek);
        FILE* img = std::fopen(pair.img.path(), "rb");
        const bool accepted = QEL_CheckAnalyzeDataFile(img, &peek) == 0;
        std::fclose(img);
        if (accepted && !fuzz::volume_within_budget(peek)) return 0;
    }
    char name[HDRIMPORTER_NAME_SIZE];
    std::snprintf(name, sizeof name, "%s", pair.name.c_str());
    AnalyzeHeader hdr;
    QelRawVolumeData* vol = ReadAnalyzePair(name, &hdr);
    if (!vol) return 0;

    const float* spacing = &hdr.dime.pixdim[1];
    int newSize[3];
    if ((spacing[0] != spacing[1] || spacing[0] != spacing[2]) &&
        GetCubicVoxelSize(vol->size, spacing, newSize, nullptr) == 0) {
        const auto bytes = qel::checked_product({newSize[0], newSize[1], newSize[2], vol->size->nChannels,
                                                 QEL_GetVoxelUnitSize(vol->unit[0])});
        float voxelSize = spacing[0];
        if (bytes && *bytes <= kResampleBudget) ResampleToCubicVoxels(vol, spacing, &voxelSize);
    }

    if (QELipc_SizeOfRawVolumeData(vol) > kRoundTripBytes) {
        fuzz::check(QELipc_SizeOfRawVolumeData(vol) > 0, "an imported volume can be transferred");
        QEL_DeleteRawVolumeData(vol);
        return 0;
    }
    const std::vector<uint8_t> sent = payload(vol);
    fuzz::check(!sent.empty(), "an imported volume can be transferred");
    QelRawVolumeData* back = QELipc_UnpackRawVolumeData(sent.data(), sent.size());
    fuzz::check(back != nullptr && payload(back) == sent, "the transfer's payload unpacks to the same bytes");
    QEL_DeleteRawVolumeData(back);
    QEL_DeleteRawVolumeData(vol);
    return 0;
}
