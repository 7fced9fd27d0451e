// ANALYZE file pairs on disk: round trips per datatype, the voxel file layout and orientation,
// and hostile headers and voxel files (short files, refused sizes, odd data offsets).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "analyze/analyze_support.hpp"
#include "filters/qel_rotate.h"
#include "gui/qel_analyze.h"

using namespace analyzetest;

namespace {

class AnalyzeFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }

    // Writes vol as a pair the way the exporter does; false when a write fails.
    bool write_pair(const QelRawVolumeData* vol, const AnalyzeHeader& h, const std::string& base) {
        File hdr = open_file(dir.file(base + ".hdr"), "wb");
        File img = open_file(dir.file(base + ".img"), "wb");
        return hdr && img && QEL_WriteAnalyzeHeader(hdr.get(), &h) == 0 && QEL_WriteAnalyzeData(img.get(), vol) == 0;
    }

    bool read_header(const std::string& path, AnalyzeHeader* h) {
        File f = open_file(path, "rb");
        return f && QEL_ReadAnalyzeHeader(f.get(), h) == 0;
    }

    // Reads a pair the way the importer does; NULL when the header or the volume is refused.
    Volume read_pair(const std::string& base) {
        AnalyzeHeader h;
        if (!read_header(dir.file(base + ".hdr"), &h)) return nullptr;
        Volume v(QEL_NewRawVolumeDataOfAnalyzeHeader(&h));
        if (!v) return v;
        File img = open_file(dir.file(base + ".img"), "rb");
        if (!img || QEL_ReadAnalyzeData(img.get(), &h, v.get()) != 0) return nullptr;
        return v;
    }

    // A header for reading: the given dimensions and datatype, everything else zero.
    static AnalyzeHeader header(int nx, int ny, int nz, int channels, int datatype) {
        AnalyzeHeader h;
        std::memset(&h, 0, sizeof h);
        h.hk.sizeof_hdr = 348;
        h.dime.dim[0] = 4;
        h.dime.dim[1] = static_cast<int16_t>(nx);
        h.dime.dim[2] = static_cast<int16_t>(ny);
        h.dime.dim[3] = static_cast<int16_t>(nz);
        h.dime.dim[4] = static_cast<int16_t>(channels);
        h.dime.datatype = static_cast<int16_t>(datatype);
        return h;
    }

    void write_header_file(const std::string& path, const AnalyzeHeader& h) {
        File f = open_file(path, "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(QEL_WriteAnalyzeHeader(f.get(), &h), 0);
    }

    ScratchDir dir;
};

}  // namespace

TEST_F(AnalyzeFiles, RoundTripPerWrittenDatatype) {
    struct Case {
        int unit, datatype;
        int nx, ny, nz, channels;
    };
    const Case cases[] = {{0, 2, 7, 5, 3, 1}, {0, 2, 4, 3, 2, 3}, {3, 4, 64, 64, 30, 1}, {5, 8, 3, 9, 4, 2}};
    uint32_t seed = 100;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.datatype);
        Volume v = random_volume(k.nx, k.ny, k.nz, std::vector<int>(k.channels, k.unit), seed++);
        ASSERT_TRUE(v);
        AnalyzeHeader h;
        ASSERT_EQ(MakeAnalyzeHeader(&h, v.get(), 0.75f), 0);
        ASSERT_TRUE(write_pair(v.get(), h, "pair"));

        // File sizes: the header and exactly the channel blocks, nothing between them.
        EXPECT_EQ(read_file(dir.file("pair.hdr")).size(), 348u);
        const auto img = read_file(dir.file("pair.img"));
        std::vector<unsigned char> blocks;
        for (int c = 0; c < k.channels; ++c) {
            const auto b = channel_bytes(v.get(), c);
            blocks.insert(blocks.end(), b.begin(), b.end());
        }
        EXPECT_EQ(img.size(), size_t(k.nx) * k.ny * k.nz * k.channels * width_of(k.unit));
        EXPECT_EQ(img, blocks);

        AnalyzeHeader back;
        ASSERT_TRUE(read_header(dir.file("pair.hdr"), &back));
        EXPECT_EQ(back.dime.datatype, k.datatype);
        EXPECT_EQ(back.dime.pixdim[1], 0.75f);
        Volume w = read_pair("pair");
        ASSERT_TRUE(w);
        ASSERT_EQ(w->size->nx, k.nx);
        ASSERT_EQ(w->size->ny, k.ny);
        ASSERT_EQ(w->size->nz, k.nz);
        ASSERT_EQ(w->size->nChannels, k.channels);
        for (int c = 0; c < k.channels; ++c) {
            EXPECT_EQ(w->unit[c], k.unit);
            EXPECT_EQ(w->attribute[c], 0);
            EXPECT_EQ(channel_bytes(w.get(), c), channel_bytes(v.get(), c));
        }
    }
}

