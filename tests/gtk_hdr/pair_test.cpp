// The import and export steps on files: reading a pair into the host's orientation, writing
// one, the refusals with their lines, and resampling to cubic voxels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "hdr_support.hpp"
#include "programs/hdrexporter/hdrexporter.h"
#include "programs/hdrimporter/hdrimporter.h"
#include "support/capture.hpp"
#include "volume/qel_units.h"

namespace {

namespace fs = std::filesystem;
using analyzetest::random_volume;
using analyzetest::read_file;
using analyzetest::voxel;
using analyzetest::write_file;
using hdrtest::get;
using hdrtest::header_bytes;
using hdrtest::HeaderFields;
using hdrtest::put;
using hdrtest::Volume;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(MinimumOfThree, StrictComparisonsSendTiesAndNaNsToTheLaterIndex) {
    struct Case {
        float v[3];
        int index;
    };
    const Case cases[] = {
        {{1, 2, 3}, 0}, {{2, 1, 3}, 1}, {{3, 2, 1}, 2}, {{0.5f, 0.5f, 2.0f}, 1}, {{1, 1, 1}, 2},
        {{1, 2, 1}, 2}, {{2, 1, 1}, 2}, {{kNaN, 1, 2}, 1}, {{1, kNaN, 2}, 2}, {{1, 2, kNaN}, 2},
    };
    for (const Case& c : cases) {
        int index = -1;
        const float m = GetMinimumOfThree(c.v, &index);
        EXPECT_EQ(index, c.index) << c.v[0] << " " << c.v[1] << " " << c.v[2];
        EXPECT_TRUE(std::memcmp(&m, &c.v[c.index], sizeof m) == 0);
    }
}

TEST(CubicSize, ScalesEachExtentBySpacingOverTheSmallestRoundedToNearest) {
    const QelSize4i size{7, 9, 10, 2};
    int n[3], index = -1;
    const float halfHalfTwo[3] = {0.5f, 0.5f, 2.0f};
    ASSERT_EQ(GetCubicVoxelSize(&size, halfHalfTwo, n, &index), 0);
    EXPECT_EQ(n[0], 7);
    EXPECT_EQ(n[1], 9);
    EXPECT_EQ(n[2], 40);
    EXPECT_EQ(index, 1);
    // 10 * 1.3f is 12.9999995: truncating would lose a slice.
    const float oneOneOnePointThree[3] = {1.0f, 1.0f, 1.3f};
    ASSERT_EQ(GetCubicVoxelSize(&size, oneOneOnePointThree, n, &index), 0);
    EXPECT_EQ(n[2], 13);
    EXPECT_EQ(index, 1);
    const float largestFirst[3] = {3.0f, 1.5f, 1.0f};
    ASSERT_EQ(GetCubicVoxelSize(&size, largestFirst, n, &index), 0);
    EXPECT_EQ(n[0], 21);
    EXPECT_EQ(n[1], 14);  // 13.5 rounds away from zero
    EXPECT_EQ(index, 2);

    const float inf = std::numeric_limits<float>::infinity();
    for (const auto& bad : {std::vector<float>{1, 0, 2}, {1, -1, 2}, {kNaN, 1, 2}, {1, 2, inf}, {1e-30f, 1, 1}}) {
        n[0] = n[1] = n[2] = -7;
        EXPECT_EQ(GetCubicVoxelSize(&size, bad.data(), n, &index), -1) << bad[0] << " " << bad[1] << " " << bad[2];
        EXPECT_EQ(n[0], -7);
    }
}

TEST(CubicSize, ResampleKeepsTheVolumeAndVoxelSizeWhenItFails) {
    Volume vol = random_volume(4, 4, 1, {QEL_VOXEL_UNIT_UINT8}, 3);
    float voxelSize = 0.9f;
    const float spacing[3] = {0.9f, 0.9f, 3.0f};
    // One slice cannot be resampled.
    EXPECT_EQ(ResampleToCubicVoxels(vol.get(), spacing, &voxelSize), -1);
    EXPECT_EQ(vol->size->nz, 1);
    EXPECT_EQ(voxelSize, 0.9f);

    Volume two = random_volume(4, 4, 2, {QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_INT16}, 4);
    const float flat[3] = {0.5f, 0.5f, 2.0f};
    ASSERT_EQ(ResampleToCubicVoxels(two.get(), flat, &voxelSize), 0);
    EXPECT_EQ(two->size->nx, 4);
    EXPECT_EQ(two->size->nz, 8);
    EXPECT_EQ(two->size->nChannels, 2);
    EXPECT_EQ(voxelSize, 0.5f);
}

class PairFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }
    std::string path(const std::string& name) const { return dir_.file(name); }

    // Reads the pair through a name buffer as the program holds it; returns stderr.
    std::string read(const std::string& chosen, Volume* vol, AnalyzeHeader* hdr = nullptr) {
        char name[HDRIMPORTER_NAME_SIZE];
        std::snprintf(name, sizeof name, "%s", chosen.c_str());
        AnalyzeHeader local;
        qeltest::StderrCapture capture;
        vol->reset(ReadAnalyzePair(name, hdr ? hdr : &local));
        return capture.stop();
    }

    analyzetest::ScratchDir dir_;
};

