// ANALYZE 7.5 header and voxel files: the header record laid out field by field at its file
// offsets, the datatype codes, and the voxel file as the channel blocks one after another.
#include "gui/qel_analyze.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <sys/types.h>

#include "gui/qel_file_bytes.hpp"
#include "volume/qel_channel_list.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_units.h"

// Both files hold the machine's own byte order, which the format fixes as little-endian.
static_assert(std::endian::native == std::endian::little, "ANALYZE files are read and written little-endian");

namespace {

// Calls fn(offset, field) for every field of the header in file order: the one place where
// the byte offsets are written down. H is AnalyzeHeader or const AnalyzeHeader.
template <class H, class Fn>
constexpr void for_each_field(H& h, Fn&& fn) {
    auto& k = h.hk;
    fn(0, k.sizeof_hdr);
    fn(4, k.data_type);
    fn(14, k.db_name);
    fn(32, k.extents);
    fn(36, k.session_error);
    fn(38, k.regular);
    fn(39, k.hkey_un0);
    auto& d = h.dime;
    fn(40, d.dim);
    fn(56, d.vox_units);
    fn(60, d.cal_units);
    fn(68, d.unused1);
    fn(70, d.datatype);
    fn(72, d.bitpix);
    fn(74, d.dim_un0);
    fn(76, d.pixdim);
    fn(108, d.vox_offset);
    fn(112, d.funused1);
    fn(116, d.funused2);
    fn(120, d.funused3);
    fn(124, d.cal_max);
    fn(128, d.cal_min);
    fn(132, d.compressed);
    fn(136, d.verified);
    fn(140, d.glmax);
    fn(144, d.glmin);
    auto& s = h.hist;
    fn(148, s.descrip);
    fn(228, s.aux_file);
    fn(252, s.orient);
    fn(253, s.originator);
    fn(263, s.generated);
    fn(273, s.scannum);
    fn(283, s.patient_id);
    fn(293, s.exp_date);
    fn(303, s.exp_time);
    fn(313, s.hist_un0);
    fn(316, s.views);
    fn(320, s.vols_added);
    fn(324, s.start_field);
    fn(328, s.field_skip);
    fn(332, s.omax);
    fn(336, s.omin);
    fn(340, s.smax);
    fn(344, s.smin);
}

// The fields tile the 348 bytes exactly, without gaps or overlaps.
constexpr bool fields_tile_header() {
    AnalyzeHeader h{};
    int next = 0;
    bool ok = true;
    for_each_field(h, [&](int offset, auto& field) {
        ok = ok && offset == next;
        next = offset + static_cast<int>(sizeof field);
    });
    return ok && next == QEL_ANALYZE_HEADER_SIZE;
}
static_assert(fields_tile_header(), "ANALYZE header fields must cover bytes 0-347 in order");

// Datatype and bits per voxel written for a unit; datatype -1 for a unit never written.
struct Datatype {
    int16_t code;
    int16_t bitpix;
};

Datatype datatype_of_unit(int unit) {
    switch (unit) {
        case QEL_VOXEL_UNIT_UINT8: return {2, 8};
        case QEL_VOXEL_UNIT_INT16: return {4, 16};
        case QEL_VOXEL_UNIT_INT32: return {8, 32};
        default: return {-1, 0};
    }
}

bool is_volume(const QelRawVolumeData* vol) {
    return vol && vol->size && vol->unit && vol->attribute && vol->data && vol->size->nChannels >= 0;
}

// Bytes of channel c's block; nullopt when it cannot be represented in memory.
std::optional<size_t> block_bytes(const QelRawVolumeData* vol, int c) {
    const auto voxels = qel::checked_product({vol->size->nx, vol->size->ny, vol->size->nz});
    if (!voxels) return std::nullopt;
    const auto bytes = qel::channel_bytes(*voxels, vol->unit[c]);
    if (!bytes || static_cast<uint64_t>(*bytes) > SIZE_MAX) return std::nullopt;
    return static_cast<size_t>(*bytes);
}

// A 16-bit field keeps the low 16 bits of the value.
int16_t low16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

}  // namespace

