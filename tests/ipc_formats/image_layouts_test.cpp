// Whole-image and single-image-channel payloads: exact bytes and round trips.
#include <gtest/gtest.h>

#include <cstring>

#include "ipc_formats/board_helpers.hpp"

using namespace formats_test;

namespace {

ImagePtr new_image(int width, int height, std::vector<int> units, std::vector<int> attributes) {
    const QelSize3i size{width, height, static_cast<int>(units.size())};
    return ImagePtr(QEL_NewRawImageData(&size, units.data(), attributes.data()));
}

int64_t pixels(const QelRawImageData* im) { return int64_t{im->size->nx} * im->size->ny; }

std::vector<uint8_t> pack_image(const QelRawImageData* im) {
    const int size = QELipc_SizeOfRawImageData(im);
    EXPECT_GT(size, 0);
    GuardedBoard board(size);
    EXPECT_EQ(QELipc_PackRawImageData(im, board.data()), 0);
    EXPECT_TRUE(board.guard_intact());
    return board.payload();
}

std::vector<uint8_t> pack_image_channel(const QelRawImageData* im, int c) {
    const int size = QELipc_SizeOfSingleImageChannel(im, c);
    EXPECT_GT(size, 0);
    GuardedBoard board(size);
    EXPECT_EQ(QELipc_PackSingleImageChannel(im, c, board.data()), 0);
    EXPECT_TRUE(board.guard_intact());
    return board.payload();
}

ImagePtr unpack_exact(const std::vector<uint8_t>& payload) {
    ExactBoard board(payload);
    return ImagePtr(QELipc_UnpackRawImageData(board.data(), board.size()));
}

ImagePtr unpack_channel_exact(const std::vector<uint8_t>& payload) {
    ExactBoard board(payload);
    return ImagePtr(QELipc_UnpackSingleImageChannel(board.data(), board.size()));
}

void expect_same_image(const QelRawImageData* a, const QelRawImageData* b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->size->nx, b->size->nx);
    ASSERT_EQ(a->size->ny, b->size->ny);
    ASSERT_EQ(a->size->nz, b->size->nz);
    for (int c = 0; c < a->size->nz; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(a->unit[c], b->unit[c]);
        EXPECT_EQ(a->attribute[c], b->attribute[c]);
        const int64_t bytes = pixels(a) * unit_width(a->unit[c]);
        EXPECT_TRUE(same_block(a->data[c], b->data[c], bytes));
    }
}

}  // namespace

TEST(ImageLayout, Grey64x48PacksTo3092And3088Bytes) {
    auto im = new_image(64, 48, {0}, {0});
    ASSERT_TRUE(im);
    auto* px = static_cast<uint8_t*>(im->data[0]);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) px[x + 64 * y] = static_cast<uint8_t>(x * 3 + y * 7);

    Golden whole;
    whole.word(64).word(48).word(1).word(0).word(0);
    Golden single;
    single.word(64).word(48).word(0).word(0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            whole.element(static_cast<uint8_t>(x * 3 + y * 7), 1);
            single.element(static_cast<uint8_t>(x * 3 + y * 7), 1);
        }
    ASSERT_EQ(whole.size(), 3092u);
    ASSERT_EQ(single.size(), 3088u);

    EXPECT_EQ(QELipc_SizeOfRawImageData(im.get()), 3092);
    EXPECT_EQ(QELipc_SizeOfSingleImageChannel(im.get(), 0), 3088);
    EXPECT_EQ(pack_image(im.get()), whole.bytes);
    EXPECT_EQ(pack_image_channel(im.get(), 0), single.bytes);
    expect_same_image(unpack_exact(whole.bytes).get(), im.get());
    expect_same_image(unpack_channel_exact(single.bytes).get(), im.get());
}