TEST_F(PairFiles, AFourChannelPairArrivesTurnedWhicheverFileWasChosen) {
    Volume file = random_volume(3, 4, 5, std::vector<int>(4, QEL_VOXEL_UNIT_UINT8), 11);
    HeaderFields h;
    h.dim[1] = 3, h.dim[2] = 4, h.dim[3] = 5, h.dim[4] = 4;
    std::vector<unsigned char> data;
    for (int c = 0; c < 4; ++c) {
        auto block = analyzetest::channel_bytes(file.get(), c);
        data.insert(data.end(), block.begin(), block.end());
    }
    write_file(path("scan.hdr"), header_bytes(h));
    write_file(path("scan.img"), data);
    write_file(path("CT.HDR"), header_bytes(h));
    write_file(path("CT.IMG"), data);

    for (const char* chosen : {"scan.img", "scan.hdr", "CT.IMG"}) {
        SCOPED_TRACE(chosen);
        Volume vol;
        EXPECT_EQ(read(path(chosen), &vol), "hdr.dime.datatype: 2\nMatrix size: 3 x 4 x5 x 4\n");
        ASSERT_NE(vol, nullptr);
        for (int c = 0; c < 4; ++c) EXPECT_EQ(vol->unit[c], QEL_VOXEL_UNIT_UINT8);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(hdrtest::turned_bytes(vol.get(), c), analyzetest::channel_bytes(file.get(), c));
    }
    // The suffix keeps the letter case of what it replaces: CT.img names CT.hdr, which is not there.
    Volume vol;
    EXPECT_EQ(read(path("CT.img"), &vol), "hdr file not found\n");
}

TEST_F(PairFiles, VoxOffsetZeroChannelCountAndShortData) {
    // 2 x 3 x 2 Int16 after 16 bytes of something else; the last voxel is missing.
    HeaderFields h;
    h.dim[1] = 2, h.dim[2] = 3, h.dim[3] = 2, h.dim[4] = 0;
    h.datatype = 4;
    h.voxOffset = 16.0f;
    std::vector<unsigned char> data(16, 0xEE);
    for (int i = 0; i < 11; ++i) {
        data.resize(data.size() + 2);
        put<int16_t>(data, data.size() - 2, static_cast<int16_t>(-300 + 61 * i));
    }
    write_file(path("s.hdr"), header_bytes(h));
    write_file(path("s.img"), data);
    Volume vol;
    EXPECT_EQ(read(path("s.img"), &vol), "hdr.dime.datatype: 4\nMatrix size: 2 x 3 x2 x 0\n");
    ASSERT_NE(vol, nullptr);
    ASSERT_EQ(vol->size->nChannels, 1);
    EXPECT_EQ(vol->unit[0], QEL_VOXEL_UNIT_INT16);
    for (int i = 0; i < 12; ++i) {
        const int x = i % 2, y = (i / 2) % 3, z = i / 6;
        const int16_t expected = i < 11 ? static_cast<int16_t>(-300 + 61 * i) : 0;
        EXPECT_EQ(static_cast<int16_t>(voxel(vol.get(), 0, x, 2 - y, 1 - z)), expected) << i;
    }
}