int IsExportableVolume(const QelRawVolumeData* vol) {
    if (!is_volume(vol) || vol->size->nChannels < 1) return 0;
    const QelSize4i& s = *vol->size;
    for (int n : {s.nx, s.ny, s.nz, s.nChannels})
        if (n < 1 || n > QEL_ANALYZE_MAX_DIMENSION) return 0;
    const int unit = vol->unit[0];
    const int attribute = vol->attribute[0];
    for (int c = 1; c < s.nChannels; ++c)
        if (vol->unit[c] != unit || vol->attribute[c] != attribute) return 0;
    return datatype_of_unit(unit).code > 0 ? 1 : 0;
}

int MakeAnalyzeHeader(AnalyzeHeader* hdr, const QelRawVolumeData* vol, float voxelSize) {
    if (!hdr || !is_volume(vol) || vol->size->nChannels < 1) return -1;
    std::memset(hdr, 0, sizeof *hdr);
    const Datatype type = datatype_of_unit(vol->unit[0]);
    hdr->hk.sizeof_hdr = QEL_ANALYZE_HEADER_SIZE;
    hdr->hk.regular = 'r';
    AnalyzeImageDimension& d = hdr->dime;
    d.dim[0] = 4;
    d.dim[1] = low16(vol->size->nx);
    d.dim[2] = low16(vol->size->ny);
    d.dim[3] = low16(vol->size->nz);
    d.dim[4] = low16(vol->size->nChannels);
    d.datatype = type.code;
    d.bitpix = type.bitpix;
    d.pixdim[1] = voxelSize;
    d.pixdim[2] = voxelSize;
    d.pixdim[3] = voxelSize;
    if (type.code > 0) {
        d.glmax = 0;
        d.glmin = 255;
    }
    return 0;
}

void QEL_PackAnalyzeHeader(const AnalyzeHeader* hdr, unsigned char bytes[QEL_ANALYZE_HEADER_SIZE]) {
    if (!hdr || !bytes) return;
    for_each_field(*hdr, [&](int offset, const auto& field) { std::memcpy(bytes + offset, &field, sizeof field); });
}

void QEL_UnpackAnalyzeHeader(const unsigned char bytes[QEL_ANALYZE_HEADER_SIZE], AnalyzeHeader* hdr) {
    if (!hdr || !bytes) return;
    for_each_field(*hdr, [&](int offset, auto& field) { std::memcpy(&field, bytes + offset, sizeof field); });
}

int QEL_WriteAnalyzeHeader(FILE* file, const AnalyzeHeader* hdr) {
    if (!file || !hdr) return -1;
    unsigned char bytes[QEL_ANALYZE_HEADER_SIZE];
    QEL_PackAnalyzeHeader(hdr, bytes);
    if (std::fwrite(bytes, 1, sizeof bytes, file) != sizeof bytes) return -1;
    return std::fflush(file) == 0 && !std::ferror(file) ? 0 : -1;
}

int QEL_ReadAnalyzeHeader(FILE* file, AnalyzeHeader* hdr) {
    if (!hdr) return -1;
    std::memset(hdr, 0, sizeof *hdr);
    if (!file) return -1;
    unsigned char bytes[QEL_ANALYZE_HEADER_SIZE];
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) return -1;
    QEL_UnpackAnalyzeHeader(bytes, hdr);
    return 0;
}

int QEL_GetVoxelUnitOfAnalyzeDatatype(int datatype) {
    switch (datatype) {
        case 2: return QEL_VOXEL_UNIT_UINT8;
        case 4: return QEL_VOXEL_UNIT_INT16;
        case 8: return QEL_VOXEL_UNIT_INT32;
        case 16: return QEL_VOXEL_UNIT_FLOAT32;
        default: return -1;
    }
}

int QEL_GetSizeOfAnalyzeHeader(const AnalyzeHeader* hdr, QelSize4i* size) {
    if (!hdr || !size) return -1;
    const int16_t* dim = hdr->dime.dim;
    // Single-volume files often leave the fourth dimension 0.
    const int channels = dim[4] == 0 ? 1 : dim[4];
    if (channels < 1 || channels > QEL_ANALYZE_MAX_CHANNELS) return -1;
    if (!qel::checked_voxels({dim[1], dim[2], dim[3]})) return -1;
    *size = {dim[1], dim[2], dim[3], channels};
    return 0;
}

