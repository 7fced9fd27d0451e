// The 348-byte header against bytes laid down by hand from the published field table, the
// export rule, and the datatype codes in both directions.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>

#include "analyze/analyze_support.hpp"
#include "gui/qel_analyze.h"

using namespace analyzetest;

namespace {

using Bytes = std::array<unsigned char, 348>;

// Little-endian stores written out byte by byte.
void put16(Bytes& b, int at, int v) {
    b[at] = static_cast<unsigned char>(v & 0xff);
    b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xff);
}
void put32(Bytes& b, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>((v >> (8 * i)) & 0xff);
}
void putf(Bytes& b, int at, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(b, at, bits);
}
int get16(const Bytes& b, int at) { return int16_t(b[at] | (b[at + 1] << 8)); }

// The header the exporter writes for these values, from the field table alone.
Bytes expected_header(int nx, int ny, int nz, int channels, int datatype, int bitpix, float voxel) {
    Bytes b{};
    put32(b, 0, 348);
    b[38] = 'r';
    put16(b, 40, 4);
    put16(b, 42, nx);
    put16(b, 44, ny);
    put16(b, 46, nz);
    put16(b, 48, channels);
    put16(b, 70, datatype);
    put16(b, 72, bitpix);
    putf(b, 80, voxel);
    putf(b, 84, voxel);
    putf(b, 88, voxel);
    put32(b, 140, 0);
    put32(b, 144, 255);
    return b;
}

Bytes packed(const AnalyzeHeader& h) {
    Bytes b;
    b.fill(0xEE);
    QEL_PackAnalyzeHeader(&h, b.data());
    return b;
}

Volume plain_volume(int nx, int ny, int nz, const std::vector<int>& units, const std::vector<int>& attributes = {}) {
    return random_volume(nx, ny, nz, units, 3, attributes);
}

}  // namespace

TEST(AnalyzeHeader, ExporterHeadersAreByteExact) {
    struct Case {
        int nx, ny, nz;
        std::vector<int> units;
        float voxel;
        int datatype, bitpix;
    };
    const Case cases[] = {
        {64, 64, 30, {3}, 1.5f, 4, 16},
        {128, 128, 64, {0}, 0.8f, 2, 8},
        {5, 6, 7, {0, 0, 0}, 2.0f, 2, 8},
        {3, 2, 1, {5, 5}, 0.25f, 8, 32},
        {32767, 1, 1, {3}, -0.0f, 4, 16},
    };
    for (const Case& k : cases) {
        Volume v = plain_volume(k.nx, k.ny, k.nz, k.units);
        ASSERT_TRUE(v);
        ASSERT_EQ(IsExportableVolume(v.get()), 1);
        AnalyzeHeader h;
        std::memset(&h, 0x5A, sizeof h);  // every byte must be set, whatever was there
        ASSERT_EQ(MakeAnalyzeHeader(&h, v.get(), k.voxel), 0);
        const Bytes want = expected_header(k.nx, k.ny, k.nz, int(k.units.size()), k.datatype, k.bitpix, k.voxel);
        EXPECT_EQ(packed(h), want) << k.nx << "x" << k.ny << "x" << k.nz;
    }
    // The documented one-channel Int16 case, field by field.
    Volume v = plain_volume(64, 64, 30, {3});
    AnalyzeHeader h;
    MakeAnalyzeHeader(&h, v.get(), 1.5f);
    const Bytes b = packed(h);
    EXPECT_EQ(get16(b, 40), 4);
    EXPECT_EQ(get16(b, 42), 64);
    EXPECT_EQ(get16(b, 44), 64);
    EXPECT_EQ(get16(b, 46), 30);
    EXPECT_EQ(get16(b, 48), 1);
    EXPECT_EQ(h.dime.datatype, 4);
    EXPECT_EQ(h.dime.bitpix, 16);
    EXPECT_EQ(h.dime.pixdim[1], 1.5f);
    EXPECT_EQ(h.dime.pixdim[2], 1.5f);
    EXPECT_EQ(h.dime.pixdim[3], 1.5f);
    EXPECT_EQ(h.hk.sizeof_hdr, 348);
    EXPECT_EQ(h.hk.regular, 'r');
}

TEST(AnalyzeHeader, UnitsNeverWrittenGetDatatypeMinusOne) {
    Volume v = plain_volume(2, 2, 2, {6});
    AnalyzeHeader h;
    ASSERT_EQ(MakeAnalyzeHeader(&h, v.get(), 1.0f), 0);
    EXPECT_EQ(h.dime.datatype, -1);
    EXPECT_EQ(h.dime.bitpix, 0);
    EXPECT_EQ(h.dime.glmin, 0);
    EXPECT_EQ(MakeAnalyzeHeader(nullptr, v.get(), 1.0f), -1);
    EXPECT_EQ(MakeAnalyzeHeader(&h, nullptr, 1.0f), -1);
}

