// P5/P6 files: exact bytes written, round trips, header forms and refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "gui/qel_pnm.h"
#include "support/records.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using Image = qeltest::ImagePtr;

Image new_image(int width, int height, std::vector<int> units, std::vector<int> attributes) {
    const QelSize3i size{width, height, static_cast<int>(units.size())};
    return Image(QEL_NewRawImageData(&size, units.data(), attributes.data()));
}

Image grey_image(int width, int height, const Bytes& pixels) {
    Image image = new_image(width, height, {QEL_VOXEL_UNIT_UINT8}, {QEL_ATTRIBUTE_PLAIN});
    if (image) std::copy(pixels.begin(), pixels.end(), static_cast<unsigned char*>(image->data[0]));
    return image;
}

Image packed_image(int width, int height, const std::vector<uint32_t>& pixels) {
    Image image = new_image(width, height, {QEL_VOXEL_UNIT_UINT32}, {QEL_ATTRIBUTE_RGBA});
    if (image) std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(image->data[0]));
    return image;
}

Bytes grey_pixels(const QelRawImageData* image) {
    const auto* p = static_cast<const unsigned char*>(image->data[0]);
    return Bytes(p, p + static_cast<size_t>(image->size->nx) * image->size->ny);
}

std::vector<uint32_t> packed_pixels(const QelRawImageData* image) {
    const auto* p = static_cast<const uint32_t*>(image->data[0]);
    return std::vector<uint32_t>(p, p + static_cast<size_t>(image->size->nx) * image->size->ny);
}

class PnmFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/qel-pnm-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string file_with(const std::string& name, const Bytes& content) const {
        const std::string p = path(name);
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
        return p;
    }
    static Bytes content_of(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir_;
};

const Bytes kHeaderComment = bytes_of("# created by TALVEROX LIBRARIES\n");

TEST_F(PnmFiles, GreyChannelIsWrittenByteForByte) {
    Image image = grey_image(2, 1, {10, 200});
    ASSERT_TRUE(image);
    const std::string p = path("grey.pgm");
    EXPECT_EQ(QEL_WritePnmImage(p.c_str(), image.get(), 0), 0);
    EXPECT_EQ(content_of(p), bytes_of("P5\n") + kHeaderComment + bytes_of("2 1\n255\n") + Bytes({10, 200}));
    // The grey writer itself reports the raster bytes and replaces the file.
    EXPECT_EQ(QEL_WritePgmImage(p.c_str(), image.get(), 0), 2);
    EXPECT_EQ(content_of(p).size(), 3u + kHeaderComment.size() + 4u + 4u + 2u);
}

