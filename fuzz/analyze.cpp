// ANALYZE 7.5 files: the header reader and the data reader on any bytes, the first 348 of them
// the header file and the rest the data file. A header reads back to the same 348 bytes; a data
// file that the size check lets through reads completely, and writing the volume gives the
// file's voxels from the data offset on, with zeros where the file ended.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "analyze_cost.hpp"
#include "fuzz_support.hpp"
#include "gui/qel_analyze.h"

namespace {

constexpr int64_t kCompareBytes = int64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemFile hdrFile("analyze-hdr"), imgFile("analyze-img"), outFile("analyze-out");
    const size_t headerBytes = std::min<size_t>(size, QEL_ANALYZE_HEADER_SIZE);
    hdrFile.set(data, headerBytes);
    imgFile.set(data + headerBytes, size - headerBytes);

    AnalyzeHeader hdr;
    FILE* file = std::fopen(hdrFile.path(), "rb");
    const int read = QEL_ReadAnalyzeHeader(file, &hdr);
    std::fclose(file);
    fuzz::check((read == 0) == (headerBytes == QEL_ANALYZE_HEADER_SIZE), "a header is read when all of it is there");
    if (read != 0) return 0;
    unsigned char again[QEL_ANALYZE_HEADER_SIZE];
    QEL_PackAnalyzeHeader(&hdr, again);
    fuzz::check(std::memcmp(again, data, sizeof again) == 0, "a header packs to the bytes it was read from");

    file = std::fopen(imgFile.path(), "rb");
    if (QEL_CheckAnalyzeDataFile(file, &hdr) == 0 && fuzz::volume_within_budget(hdr)) {
        // Up to 64 MiB may be filled in; the write-back check stays with smaller volumes.
        const bool compare = QEL_GetAnalyzeDataSize(&hdr) <= kCompareBytes;
        QelRawVolumeData* vol = QEL_NewRawVolumeDataOfAnalyzeHeader(&hdr);
        fuzz::check(vol != nullptr, "a header whose data file passes the check gets its volume");
        fuzz::check(QEL_ReadAnalyzeData(file, &hdr, vol) == 0, "a data file that passes the check reads");
        if (!compare) {
            QEL_DeleteRawVolumeData(vol);
            std::fclose(file);
            return 0;
        }
        FILE* out = std::fopen(outFile.path(), "wb");
        fuzz::check(QEL_WriteAnalyzeData(out, vol) == 0, "a volume read can be written");
        std::fclose(out);
        const std::vector<uint8_t> written = outFile.get();
        fuzz::check(static_cast<int64_t>(written.size()) == QEL_GetAnalyzeDataSize(&hdr), "all voxels are written");
        const uint8_t* img = data + headerBytes;
        const size_t imgBytes = size - headerBytes;
        const int64_t offset = QEL_GetAnalyzeDataOffset(&hdr);
        const size_t held = offset < static_cast<int64_t>(imgBytes) ? imgBytes - static_cast<size_t>(offset) : 0;
        const size_t kept = std::min(held, written.size());
        fuzz::check(kept == 0 || std::memcmp(written.data(), img + offset, kept) == 0, "voxels are the file's bytes");
        fuzz::check(std::all_of(written.begin() + static_cast<std::ptrdiff_t>(kept), written.end(),
                                [](uint8_t b) { return b == 0; }),
                    "voxels past the end of the file are 0");
        QEL_DeleteRawVolumeData(vol);
    }
    std::fclose(file);
    return 0;
}