TEST_F(PairFiles, FloatVoxelsSaturateIntoInt16) {
    const float values[] = {1e6f, -1e6f, 1.7f, -1.7f, kNaN, 32767.9f, -32768.9f, 40000.0f};
    const int16_t expected[] = {32767, -32768, 1, -1, 0, 32767, -32768, 32767};
    HeaderFields h;
    h.dim[1] = 8;
    h.datatype = 16;
    std::vector<unsigned char> data(sizeof values);
    std::memcpy(data.data(), values, sizeof values);
    write_file(path("f.hdr"), header_bytes(h));
    write_file(path("f.img"), data);
    Volume vol;
    EXPECT_EQ(read(path("f.hdr"), &vol),
              "hdr.dime.datatype: 16\nMatrix size: 8 x 1 x1 x 1\nfloat volume. converted\n");
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->unit[0], QEL_VOXEL_UNIT_INT16);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(static_cast<int16_t>(voxel(vol.get(), 0, x, 0, 0)), expected[x]) << x;
}

TEST_F(PairFiles, RefusedPairsPrintTheirLines) {
    const std::string head = "hdr.dime.datatype: ";
    auto pair = [&](const std::string& stem, const HeaderFields& h) {
        write_file(path(stem + ".hdr"), header_bytes(h));
        write_file(path(stem + ".img"), std::vector<unsigned char>(64, 1));
    };
    Volume vol;
    EXPECT_EQ(read(path("none.img"), &vol), "hdr file not found\n");
    EXPECT_EQ(vol, nullptr);
    EXPECT_EQ(read("ab", &vol), "hdr file not found\n");

    HeaderFields h;
    h.datatype = 64;
    pair("type64", h);
    EXPECT_EQ(read(path("type64.img"), &vol), head + "64\nMatrix size: 1 x 1 x1 x 1\nUnsupported unit type\n");
    EXPECT_EQ(vol, nullptr);

    // No field may come from bytes that the header file does not hold.
    auto shortHeader = header_bytes(HeaderFields{});
    shortHeader.resize(100);
    write_file(path("short.hdr"), shortHeader);
    EXPECT_EQ(read(path("short.img"), &vol), head + "0\nMatrix size: 0 x 0 x0 x 0\nUnsupported unit type\n");

    h = HeaderFields{};
    h.dim[2] = -4;
    pair("negative", h);
    EXPECT_EQ(read(path("negative.img"), &vol), head + "2\nMatrix size: 1 x -4 x1 x 1\nMemory full\n");
    h = HeaderFields{};
    h.dim[4] = 257;
    pair("channels", h);
    EXPECT_EQ(read(path("channels.img"), &vol), head + "2\nMatrix size: 1 x 1 x1 x 257\nMemory full\n");
    EXPECT_EQ(vol, nullptr);

    write_file(path("alone.hdr"), header_bytes(HeaderFields{}));
    EXPECT_EQ(read(path("alone.hdr"), &vol), head + "2\nMatrix size: 1 x 1 x1 x 1\n");
    EXPECT_EQ(vol, nullptr);
}