TEST(ImageLayout, RgbaAndFloatChannelsAtTheirOffsets) {
    auto im = new_image(2, 1, {4, 7}, {2, 0});
    ASSERT_TRUE(im);
    set_element_bits(im->data[0], 4, 0, 0x11223344);
    set_element_bits(im->data[0], 4, 1, 0xFF0000FF);
    set_element_bits(im->data[1], 7, 0, 0x8000000000000000ull);
    set_element_bits(im->data[1], 7, 1, 0x7FF0000000000001ull);
    Golden g;
    g.word(2).word(1).word(2).word(4).word(7).word(2).word(0);
    // Packed RGBA words travel in memory order: A, B, G, R.
    g.element(0x44, 1).element(0x33, 1).element(0x22, 1).element(0x11, 1);
    g.element(0xFF, 1).element(0x00, 1).element(0x00, 1).element(0xFF, 1);
    g.element(0x8000000000000000ull, 8).element(0x7FF0000000000001ull, 8);
    ASSERT_EQ(g.size(), 12u + 16 + 8 + 16);
    EXPECT_EQ(pack_image(im.get()), g.bytes);
    expect_same_image(unpack_exact(g.bytes).get(), im.get());
}

TEST(ImageLayout, AllUnitsRoundTripBitForBit) {
    std::vector<int> units = {7, 6, 5, 4, 3, 2, 1, 0, 8};
    std::vector<int> attributes = {INT32_MAX, 2, 0, 2, -3, 0, 1, INT32_MIN, 4};
    auto im = new_image(7, 3, units, attributes);
    ASSERT_TRUE(im);
    for (int c = 0; c < 8; ++c) fill_odd(im->data[c], units[c], pixels(im.get()), 40 + c);

    Golden g;
    g.word(7).word(3).word(9);
    for (int u : units) g.word(u);
    for (int a : attributes) g.word(a);
    for (int c = 0; c < 9; ++c) append_block(g, im->data[c], units[c], pixels(im.get()));
    EXPECT_EQ(pack_image(im.get()), g.bytes);
    expect_same_image(unpack_exact(g.bytes).get(), im.get());

    for (int c = 0; c < 9; ++c) {
        SCOPED_TRACE(c);
        Golden one;
        one.word(7).word(3).word(units[c]).word(attributes[c]);
        append_block(one, im->data[c], units[c], pixels(im.get()));
        EXPECT_EQ(pack_image_channel(im.get(), c), one.bytes);
        auto back = unpack_channel_exact(one.bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->size->nz, 1);
        EXPECT_EQ(back->unit[0], units[c]);
        EXPECT_EQ(back->attribute[0], attributes[c]);
        const int64_t bytes = pixels(im.get()) * unit_width(units[c]);
        EXPECT_TRUE(same_block(back->data[0], im->data[c], bytes));
    }
}

TEST(ImageLayout, UnpackAccepts256ChannelsAndRefuses257) {
    for (int n : {256, 257}) {
        SCOPED_TRACE(n);
        std::vector<int> units(n, 2), attributes(n, 0);
        auto im = new_image(1, 2, units, attributes);
        ASSERT_TRUE(im);
        for (int c = 0; c < n; ++c) fill_odd(im->data[c], 2, 2, c);
        EXPECT_EQ(QELipc_SizeOfRawImageData(im.get()), 12 + n * (8 + 4));
        auto back = unpack_exact(pack_image(im.get()));
        if (n == 256) {
            expect_same_image(back.get(), im.get());
        } else {
            EXPECT_FALSE(back);
        }
    }
}

TEST(ImageLayout, MissingRecordOrChannel) {
    GuardedBoard board(64);
    EXPECT_EQ(QELipc_SizeOfRawImageData(nullptr), -1);
    EXPECT_EQ(QELipc_PackRawImageData(nullptr, board.data()), -1);
    EXPECT_EQ(QELipc_SizeOfSingleImageChannel(nullptr, 0), 0);
    EXPECT_EQ(QELipc_PackSingleImageChannel(nullptr, 0, board.data()), -1);
    auto im = new_image(2, 2, {0}, {0});
    ASSERT_TRUE(im);
    for (int c : {-1, 1, INT32_MAX}) {
        EXPECT_EQ(QELipc_SizeOfSingleImageChannel(im.get(), c), 0);
        EXPECT_EQ(QELipc_PackSingleImageChannel(im.get(), c, board.data()), -1);
    }
    EXPECT_TRUE(board.untouched());
}