TEST_F(AnalyzeFiles, FloatDataIsReadAsFloat32) {
    // Datatype 16 is never written but is read: build the pair by hand.
    const int n = 4 * 3 * 2;
    std::vector<float> values(n * 2);
    for (int i = 0; i < n * 2; ++i) values[i] = (i - 20) * 1.25f;
    values[5] = std::numeric_limits<float>::quiet_NaN();
    write_header_file(dir.file("f.hdr"), header(4, 3, 2, 2, 16));
    std::vector<unsigned char> raw(values.size() * 4);
    std::memcpy(raw.data(), values.data(), raw.size());
    write_file(dir.file("f.img"), raw);
    Volume v = read_pair("f");
    ASSERT_TRUE(v);
    ASSERT_EQ(v->size->nChannels, 2);
    EXPECT_EQ(v->unit[0], 6);
    EXPECT_EQ(v->unit[1], 6);
    EXPECT_EQ(std::memcmp(v->data[0], raw.data(), n * 4), 0);
    EXPECT_EQ(std::memcmp(v->data[1], raw.data() + n * 4, n * 4), 0);
}

TEST_F(AnalyzeFiles, ExportedFileHoldsTheVolumeUpsideDownAndImportRestoresIt) {
    // File voxel (x, y, z) is host voxel (x, ny - 1 - y, nz - 1 - z).
    const int nx = 6, ny = 5, nz = 4;
    Volume host = random_volume(nx, ny, nz, {3, 3}, 77);
    Volume turned = random_volume(nx, ny, nz, {3, 3}, 77);
    ASSERT_EQ(QEL_RotateRawVolumeData180(turned.get(), "X"), 0);
    AnalyzeHeader h;
    ASSERT_EQ(MakeAnalyzeHeader(&h, turned.get(), 1.0f), 0);
    ASSERT_TRUE(write_pair(turned.get(), h, "o"));
    const auto img = read_file(dir.file("o.img"));
    ASSERT_EQ(img.size(), size_t(nx) * ny * nz * 2 * 2);
    for (int c = 0; c < 2; ++c)
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x) {
                    uint16_t in_file;
                    std::memcpy(&in_file, img.data() + 2 * (((int64_t(c) * nz + z) * ny + y) * nx + x), 2);
                    ASSERT_EQ(in_file, voxel(host.get(), c, x, ny - 1 - y, nz - 1 - z));
                }
    Volume back = read_pair("o");
    ASSERT_TRUE(back);
    ASSERT_EQ(QEL_RotateRawVolumeData180(back.get(), "X"), 0);
    for (int c = 0; c < 2; ++c) EXPECT_EQ(channel_bytes(back.get(), c), channel_bytes(host.get(), c));
}