TEST_F(PairFiles, DataFilesMissingMoreThan64MiBAreRefusedBeforeAnyAllocation) {
    // 8192 x 8192 bytes: exactly 64 MiB missing from an empty data file still reads, as zeros.
    HeaderFields h;
    h.dim[1] = 8192, h.dim[2] = 8192;
    write_file(path("edge.hdr"), header_bytes(h));
    write_file(path("edge.img"), {});
    Volume vol;
    EXPECT_EQ(read(path("edge.img"), &vol), "hdr.dime.datatype: 2\nMatrix size: 8192 x 8192 x1 x 1\n");
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(vol->data[0])[0], 0);

    // One byte more missing: refused, nothing sent. Bytes before the data offset are not data.
    h.dim[1] = 8193;
    write_file(path("over.hdr"), header_bytes(h));
    write_file(path("over.img"), std::vector<unsigned char>(8191, 5));
    EXPECT_EQ(read(path("over.img"), &vol),
              "hdr.dime.datatype: 2\nMatrix size: 8193 x 8192 x1 x 1\nData file too short\n");
    EXPECT_EQ(vol, nullptr);
    write_file(path("over.img"), std::vector<unsigned char>(8192, 5));
    EXPECT_EQ(read(path("over.img"), &vol), "hdr.dime.datatype: 2\nMatrix size: 8193 x 8192 x1 x 1\n");
    ASSERT_NE(vol, nullptr);
    h.voxOffset = 1.0f;
    write_file(path("over.hdr"), header_bytes(h));
    EXPECT_EQ(read(path("over.img"), &vol),
              "hdr.dime.datatype: 2\nMatrix size: 8193 x 8192 x1 x 1\nData file too short\n");
    EXPECT_EQ(vol, nullptr);
}

TEST(ExportCheck, EachRefusalHasItsLine) {
    const std::string unitLine = "Cannot export: channels must share one unit of Uint8, Int16 or Int32\n";
    const std::string sizeLine = "Cannot export: a dimension or the channel count is above 32767\n";
    struct Case {
        Volume vol;
        std::string line;
    };
    std::vector<Case> cases;
    cases.push_back({random_volume(2, 2, 2, {QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_UINT8}, 1), unitLine});
    cases.push_back({random_volume(2, 2, 2, {QEL_VOXEL_UNIT_FLOAT32}, 1), unitLine});
    cases.push_back({random_volume(2, 2, 2, {QEL_VOXEL_UNIT_UINT32}, 1, {QEL_ATTRIBUTE_RGBA}), unitLine});
    cases.push_back({random_volume(32768, 1, 1, {QEL_VOXEL_UNIT_UINT8}, 1), sizeLine});
    cases.push_back({random_volume(1, 1, 1, std::vector<int>(32768, QEL_VOXEL_UNIT_UINT8), 1), sizeLine});
    cases.push_back({random_volume(32767, 2, 1, {QEL_VOXEL_UNIT_INT32, QEL_VOXEL_UNIT_INT32}, 1), ""});
    for (const Case& c : cases) {
        ASSERT_NE(c.vol, nullptr);
        qeltest::StderrCapture capture;
        const int ok = CheckExportableVolume(c.vol.get());
        EXPECT_EQ(capture.stop(), c.line);
        EXPECT_EQ(ok, c.line.empty() ? 1 : 0);
    }
}