TEST_F(PnmFiles, PackedChannelIsWrittenAsRgbWithoutAlpha) {
    Image image = packed_image(2, 2, {0x11223344u, 0xFF000080u, 0x00FF00FFu, 0x0000FF00u});
    ASSERT_TRUE(image);
    const std::string p = path("colour.ppm");
    EXPECT_EQ(QEL_WritePnmImage(p.c_str(), image.get(), 0), 0);
    EXPECT_EQ(content_of(p), bytes_of("P6\n") + kHeaderComment + bytes_of("2 2\n255\n") +
                                 Bytes({17, 34, 51, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    EXPECT_EQ(QEL_WritePpmImage(p.c_str(), image.get(), 0), 12);
}

TEST_F(PnmFiles, WritesTheChosenChannelOfAMultiChannelImage) {
    Image image = new_image(3, 1, {QEL_VOXEL_UNIT_UINT16, QEL_VOXEL_UNIT_UINT8}, {0, 0});
    ASSERT_TRUE(image);
    auto* grey = static_cast<unsigned char*>(image->data[1]);
    grey[0] = 1, grey[1] = 2, grey[2] = 3;
    const std::string p = path("second.pgm");
    EXPECT_EQ(QEL_WritePnmImage(p.c_str(), image.get(), 1), 0);
    EXPECT_EQ(content_of(p), bytes_of("P5\n") + kHeaderComment + bytes_of("3 1\n255\n") + Bytes({1, 2, 3}));
}

TEST_F(PnmFiles, OtherChannelKindsAndInvalidChannelsAreRefusedWithoutAFile) {
    Image image = new_image(2, 2,
                            {QEL_VOXEL_UNIT_UINT16, QEL_VOXEL_UNIT_UINT32, QEL_VOXEL_UNIT_UINT8,
                             QEL_VOXEL_UNIT_FLOAT32, QEL_VOXEL_UNIT_INT8},
                            {0, 0, QEL_ATTRIBUTE_RGBA, 0, 0});
    ASSERT_TRUE(image);
    const std::string p = path("refused.pnm");
    for (int channel : {0, 1, 2, 3, 4, -1, 5, 1000}) {
        SCOPED_TRACE(channel);
        EXPECT_EQ(QEL_WritePnmImage(p.c_str(), image.get(), channel), -1);
        EXPECT_EQ(QEL_WritePgmImage(p.c_str(), image.get(), channel), 0);
        EXPECT_EQ(QEL_WritePpmImage(p.c_str(), image.get(), channel), 0);
        EXPECT_FALSE(fs::exists(p));
    }
    EXPECT_EQ(QEL_WritePnmImage(p.c_str(), nullptr, 0), -1);
    EXPECT_FALSE(fs::exists(p));
    // A writer asked for the other kind leaves the channel alone too.
    Image grey = grey_image(1, 1, {7});
    Image packed = packed_image(1, 1, {0x01020304u});
    EXPECT_EQ(QEL_WritePpmImage(p.c_str(), grey.get(), 0), 0);
    EXPECT_EQ(QEL_WritePgmImage(p.c_str(), packed.get(), 0), 0);
    EXPECT_FALSE(fs::exists(p));
}

TEST_F(PnmFiles, FilesThatCannotBeWrittenAreReported) {
    Image grey = grey_image(2, 1, {10, 200});
    Image packed = packed_image(1, 1, {0x01020304u});
    const std::string missing_dir = path("no/such/dir.pgm");
    EXPECT_EQ(QEL_WritePnmImage(missing_dir.c_str(), grey.get(), 0), -1);
    EXPECT_EQ(QEL_WritePgmImage(missing_dir.c_str(), grey.get(), 0), 0);
    EXPECT_EQ(QEL_WritePnmImage(nullptr, grey.get(), 0), -1);
    EXPECT_EQ(QEL_WritePnmImage(dir_.c_str(), grey.get(), 0), -1);
    // A device that accepts the open and fails on flush: the bytes never reached the file.
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(QEL_WritePnmImage("/dev/full", grey.get(), 0), -1);
        EXPECT_EQ(QEL_WritePnmImage("/dev/full", packed.get(), 0), -1);
        EXPECT_EQ(QEL_WritePgmImage("/dev/full", grey.get(), 0), 0);
        EXPECT_EQ(QEL_WritePpmImage("/dev/full", packed.get(), 0), 0);
    }
}

TEST_F(PnmFiles, RoundTripsKeepRastersThatStartWithWhiteSpaceBytes) {
    // Bytes that look like header white space right after "255\n" belong to the raster.
    std::mt19937 rng(12345);
    const int width = 37, height = 23;
    Bytes grey(width * height);
    for (auto& b : grey) b = static_cast<unsigned char>(rng());
    grey[0] = 9, grey[1] = 10, grey[2] = 13, grey[3] = 32, grey[4] = '#';
    Image g = grey_image(width, height, grey);
    const std::string pg = path("round.pgm");
    ASSERT_EQ(QEL_WritePnmImage(pg.c_str(), g.get(), 0), 0);
    for (auto* reader : {&QEL_ReadPnmImage, &QEL_ReadPgmImage}) {
        Image back(reader(pg.c_str()));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->size->nx, width);
        EXPECT_EQ(back->size->ny, height);
        EXPECT_EQ(back->size->nz, 1);
        EXPECT_EQ(back->unit[0], QEL_VOXEL_UNIT_UINT8);
        EXPECT_EQ(back->attribute[0], QEL_ATTRIBUTE_PLAIN);
        EXPECT_EQ(grey_pixels(back.get()), grey);
    }

    std::vector<uint32_t> packed(width * height);
    for (auto& w : packed) w = static_cast<uint32_t>(rng());
    packed[0] = 0x090A0D00u;  // R 9, G 10, B 13, alpha 0
    packed[1] = 0x20202011u;
    Image c = packed_image(width, height, packed);
    const std::string pc = path("round.ppm");
    ASSERT_EQ(QEL_WritePnmImage(pc.c_str(), c.get(), 0), 0);
    for (auto* reader : {&QEL_ReadPnmImage, &QEL_ReadPpmImage}) {
        Image back(reader(pc.c_str()));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->size->nx, width);
        EXPECT_EQ(back->size->ny, height);
        EXPECT_EQ(back->unit[0], QEL_VOXEL_UNIT_UINT32);
        EXPECT_EQ(back->attribute[0], QEL_ATTRIBUTE_RGBA);
        std::vector<uint32_t> expected = packed;
        for (auto& w : expected) w = (w & 0xFFFFFF00u) | 0xFFu;  // alpha comes back opaque
        EXPECT_EQ(packed_pixels(back.get()), expected);
    }
    // Each reader refuses the other kind.
    EXPECT_EQ(QEL_ReadPpmImage(pg.c_str()), nullptr);
    EXPECT_EQ(QEL_ReadPgmImage(pc.c_str()), nullptr);
}

