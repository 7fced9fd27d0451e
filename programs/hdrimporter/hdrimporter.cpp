// hdrimporter: reading an ANALYZE 7.5 pair into the host's orientation and resampling it to
// cubic voxels. No GTK here: the run with its dialogs is hdrimporter_run.cpp.
#include "programs/hdrimporter/hdrimporter.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "filters/qel_resample.h"
#include "filters/qel_rotate.h"
#include "volume/qel_checked.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_units.h"

namespace {

constexpr int kFloatDatatype = 16;
constexpr int kLinear = 1;

QelRawVolumeData* fail(QelRawVolumeData* vol, const char* line) {
    if (line) std::fputs(line, stderr);
    QEL_DeleteRawVolumeData(vol);
    return nullptr;
}

}  // namespace

float GetMinimumOfThree(const float v[3], int* index) {
    int i;
    if (v[0] < v[1])
        i = v[0] < v[2] ? 0 : 2;
    else
        i = v[1] < v[2] ? 1 : 2;
    if (index) *index = i;
    return v[i];
}

QelRawVolumeData* ReadAnalyzePair(char* name, AnalyzeHeader* hdr) {
    std::memset(hdr, 0, sizeof *hdr);
    // A name of fewer than three characters has no suffix to replace: no header file by it.
    if (QEL_SetAnalyzeFileSuffix(name, "hdr") != 0) return fail(nullptr, "hdr file not found\n");
    FILE* file = std::fopen(name, "rb");
    if (!file) return fail(nullptr, "hdr file not found\n");
    // A short header reads as all zero, so its datatype 0 is refused below.
    QEL_ReadAnalyzeHeader(file, hdr);
    std::fclose(file);

    const AnalyzeImageDimension& d = hdr->dime;
    std::fprintf(stderr, "hdr.dime.datatype: %d\n", d.datatype);
    std::fprintf(stderr, "Matrix size: %d x %d x%d x %d\n", d.dim[1], d.dim[2], d.dim[3], d.dim[4]);
    if (QEL_GetVoxelUnitOfAnalyzeDatatype(d.datatype) < 0) return fail(nullptr, "Unsupported unit type\n");

    // Dimensions <= 0, more channels than the unit tables hold, and more than memory may give
    // for what a header says are all a volume that cannot be made.
    const int64_t dataBytes = QEL_GetAnalyzeDataSize(hdr);
    if (dataBytes < 0 || !qel::fits_memory(dataBytes)) return fail(nullptr, "Memory full\n");

    QEL_SetAnalyzeFileSuffix(name, "img");
    file = std::fopen(name, "rb");
    if (!file) return fail(nullptr, nullptr);
    // What a short file does not hold reads as 0, but only while little is missing: a header
    // alone must not make the program allocate and send gigabytes of zeros.
    if (QEL_CheckAnalyzeDataFile(file, hdr) != 0) {
        std::fclose(file);
        return fail(nullptr, "Data file too short\n");
    }
    QelRawVolumeData* vol = QEL_NewRawVolumeDataOfAnalyzeHeader(hdr);
    if (!vol) {
        std::fclose(file);
        return fail(nullptr, "Memory full\n");
    }
    QEL_ReadAnalyzeData(file, hdr, vol);
    std::fclose(file);

    if (d.datatype == kFloatDatatype) {
        std::fprintf(stderr, "float volume. converted\n");
        const QelValueRange int16Range{-32768.0f, 32767.0f};
        for (int c = 0; c < vol->size->nChannels; ++c)
            if (QEL_ConvertVoxelUnit(vol, c, QEL_VOXEL_UNIT_INT16, nullptr, &int16Range, QEL_MAP_CLAMP) != 0)
                return fail(vol, "Memory full\n");
    }
    // A turn fails only for lack of memory; a volume left half turned must not reach the host.
    if (QEL_RotateRawVolumeData180(vol, "X") != 0) return fail(vol, "Memory full\n");
    return vol;
}

int GetCubicVoxelSize(const QelSize4i* size, const float spacing[3], int newSize[3], int* index) {
    if (!size || !spacing || !newSize) return -1;
    for (int i = 0; i < 3; ++i)
        if (!(spacing[i] > 0.0f) || !std::isfinite(spacing[i])) return -1;
    int smallest;
    const double s = 1.0 / GetMinimumOfThree(spacing, &smallest);
    const int extent[3] = {size->nx, size->ny, size->nz};
    int result[3];
    for (int i = 0; i < 3; ++i) {
        const double n = std::round(extent[i] * (spacing[i] * s));
        if (!(n >= 0.0 && n <= INT_MAX)) return -1;
        result[i] = static_cast<int>(n);
    }
    std::memcpy(newSize, result, sizeof result);
    if (index) *index = smallest;
    return 0;
}

int ResampleToCubicVoxels(QelRawVolumeData* vol, const float spacing[3], float* voxelSize) {
    if (!vol || !voxelSize) return -1;
    int newSize[3];
    int smallest;
    if (GetCubicVoxelSize(vol->size, spacing, newSize, &smallest) != 0) return -1;
    if (QEL_ResizeRawVolumeData(vol, newSize, kLinear) != 0) return -1;
    *voxelSize = spacing[smallest];
    return 0;
}