QelRawVolumeData* QEL_NewRawVolumeDataOfAnalyzeHeader(const AnalyzeHeader* hdr) {
    QelSize4i size;
    if (QEL_GetSizeOfAnalyzeHeader(hdr, &size) != 0) return nullptr;
    const int unit = QEL_GetVoxelUnitOfAnalyzeDatatype(hdr->dime.datatype);
    if (unit < 0) return nullptr;
    int units[QEL_ANALYZE_MAX_CHANNELS];
    int attributes[QEL_ANALYZE_MAX_CHANNELS];
    for (int c = 0; c < size.nChannels; ++c) {
        units[c] = unit;
        attributes[c] = QEL_ATTRIBUTE_PLAIN;
    }
    return QEL_NewRawVolumeData(&size, units, attributes);
}

int64_t QEL_GetAnalyzeDataSize(const AnalyzeHeader* hdr) {
    QelSize4i size;
    if (QEL_GetSizeOfAnalyzeHeader(hdr, &size) != 0) return -1;
    const int unit = QEL_GetVoxelUnitOfAnalyzeDatatype(hdr->dime.datatype);
    if (unit < 0) return -1;
    // At most 256 channels of 2^31 voxels of 4 bytes: no overflow.
    return qel::checked_product({size.nx, size.ny, size.nz, size.nChannels, QEL_GetVoxelUnitSize(unit)}).value_or(-1);
}

int QEL_CheckAnalyzeDataFile(FILE* file, const AnalyzeHeader* hdr) {
    const int64_t wanted = QEL_GetAnalyzeDataSize(hdr);
    if (!file || wanted < 0) return -1;
    return qel::missing_part_allowed(wanted, qel::file_bytes_from(file, QEL_GetAnalyzeDataOffset(hdr))) ? 0 : -1;
}

int64_t QEL_GetAnalyzeDataOffset(const AnalyzeHeader* hdr) {
    if (!hdr) return 0;
    const double v = hdr->dime.vox_offset;
    // NaN and the infinities fail the first test; fractions and negatives are not offsets.
    if (!std::isfinite(v) || v < 0.0 || std::floor(v) != v) return 0;
    if (v >= 9223372036854775808.0) return INT64_MAX;
    return static_cast<int64_t>(v);
}

int QEL_WriteAnalyzeData(FILE* file, const QelRawVolumeData* vol) {
    if (!file || !is_volume(vol)) return -1;
    for (int c = 0; c < vol->size->nChannels; ++c) {
        const auto bytes = block_bytes(vol, c);
        if (!bytes) return -1;
        if (*bytes > 0 && std::fwrite(vol->data[c], 1, *bytes, file) != *bytes) return -1;
    }
    return std::fflush(file) == 0 && !std::ferror(file) ? 0 : -1;
}

int QEL_ReadAnalyzeData(FILE* file, const AnalyzeHeader* hdr, QelRawVolumeData* vol) {
    if (!file || !hdr || !is_volume(vol)) return -1;
    const int64_t offset = QEL_GetAnalyzeDataOffset(hdr);
    // An offset at or past the end of a file is not sought at all (some file systems fail a
    // read there instead of reporting its end); one that cannot be sought lies past it too.
    bool at_end = qel::file_bytes_from(file, offset) == 0 ||
                  offset > static_cast<int64_t>(std::numeric_limits<off_t>::max()) ||
                  fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0;
    bool failed = false;
    for (int c = 0; c < vol->size->nChannels; ++c) {
        const auto bytes = block_bytes(vol, c);
        if (!bytes) return -1;
        auto* block = static_cast<unsigned char*>(vol->data[c]);
        size_t got = 0;
        if (!at_end && *bytes > 0) {
            got = std::fread(block, 1, *bytes, file);
            if (got < *bytes) {
                at_end = true;
                failed = std::ferror(file) != 0;
            }
        }
        // Whatever the file did not hold is 0, whatever the block held before.
        if (got < *bytes) std::memset(block + got, 0, *bytes - got);
    }
    return failed ? -1 : 0;
}

int QEL_SetAnalyzeFileSuffix(char* name, const char* suffix) {
    if (!name || !suffix || std::strlen(suffix) != 3) return -1;
    const size_t length = std::strlen(name);
    if (length < 3) return -1;
    char* tail = name + length - 3;
    for (int i = 0; i < 3; ++i) {
        const char c = suffix[i];
        const bool upper = tail[i] >= 'A' && tail[i] <= 'Z';
        // ASCII only, whatever the locale: the suffixes are plain letters.
        if (upper && c >= 'a' && c <= 'z')
            tail[i] = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            tail[i] = static_cast<char>(c - 'A' + 'a');
        else
            tail[i] = c;
    }
    return 0;
}