TEST_F(AnalyzeFiles, ShortHeaderFilesAreRefused) {
    Volume v = random_volume(3, 3, 3, {0}, 1);
    AnalyzeHeader h;
    MakeAnalyzeHeader(&h, v.get(), 1.0f);
    unsigned char bytes[348];
    QEL_PackAnalyzeHeader(&h, bytes);
    for (size_t length : {0, 1, 71, 100, 347}) {
        write_file(dir.file("short.hdr"), std::vector<unsigned char>(bytes, bytes + length));
        AnalyzeHeader got;
        std::memset(&got, 0x77, sizeof got);
        File f = open_file(dir.file("short.hdr"), "rb");
        ASSERT_TRUE(f);
        EXPECT_EQ(QEL_ReadAnalyzeHeader(f.get(), &got), -1) << length;
        // Nothing is left over from memory the file did not fill.
        AnalyzeHeader zero;
        std::memset(&zero, 0, sizeof zero);
        EXPECT_EQ(std::memcmp(&got, &zero, sizeof got), 0) << length;
    }
    // Bytes after the header do not matter.
    std::vector<unsigned char> longer(bytes, bytes + 348);
    longer.resize(400, 0xAB);
    write_file(dir.file("long.hdr"), longer);
    AnalyzeHeader got;
    ASSERT_TRUE(read_header(dir.file("long.hdr"), &got));
    EXPECT_EQ(got.dime.dim[1], 3);
    EXPECT_EQ(QEL_ReadAnalyzeHeader(nullptr, &got), -1);
    File f = open_file(dir.file("long.hdr"), "rb");
    EXPECT_EQ(QEL_ReadAnalyzeHeader(f.get(), nullptr), -1);
}

TEST_F(AnalyzeFiles, HeaderSizesAreCheckedBeforeAnyAllocation) {
    struct Case {
        int nx, ny, nz, channels;
        bool ok;
        int expected_channels;
    };
    const Case cases[] = {
        {4, 4, 4, 1, true, 1},      {4, 4, 4, 0, true, 1},  // a fourth dimension of 0 is one channel
        {4, 4, 4, 256, true, 256},  {4, 4, 4, 257, false, 0}, {4, 4, 4, -1, false, 0},
        {4, 4, 4, -32768, false, 0}, {0, 4, 4, 1, false, 0},  {4, 0, 4, 1, false, 0},
        {4, 4, 0, 1, false, 0},     {-4, 4, 4, 1, false, 0}, {4, -1, 4, 1, false, 0},
        {4, 4, -32768, 1, false, 0},
        // One channel's voxel count beyond an int.
        {32767, 32767, 32767, 1, false, 0}, {32767, 32767, 3, 1, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.nx << "x" << k.ny << "x" << k.nz << "x" << k.channels);
        const AnalyzeHeader h = header(k.nx, k.ny, k.nz, k.channels, 2);
        QelSize4i size{-9, -9, -9, -9};
        EXPECT_EQ(QEL_GetSizeOfAnalyzeHeader(&h, &size), k.ok ? 0 : -1);
        Volume v(QEL_NewRawVolumeDataOfAnalyzeHeader(&h));
        EXPECT_EQ(v != nullptr, k.ok);
        if (k.ok && v) {
            EXPECT_EQ(size.nChannels, k.expected_channels);
            EXPECT_EQ(v->size->nChannels, k.expected_channels);
            EXPECT_EQ(v->size->nx, k.nx);
            for (int c = 0; c < v->size->nChannels; ++c) {
                EXPECT_EQ(v->unit[c], 0);
                EXPECT_EQ(v->attribute[c], 0);
            }
        }
    }
    for (int datatype : {0, 1, 64, 512, -1}) {
        const AnalyzeHeader h = header(2, 2, 2, 1, datatype);
        EXPECT_EQ(Volume(QEL_NewRawVolumeDataOfAnalyzeHeader(&h)), nullptr) << datatype;
    }
    QelSize4i size;
    EXPECT_EQ(QEL_GetSizeOfAnalyzeHeader(nullptr, &size), -1);
    EXPECT_EQ(QEL_NewRawVolumeDataOfAnalyzeHeader(nullptr), nullptr);
}