TEST(AnalyzeHeader, EveryFieldSitsAtItsPublishedOffset) {
    // Random file bytes: unpacking puts each field's bytes where the table says, and packing
    // gives back every one of the 348 bytes.
    std::mt19937 rng(11);
    for (int round = 0; round < 4; ++round) {
        Bytes file;
        for (auto& x : file) x = static_cast<unsigned char>(rng());
        AnalyzeHeader h;
        QEL_UnpackAnalyzeHeader(file.data(), &h);
        EXPECT_EQ(packed(h), file);

        auto at = [&](int offset, const void* field, size_t width) {
            EXPECT_EQ(std::memcmp(field, file.data() + offset, width), 0) << "offset " << offset;
        };
        at(0, &h.hk.sizeof_hdr, 4);
        at(4, h.hk.data_type, 10);
        at(14, h.hk.db_name, 18);
        at(32, &h.hk.extents, 4);
        at(36, &h.hk.session_error, 2);
        at(38, &h.hk.regular, 1);
        at(39, &h.hk.hkey_un0, 1);
        for (int i = 0; i < 8; ++i) at(40 + 2 * i, &h.dime.dim[i], 2);
        at(56, h.dime.vox_units, 4);
        at(60, h.dime.cal_units, 8);
        at(68, &h.dime.unused1, 2);
        at(70, &h.dime.datatype, 2);
        at(72, &h.dime.bitpix, 2);
        at(74, &h.dime.dim_un0, 2);
        for (int i = 0; i < 8; ++i) at(76 + 4 * i, &h.dime.pixdim[i], 4);
        at(108, &h.dime.vox_offset, 4);
        at(112, &h.dime.funused1, 4);
        at(116, &h.dime.funused2, 4);
        at(120, &h.dime.funused3, 4);
        at(124, &h.dime.cal_max, 4);
        at(128, &h.dime.cal_min, 4);
        at(132, &h.dime.compressed, 4);
        at(136, &h.dime.verified, 4);
        at(140, &h.dime.glmax, 4);
        at(144, &h.dime.glmin, 4);
        at(148, h.hist.descrip, 80);
        at(228, h.hist.aux_file, 24);
        at(252, &h.hist.orient, 1);
        at(253, h.hist.originator, 10);
        at(263, h.hist.generated, 10);
        at(273, h.hist.scannum, 10);
        at(283, h.hist.patient_id, 10);
        at(293, h.hist.exp_date, 10);
        at(303, h.hist.exp_time, 10);
        at(313, h.hist.hist_un0, 3);
        at(316, &h.hist.views, 4);
        at(320, &h.hist.vols_added, 4);
        at(324, &h.hist.start_field, 4);
        at(328, &h.hist.field_skip, 4);
        at(332, &h.hist.omax, 4);
        at(336, &h.hist.omin, 4);
        at(340, &h.hist.smax, 4);
        at(344, &h.hist.smin, 4);
    }
}

TEST(AnalyzeHeader, ExportRule) {
    // Exportable: one common unit among Uint8, Int16, Int32 with one common attribute.
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {0}).get()), 1);
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {3, 3}).get()), 1);
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {5, 5, 5}).get()), 1);
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {0, 0, 0}).get()), 1);
    // Units that differ, attributes that differ, units never written.
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {3, 0}).get()), 0);
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {0, 0}, {0, 2}).get()), 0);
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {0, 0}, {2, 2}).get()), 1);  // compared, not tested
    for (int unit : {1, 2, 4, 6, 7}) EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {unit}).get()), 0) << unit;
    EXPECT_EQ(IsExportableVolume(plain_volume(2, 3, 4, {4}, {2}).get()), 0);  // packed RGBA
    EXPECT_EQ(IsExportableVolume(nullptr), 0);
    // Sizes the 16-bit fields cannot carry.
    EXPECT_EQ(IsExportableVolume(plain_volume(32767, 1, 2, {0}).get()), 1);
    EXPECT_EQ(IsExportableVolume(plain_volume(32768, 1, 1, {0}).get()), 0);
    EXPECT_EQ(IsExportableVolume(plain_volume(1, 32768, 1, {0}).get()), 0);
    EXPECT_EQ(IsExportableVolume(plain_volume(1, 1, 32768, {0}).get()), 0);
    EXPECT_EQ(IsExportableVolume(plain_volume(1, 1, 1, std::vector<int>(32767, 0)).get()), 1);
    EXPECT_EQ(IsExportableVolume(plain_volume(1, 1, 1, std::vector<int>(32768, 0)).get()), 0);
}

TEST(AnalyzeHeader, DatatypeCodesWhenReading) {
    EXPECT_EQ(QEL_GetVoxelUnitOfAnalyzeDatatype(2), 0);
    EXPECT_EQ(QEL_GetVoxelUnitOfAnalyzeDatatype(4), 3);
    EXPECT_EQ(QEL_GetVoxelUnitOfAnalyzeDatatype(8), 5);
    EXPECT_EQ(QEL_GetVoxelUnitOfAnalyzeDatatype(16), 6);
    for (int code : {0, 1, 32, 64, 128, 255, 256, 512, 1024, 2048, -1, 6, 3})
        EXPECT_EQ(QEL_GetVoxelUnitOfAnalyzeDatatype(code), -1) << code;
}

TEST(AnalyzeHeader, BigEndianHeadersReadByteSwapped) {
    // A header written the other way round: datatype 2 reads as 512 and is refused.
    Bytes b{};
    auto put16be = [&](int at, int v) {
        b[at] = static_cast<unsigned char>((v >> 8) & 0xff);
        b[at + 1] = static_cast<unsigned char>(v & 0xff);
    };
    put16be(40, 4);
    put16be(42, 64);
    put16be(44, 32);
    put16be(46, 10);
    put16be(48, 1);
    put16be(70, 2);
    AnalyzeHeader h;
    QEL_UnpackAnalyzeHeader(b.data(), &h);
    EXPECT_EQ(h.dime.datatype, 512);
    EXPECT_EQ(h.dime.dim[1], 64 * 256);
    EXPECT_EQ(h.dime.dim[2], 32 * 256);
    EXPECT_EQ(h.dime.dim[3], 10 * 256);
    EXPECT_EQ(QEL_GetVoxelUnitOfAnalyzeDatatype(h.dime.datatype), -1);
    EXPECT_EQ(QEL_NewRawVolumeDataOfAnalyzeHeader(&h), nullptr);
}