TEST_F(PairFiles, WrittenHeaderAndDataInTheFileOrientation) {
    Volume host = random_volume(128, 128, 64, {QEL_VOXEL_UNIT_UINT8}, 21);
    Volume vol(QEL_CopyRawVolumeData(host.get()));
    qeltest::StderrCapture capture;
    ASSERT_EQ(WriteAnalyzePair(path("study").c_str(), vol.get(), 0.8f), 0);
    EXPECT_EQ(capture.stop(), "");

    const auto hdr = read_file(path("study.hdr"));
    ASSERT_EQ(hdr.size(), 348u);
    const int16_t dims[5] = {4, 128, 128, 64, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(get<int16_t>(hdr, 40 + 2 * i), dims[i]);
    EXPECT_EQ(get<int16_t>(hdr, 70), 2);
    EXPECT_EQ(get<int16_t>(hdr, 72), 8);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(get<float>(hdr, 80 + 4 * i), 0.8f);
    // The first file slice is the host's last one upside down, and so on.
    EXPECT_EQ(read_file(path("study.img")), hdrtest::turned_bytes(host.get(), 0));
}

TEST_F(PairFiles, SuffixesAreAppendedAndVoxelSizesChecked) {
    Volume vol = random_volume(2, 2, 2, {QEL_VOXEL_UNIT_INT16}, 5);
    ASSERT_EQ(WriteAnalyzePair(path("study.hdr").c_str(), vol.get(), 1.0f), 0);
    EXPECT_TRUE(fs::exists(path("study.hdr.hdr")));
    EXPECT_TRUE(fs::exists(path("study.hdr.img")));

    qeltest::StderrCapture capture;
    ASSERT_EQ(WriteAnalyzePair(path("negative").c_str(), vol.get(), -1.0f), 0);
    EXPECT_EQ(capture.stop(), "Invalid voxel size?\n");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(get<float>(read_file(path("negative.hdr")), 80 + 4 * i), 0.0f);

    qeltest::StderrCapture quiet;
    ASSERT_EQ(WriteAnalyzePair(path("nan").c_str(), vol.get(), kNaN), 0);
    EXPECT_EQ(quiet.stop(), "");
    EXPECT_TRUE(std::isnan(get<float>(read_file(path("nan.hdr")), 84)));
}

TEST_F(PairFiles, FailuresLeaveNoHalfPair) {
    Volume vol = random_volume(3, 3, 3, {QEL_VOXEL_UNIT_INT32}, 6);
    auto written = [&](const std::string& stem) { return fs::exists(path(stem + ".hdr")) || fs::exists(path(stem + ".img")); };
    {
        qeltest::StderrCapture capture;
        EXPECT_EQ(WriteAnalyzePair(path("missing/dir/x").c_str(), vol.get(), 1.0f), -1);
        EXPECT_EQ(capture.stop(), "");
    }
    // The data file cannot be created: the header file must not stay behind.
    fs::create_directory(path("blocked.img"));
    EXPECT_EQ(WriteAnalyzePair(path("blocked").c_str(), vol.get(), 1.0f), -1);
    EXPECT_FALSE(fs::exists(path("blocked.hdr")));

    // A full disk: every write is checked and the pair removed.
    for (const char* full : {"fullhdr.hdr", "fullimg.img"}) {
        fs::create_symlink("/dev/full", path(full));
        const std::string stem = std::string(full).substr(0, 7);
        qeltest::StderrCapture capture;
        EXPECT_EQ(WriteAnalyzePair(path(stem).c_str(), vol.get(), 1.0f), -1);
        EXPECT_EQ(capture.stop(), "Failed to write the ANALYZE files\n");
        EXPECT_FALSE(written(stem)) << full;
        EXPECT_TRUE(fs::exists("/dev/full"));
    }

    // A name of 1019 characters still fits its suffix; one of 1020 is refused unwritten.
    std::string name = path("");
    while (name.size() + 201 < HDREXPORTER_MAX_NAME_LENGTH) {
        name += std::string(200, 'd') + "/";
        fs::create_directory(name);
    }
    const std::string longest = name + std::string(HDREXPORTER_MAX_NAME_LENGTH - name.size(), 'n');
    ASSERT_EQ(longest.size(), 1019u);
    EXPECT_EQ(WriteAnalyzePair((longest + "m").c_str(), vol.get(), 1.0f), -1);
    EXPECT_FALSE(fs::exists(longest + "m.hdr"));
    EXPECT_EQ(WriteAnalyzePair(longest.c_str(), vol.get(), 1.0f), 0);
    EXPECT_TRUE(fs::exists(longest + ".img"));
}

}  // namespace