TEST_F(AnalyzeFiles, DataOffsetIsHonouredOnlyAsAWholeNumberNotBelowZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float vox_offset;
        int64_t offset;
    };
    const Case cases[] = {{0.0f, 0},   {-0.0f, 0}, {16.0f, 16},        {352.0f, 352}, {0.5f, 0},
                          {16.25f, 0}, {-4.0f, 0}, {-0.5f, 0},         {nan, 0},      {inf, 0},
                          {-inf, 0},   {1e30f, INT64_MAX}, {3.0e9f, 3000000000LL}};
    for (const Case& k : cases) {
        AnalyzeHeader h = header(2, 2, 1, 1, 2);
        h.dime.vox_offset = k.vox_offset;
        EXPECT_EQ(QEL_GetAnalyzeDataOffset(&h), k.offset) << k.vox_offset;
    }
    EXPECT_EQ(QEL_GetAnalyzeDataOffset(nullptr), 0);
}

TEST_F(AnalyzeFiles, VoxelsAreReadFromTheDataOffset) {
    // 16 bytes of something else, then the voxels.
    std::vector<unsigned char> img(16, 0xCD);
    for (int i = 0; i < 8; ++i) img.push_back(static_cast<unsigned char>(10 + i));
    write_file(dir.file("off.img"), img);
    struct Case {
        float vox_offset;
        int first;  // index into img of voxel 0
    };
    for (const Case& k : {Case{16.0f, 16}, Case{0.0f, 0}, Case{16.5f, 0}, Case{-16.0f, 0}, Case{3.0f, 3}}) {
        AnalyzeHeader h = header(2, 2, 2, 1, 2);
        h.dime.vox_offset = k.vox_offset;
        Volume v(QEL_NewRawVolumeDataOfAnalyzeHeader(&h));
        ASSERT_TRUE(v);
        File f = open_file(dir.file("off.img"), "rb");
        ASSERT_EQ(QEL_ReadAnalyzeData(f.get(), &h, v.get()), 0);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(static_cast<uint8_t*>(v->data[0])[i], img[k.first + i]) << k.vox_offset << " voxel " << i;
    }
}

TEST_F(AnalyzeFiles, MissingVoxelsAreZero) {
    // Two Int16 channels of 3 x 2 x 2: the file holds 1.5 channels, then offsets at and past
    // its end leave nothing at all. The volume starts full of other bytes, which must not stay.
    std::vector<unsigned char> img(36);
    for (size_t i = 0; i < img.size(); ++i) img[i] = static_cast<unsigned char>(i + 1);
    write_file(dir.file("s.img"), img);
    struct Case {
        float vox_offset;
        size_t available;
    };
    for (const Case& k : {Case{0.0f, 36}, Case{30.0f, 6}, Case{36.0f, 0}, Case{4096.0f, 0}, Case{1e30f, 0},
                          Case{3.0e38f, 0}}) {
        AnalyzeHeader h = header(3, 2, 2, 2, 4);
        h.dime.vox_offset = k.vox_offset;
        Volume v(QEL_NewRawVolumeDataOfAnalyzeHeader(&h));
        ASSERT_TRUE(v);
        std::memset(v->data[0], 0xEE, 24);
        std::memset(v->data[1], 0xEE, 24);
        File f = open_file(dir.file("s.img"), "rb");
        ASSERT_EQ(QEL_ReadAnalyzeData(f.get(), &h, v.get()), 0) << k.vox_offset;
        const size_t start = static_cast<size_t>(std::min<double>(k.vox_offset, 36.0));
        for (size_t i = 0; i < 48; ++i) {
            const auto* p = static_cast<unsigned char*>(v->data[i / 24]);
            EXPECT_EQ(p[i % 24], i < k.available ? img[start + i] : 0) << k.vox_offset << " byte " << i;
        }
    }
    // An empty data file.
    write_file(dir.file("empty.img"), {});
    AnalyzeHeader h = header(3, 2, 2, 1, 8);
    Volume v(QEL_NewRawVolumeDataOfAnalyzeHeader(&h));
    File f = open_file(dir.file("empty.img"), "rb");
    EXPECT_EQ(QEL_ReadAnalyzeData(f.get(), &h, v.get()), 0);
    EXPECT_EQ(channel_bytes(v.get(), 0), std::vector<unsigned char>(48, 0));
}