TEST_F(PnmFiles, HeaderFormsOtherThanTheWritersAreRead) {
    const Bytes raster{9, 10, 13, 32, 35, 200};
    const struct {
        const char* name;
        std::string header;
    } forms[] = {
        {"one line", "P5 3 2 255\n"},
        {"tabs and CR", "P5\t3\r2\t255\t"},
        {"comments everywhere", "P5 # magic\n#\n3# width\n  # more\n2\n#max\n255\n"},
        {"comment with CR LF", "P5\r\n# note\r\n3 2\r\n255 "},
        {"leading white space", "\n P5\n3 2\n255\n"},
        {"leading zeros", "P5\n0003 002\n00255\n"},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        const std::string p = file_with("form.pgm", bytes_of(form.header) + raster);
        Image image(QEL_ReadPnmImage(p.c_str()));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size->nx, 3);
        EXPECT_EQ(image->size->ny, 2);
        EXPECT_EQ(grey_pixels(image.get()), raster);
    }
    // Only one byte ends the header: the LF of a CR LF pair is the first pixel.
    const std::string p = file_with("crlf.pgm", bytes_of("P5 2 1 255\r\n") + Bytes{7});
    Image image(QEL_ReadPgmImage(p.c_str()));
    ASSERT_TRUE(image);
    EXPECT_EQ(grey_pixels(image.get()), (Bytes{10, 7}));
}

TEST_F(PnmFiles, ShortRastersAreFilled) {
    {
        const std::string p = file_with("short.pgm", bytes_of("P5 3 2 255\n") + Bytes{1, 2, 3, 4});
        Image image(QEL_ReadPnmImage(p.c_str()));
        ASSERT_TRUE(image);
        EXPECT_EQ(grey_pixels(image.get()), (Bytes{1, 2, 3, 4, 0, 0}));
    }
    {
        // Two whole pixels, then R and G of a third, then nothing.
        const std::string p =
            file_with("short.ppm", bytes_of("P6 2 2 255\n") + Bytes{1, 2, 3, 4, 5, 6, 7, 8});
        Image image(QEL_ReadPnmImage(p.c_str()));
        ASSERT_TRUE(image);
        EXPECT_EQ(packed_pixels(image.get()),
                  (std::vector<uint32_t>{0x010203FFu, 0x040506FFu, 0x0708FFFFu, 0xFFFFFFFFu}));
    }
    {
        const std::string p = file_with("r-only.ppm", bytes_of("P6 2 1 255\n") + Bytes{1, 2, 3, 9});
        Image image(QEL_ReadPpmImage(p.c_str()));
        ASSERT_TRUE(image);
        EXPECT_EQ(packed_pixels(image.get()), (std::vector<uint32_t>{0x010203FFu, 0x09FFFFFFu}));
    }
    {
        // The file ends right behind the maximum value.
        const std::string p = file_with("bare.ppm", bytes_of("P6 1 2 255"));
        Image image(QEL_ReadPpmImage(p.c_str()));
        ASSERT_TRUE(image);
        EXPECT_EQ(packed_pixels(image.get()), (std::vector<uint32_t>{0xFFFFFFFFu, 0xFFFFFFFFu}));
    }
}

TEST_F(PnmFiles, ARasterMissingMoreThan64MiBIsRefusedBeforeAnyAllocation) {
    // A few header bytes must not make the reader allocate and fill what the file does not
    // hold: up to 64 MiB missing is filled in, one byte more refuses the file.
    const int64_t limit = int64_t{64} << 20;
    {
        // 8192 x 8192 grey pixels: exactly 64 MiB, none of them in the file.
        const std::string p = file_with("edge.pgm", bytes_of("P5 8192 8192 255\n"));
        Image image(QEL_ReadPnmImage(p.c_str()));
        ASSERT_TRUE(image);
        const auto* px = static_cast<const unsigned char*>(image->data[0]);
        EXPECT_EQ(px[0], 0);
        EXPECT_EQ(px[limit - 1], 0);
    }
    {
        // 8193 x 8192 pixels of which 8191 are in the file: 64 MiB and one byte missing.
        const std::string p = file_with("over.pgm", bytes_of("P5 8193 8192 255\n") + Bytes(8191, 7));
        EXPECT_EQ(QEL_ReadPnmImage(p.c_str()), nullptr);
        EXPECT_EQ(QEL_ReadPgmImage(p.c_str()), nullptr);
    }
    {
        // Colour: 3 bytes per pixel, 4096 x 5462 pixels = 64 MiB + 8192 bytes of raster.
        const std::string p = file_with("edge.ppm", bytes_of("P6 4096 5462 255\n") + Bytes(8192, 9));
        Image image(QEL_ReadPpmImage(p.c_str()));
        ASSERT_TRUE(image);
        const auto* words = static_cast<const uint32_t*>(image->data[0]);
        EXPECT_EQ(words[0], 0x090909FFu);
        EXPECT_EQ(words[4096 * 5462 - 1], 0xFFFFFFFFu);
        const std::string q = file_with("over.ppm", bytes_of("P6 4096 5462 255\n") + Bytes(8191, 9));
        EXPECT_EQ(QEL_ReadPnmImage(q.c_str()), nullptr);
        EXPECT_EQ(QEL_ReadPpmImage(q.c_str()), nullptr);
    }
}

TEST_F(PnmFiles, LargeColourRasterCrossesReadChunks) {
    // More pixels than one read chunk, cut inside a pixel.
    const int width = 129, height = 70;
    Bytes raster(3 * width * height - 4);
    std::mt19937 rng(7);
    for (auto& b : raster) b = static_cast<unsigned char>(rng());
    const std::string p = file_with("big.ppm", bytes_of("P6\n129 70\n255\n") + raster);
    Image image(QEL_ReadPnmImage(p.c_str()));
    ASSERT_TRUE(image);
    const auto words = packed_pixels(image.get());
    for (size_t i = 0; i < words.size(); ++i) {
        uint32_t expected = 0xFFFFFFFFu;
        for (size_t k = 0; k < 3 && 3 * i + k < raster.size(); ++k)
            expected = (expected & ~(0xFFu << (24 - 8 * k))) | static_cast<uint32_t>(raster[3 * i + k]) << (24 - 8 * k);
        ASSERT_EQ(words[i], expected) << "pixel " << i;
    }
}

TEST_F(PnmFiles, ReadersRefuseOtherMagicsAndBadHeaders) {
    const struct {
        const char* name;
        std::string content;
    } bad[] = {
        {"ASCII grey", "P2 2 1 255\n10 200\n"},
        {"ASCII colour", "P3 1 1 255\n1 2 3\n"},
        {"bitmap", "P4 8 1\n\x01"},
        {"magic only begins with P5", "P5x 2 1 255\nab"},
        {"magic P55", "P55 2 1 255\nab"},
        {"magic glued to comment", "P5#c\n2 1 255\nab"},
        {"comment before magic", "# c\nP5 2 1 255\nab"},
        {"empty", ""},
        {"magic only", "P5"},
        {"missing height", "P5 2\n"},
        {"missing maxval", "P5 2 1\n"},
        {"non-numeric width", "P5 x 1 255\nab"},
        {"glued width", "P5 2x1 255\nab"},
        {"maxval 65535", "P5 2 1 65535\nabcd"},
        {"maxval 254", "P5 2 1 254\nab"},
        {"maxval 1", "P5 2 1 1\nab"},
        {"maxval glued to raster", "P5 2 1 255ab"},
        {"zero width", "P5 0 1 255\n"},
        {"zero height", "P5 1 0 255\n"},
        {"negative width", "P5 -2 1 255\nab"},
        {"negative height", "P5 2 -1 255\nab"},
        {"width beyond int", "P5 99999999999 1 255\n"},
        {"product beyond int", "P5 65536 65536 255\n"},
        {"product just beyond int", "P5 46341 46341 255\n"},
        {"colour product beyond int", "P6 2147483647 2 255\n"},
        // The magic is exactly two characters and white space: a NUL does not end it.
        {"NUL after magic", std::string("P5\0junk 2 1 255\nab", 18)},
        {"NUL then blank", std::string("P6\0 1 1 255\nabc", 15)},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        const std::string p = file_with("bad.pnm", bytes_of(b.content));
        EXPECT_EQ(QEL_ReadPnmImage(p.c_str()), nullptr);
        EXPECT_EQ(QEL_ReadPgmImage(p.c_str()), nullptr);
        EXPECT_EQ(QEL_ReadPpmImage(p.c_str()), nullptr);
    }
    std::string long_token = "P5" + std::string(600, 'x') + " 2 1 255\nab";
    const std::string p = file_with("long.pnm", bytes_of(long_token));
    EXPECT_EQ(QEL_ReadPnmImage(p.c_str()), nullptr);
    EXPECT_EQ(QEL_ReadPnmImage(path("missing.pnm").c_str()), nullptr);
    EXPECT_EQ(QEL_ReadPnmImage(nullptr), nullptr);
    EXPECT_EQ(QEL_ReadPgmImage(dir_.c_str()), nullptr);
}

}  // namespace