TEST_F(AnalyzeFiles, FailedReadsAndWritesAreReported) {
    Volume v = random_volume(8, 8, 8, {3}, 5);
    AnalyzeHeader h;
    MakeAnalyzeHeader(&h, v.get(), 1.0f);
    // A stream that cannot be read: -1, and the volume holds zeros rather than stale bytes.
    write_file(dir.file("w.img"), std::vector<unsigned char>(1024, 1));
    {
        File f = open_file(dir.file("w.img"), "ab");
        ASSERT_TRUE(f);
        EXPECT_EQ(QEL_ReadAnalyzeData(f.get(), &h, v.get()), -1);
        EXPECT_EQ(channel_bytes(v.get(), 0), std::vector<unsigned char>(1024, 0));
    }
    // A device that is always full: the flush fails even for the small header.
    File full = open_file("/dev/full", "wb");
    if (full) {
        EXPECT_EQ(QEL_WriteAnalyzeHeader(full.get(), &h), -1);
        std::clearerr(full.get());
        EXPECT_EQ(QEL_WriteAnalyzeData(full.get(), v.get()), -1);
    }
    // A stream opened for reading cannot take the bytes.
    File ro = open_file(dir.file("w.img"), "rb");
    ASSERT_TRUE(ro);
    EXPECT_EQ(QEL_WriteAnalyzeHeader(ro.get(), &h), -1);
    EXPECT_EQ(QEL_WriteAnalyzeData(ro.get(), v.get()), -1);
    EXPECT_EQ(QEL_WriteAnalyzeHeader(nullptr, &h), -1);
    EXPECT_EQ(QEL_WriteAnalyzeData(nullptr, v.get()), -1);
    EXPECT_EQ(QEL_ReadAnalyzeData(nullptr, &h, v.get()), -1);
}

TEST(AnalyzeFileNames, SuffixReplacementKeepsLetterCase) {
    struct Case {
        const char* chosen;
        const char* suffix;
        const char* result;
    };
    const Case cases[] = {
        {"scan.img", "hdr", "scan.hdr"}, {"scan.hdr", "hdr", "scan.hdr"}, {"scan.hdr", "img", "scan.img"},
        {"brain", "hdr", "brhdr"},       {"SCAN.IMG", "hdr", "SCAN.HDR"}, {"Scan.Img", "img", "Scan.Img"},
        {"Scan.Img", "hdr", "Scan.Hdr"}, {"abc", "img", "img"},           {"/d/x.1.2", "hdr", "/d/x.hdr"},
        {"a.HdR", "img", "a.ImG"},
    };
    for (const Case& k : cases) {
        char name[64];
        std::strcpy(name, k.chosen);
        EXPECT_EQ(QEL_SetAnalyzeFileSuffix(name, k.suffix), 0) << k.chosen;
        EXPECT_STREQ(name, k.result);
    }
    for (const char* shortName : {"", "a", "ab"}) {
        char name[8];
        std::strcpy(name, shortName);
        EXPECT_EQ(QEL_SetAnalyzeFileSuffix(name, "hdr"), -1);
        EXPECT_STREQ(name, shortName);
    }
    char name[16] = "scan.img";
    EXPECT_EQ(QEL_SetAnalyzeFileSuffix(name, "hd"), -1);
    EXPECT_EQ(QEL_SetAnalyzeFileSuffix(name, nullptr), -1);
    EXPECT_EQ(QEL_SetAnalyzeFileSuffix(nullptr, "hdr"), -1);
    EXPECT_STREQ(name, "scan.img");
}
