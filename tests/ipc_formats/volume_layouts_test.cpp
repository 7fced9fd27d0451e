// Whole-volume and single-channel payloads: exact bytes, round trips, the channel limit
// and the in-place channel replacement.
#include <gtest/gtest.h>

#include <cstring>

#include "ipc_formats/board_helpers.hpp"

using namespace formats_test;

namespace {

VolumePtr new_volume(int nx, int ny, int nz, std::vector<int> units, std::vector<int> attributes) {
    const QelSize4i size{nx, ny, nz, static_cast<int>(units.size())};
    return VolumePtr(QEL_NewRawVolumeData(&size, units.data(), attributes.data()));
}

int64_t voxels(const QelRawVolumeData* v) {
    return int64_t{v->size->nx} * v->size->ny * v->size->nz;
}

// Packs through the size operation into a guarded board and checks the guard.
std::vector<uint8_t> pack_volume(const QelRawVolumeData* v) {
    const int size = QELipc_SizeOfRawVolumeData(v);
    EXPECT_GT(size, 0);
    GuardedBoard board(size);
    EXPECT_EQ(QELipc_PackRawVolumeData(v, board.data()), 0);
    EXPECT_TRUE(board.guard_intact());
    return board.payload();
}

std::vector<uint8_t> pack_channel(const QelRawVolumeData* v, int c) {
    const int size = QELipc_SizeOfSingleChannel(v, c);
    EXPECT_GT(size, 0);
    GuardedBoard board(size);
    EXPECT_EQ(QELipc_PackSingleChannel(v, c, board.data()), 0);
    EXPECT_TRUE(board.guard_intact());
    return board.payload();
}

// Same shape, units, attributes and bytes.
void expect_same_volume(const QelRawVolumeData* a, const QelRawVolumeData* b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->size->nx, b->size->nx);
    ASSERT_EQ(a->size->ny, b->size->ny);
    ASSERT_EQ(a->size->nz, b->size->nz);
    ASSERT_EQ(a->size->nChannels, b->size->nChannels);
    for (int c = 0; c < a->size->nChannels; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(a->unit[c], b->unit[c]);
        EXPECT_EQ(a->attribute[c], b->attribute[c]);
        const int64_t bytes = voxels(a) * unit_width(a->unit[c]);
        EXPECT_TRUE(same_block(a->data[c], b->data[c], bytes));
    }
}

VolumePtr unpack_exact(const std::vector<uint8_t>& payload) {
    ExactBoard board(payload);
    return VolumePtr(QELipc_UnpackRawVolumeData(board.data(), board.size()));
}

VolumePtr unpack_channel_exact(const std::vector<uint8_t>& payload) {
    ExactBoard board(payload);
    return VolumePtr(QELipc_UnpackSingleChannel(board.data(), board.size()));
}

}  // namespace

TEST(VolumeLayout, TwoChannelExampleIs72BytesWithFieldsAtTheirOffsets) {
    auto v = new_volume(2, 2, 2, {0, 6}, {0, 2});
    ASSERT_TRUE(v);
    auto* u8 = static_cast<uint8_t*>(v->data[0]);
    for (int i = 0; i < 8; ++i) u8[i] = static_cast<uint8_t>(10 + i);
    const uint32_t floats[8] = {0x3F800000, 0xBF800000, 0x7FC00001, 0x80000000,
                                0x00000001, 0x7F800000, 0x40490FDB, 0x7F800001};
    for (int i = 0; i < 8; ++i) set_element_bits(v->data[1], 6, i, floats[i]);

    Golden g;
    g.word(2).word(2).word(2).word(2);  // nx ny nz nChannels
    g.word(0).word(6);                  // units at 16 and 20
    g.word(0).word(2);                  // attributes at 24 and 28
    for (int i = 0; i < 8; ++i) g.element(10 + i, 1);        // channel 0 at 32..39
    for (int i = 0; i < 8; ++i) g.element(floats[i], 4);     // channel 1 at 40..71
    ASSERT_EQ(g.size(), 72u);

    EXPECT_EQ(QELipc_SizeOfRawVolumeData(v.get()), 72);
    EXPECT_EQ(pack_volume(v.get()), g.bytes);
    expect_same_volume(unpack_exact(g.bytes).get(), v.get());
}

TEST(VolumeLayout, OneVoxelVolumeIs25BytesWithItsVoxelAt24) {
    auto v = new_volume(1, 1, 1, {0}, {0});
    ASSERT_TRUE(v);
    static_cast<uint8_t*>(v->data[0])[0] = 0xC3;
    Golden g;
    g.word(1).word(1).word(1).word(1).word(0).word(0).element(0xC3, 1);
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(v.get()), 25);
    EXPECT_EQ(pack_volume(v.get()), g.bytes);
    EXPECT_EQ(g.bytes[24], 0xC3);
    expect_same_volume(unpack_exact(g.bytes).get(), v.get());
}

TEST(VolumeLayout, InvalidUnitChannelCarriesUnitAndAttributeButNoData) {
    auto v = new_volume(2, 1, 1, {3, 11, 0}, {0, -5, 2});
    ASSERT_TRUE(v);
    set_element_bits(v->data[0], 3, 0, 0x8000);
    set_element_bits(v->data[0], 3, 1, 0x1234);
    static_cast<uint8_t*>(v->data[2])[0] = 0x01;
    static_cast<uint8_t*>(v->data[2])[1] = 0xFE;
    Golden g;
    g.word(2).word(1).word(1).word(3).word(3).word(11).word(0).word(0).word(-5).word(2);
    g.element(0x8000, 2).element(0x1234, 2).element(0x01, 1).element(0xFE, 1);
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(v.get()), 16 + (4 + 8) + (0 + 8) + (2 + 8));
    EXPECT_EQ(pack_volume(v.get()), g.bytes);
    auto back = unpack_exact(g.bytes);
    expect_same_volume(back.get(), v.get());
}

TEST(SingleChannelLayout, TenCubedInt16ChannelIs2020Bytes) {
    auto v = new_volume(10, 10, 10, {0, 3}, {0, 0});
    ASSERT_TRUE(v);
    for (int i = 0; i < 1000; ++i) set_element_bits(v->data[1], 3, i, static_cast<uint16_t>(i * 977 - 31000));
    Golden g;
    g.word(10).word(10).word(10).word(3).word(0);
    for (int i = 0; i < 1000; ++i) g.element(static_cast<uint16_t>(i * 977 - 31000), 2);
    ASSERT_EQ(g.size(), 2020u);
    EXPECT_EQ(QELipc_SizeOfSingleChannel(v.get(), 1), 2020);
    EXPECT_EQ(pack_channel(v.get(), 1), g.bytes);

    auto back = unpack_channel_exact(g.bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size->nChannels, 1);
    EXPECT_EQ(back->size->nx, 10);
    EXPECT_EQ(back->unit[0], 3);
    EXPECT_EQ(std::memcmp(back->data[0], v->data[1], 2000), 0);
}

TEST(SingleChannelLayout, AttributeAndInvalidUnitAreCopiedUnchecked) {
    auto v = new_volume(3, 1, 2, {4, 42}, {2, INT32_MIN});
    ASSERT_TRUE(v);
    fill_odd(v->data[0], 4, 6, 3);
    Golden g;
    g.word(3).word(1).word(2).word(4).word(2);
    append_block(g, v->data[0], 4, 6);
    EXPECT_EQ(pack_channel(v.get(), 0), g.bytes);

    Golden bad;
    bad.word(3).word(1).word(2).word(42).word(INT32_MIN);
    EXPECT_EQ(QELipc_SizeOfSingleChannel(v.get(), 1), 20);
    EXPECT_EQ(pack_channel(v.get(), 1), bad.bytes);
    auto back = unpack_channel_exact(bad.bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->unit[0], 42);
    EXPECT_EQ(back->attribute[0], INT32_MIN);
}

TEST(VolumeLayout, AllUnitsRoundTripBitForBit) {
    // Every unit with NaN payloads, -0.0, denormals and extreme integers, plus an invalid
    // unit and odd attribute words, through both layouts.
    std::vector<int> units = {0, 1, 2, 3, 4, 5, 6, 7, -1};
    std::vector<int> attributes = {0, 2, INT32_MIN, INT32_MAX, -1, 7, 2, 0, 99};
    auto v = new_volume(5, 3, 2, units, attributes);
    ASSERT_TRUE(v);
    for (int c = 0; c < 8; ++c) fill_odd(v->data[c], c, voxels(v.get()), c + 1);

    Golden g;
    g.word(5).word(3).word(2).word(9);
    for (int u : units) g.word(u);
    for (int a : attributes) g.word(a);
    for (int c = 0; c < 9; ++c) append_block(g, v->data[c], units[c], voxels(v.get()));
    EXPECT_EQ(pack_volume(v.get()), g.bytes);
    expect_same_volume(unpack_exact(g.bytes).get(), v.get());

    for (int c = 0; c < 9; ++c) {
        SCOPED_TRACE(c);
        auto one = unpack_channel_exact(pack_channel(v.get(), c));
        ASSERT_TRUE(one);
        EXPECT_EQ(one->unit[0], units[c]);
        EXPECT_EQ(one->attribute[0], attributes[c]);
        const int64_t bytes = voxels(v.get()) * unit_width(units[c]);
        EXPECT_TRUE(same_block(one->data[0], v->data[c], bytes));
    }
}

TEST(VolumeLayout, UnpackAccepts256ChannelsAndRefuses257) {
    for (int n : {256, 257}) {
        SCOPED_TRACE(n);
        std::vector<int> units(n), attributes(n);
        for (int c = 0; c < n; ++c) {
            units[c] = c % 8;
            attributes[c] = c;
        }
        auto v = new_volume(2, 1, 1, units, attributes);
        ASSERT_TRUE(v);
        int64_t data_bytes = 0;
        for (int c = 0; c < n; ++c) {
            fill_odd(v->data[c], units[c], 2, c);
            data_bytes += 2 * unit_width(units[c]);
        }
        EXPECT_EQ(QELipc_SizeOfRawVolumeData(v.get()), 16 + 8 * n + data_bytes);
        auto payload = pack_volume(v.get());  // packing has no channel limit
        auto back = unpack_exact(payload);
        if (n == 256) {
            expect_same_volume(back.get(), v.get());
        } else {
            EXPECT_FALSE(back);
        }
    }
}

TEST(VolumeLayout, MissingRecordOrChannelWritesNothing) {
    GuardedBoard board(64);
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(nullptr), 0);
    EXPECT_EQ(QELipc_PackRawVolumeData(nullptr, board.data()), -1);
    EXPECT_EQ(QELipc_SizeOfSingleChannel(nullptr, 0), 0);
    EXPECT_EQ(QELipc_PackSingleChannel(nullptr, 0, board.data()), -1);

    auto v = new_volume(1, 1, 1, {0, 0}, {0, 0});
    ASSERT_TRUE(v);
    for (int c : {-1, 2, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(QELipc_SizeOfSingleChannel(v.get(), c), 0);
        EXPECT_EQ(QELipc_PackSingleChannel(v.get(), c, board.data()), -1);
    }
    EXPECT_TRUE(board.untouched());
}

TEST(UnpackSingleChannelInto, ReplacesOneChannelAndMayChangeItsUnit) {
    auto v = new_volume(3, 2, 2, {2, 0}, {0, 0});
    ASSERT_TRUE(v);
    fill_odd(v->data[0], 2, 12, 1);
    fill_odd(v->data[1], 0, 12, 2);
    std::vector<uint8_t> other(static_cast<uint8_t*>(v->data[1]), static_cast<uint8_t*>(v->data[1]) + 12);
    void* other_block = v->data[1];
    QelSize4i* size_record = v->size;

    Golden g;
    g.word(3).word(2).word(2).word(6).word(2);
    std::vector<uint32_t> floats(12);
    for (int i = 0; i < 12; ++i) {
        floats[i] = i < 8 ? static_cast<uint32_t>(odd_patterns(6)[i]) : 0x3F800000u + i;
        g.element(floats[i], 4);
    }
    ExactBoard board(g.bytes);
    ASSERT_EQ(QELipc_UnpackSingleChannelInto(v.get(), 0, board.data(), board.size()), 0);

    EXPECT_EQ(v->unit[0], 6);
    EXPECT_EQ(v->attribute[0], 2);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(element_bits(v->data[0], 6, i), floats[i]) << i;
    // The row tables lead to the new block.
    EXPECT_EQ(QEL_GetRowOfRawVolumeData(v.get(), 0, 1, 1),
              static_cast<void*>(static_cast<uint8_t*>(v->data[0]) + 4 * (3 * (1 + 2 * 1))));
    EXPECT_EQ(v->size, size_record);
    EXPECT_EQ(v->size->nChannels, 2);
    EXPECT_EQ(v->unit[1], 0);
    EXPECT_EQ(v->data[1], other_block);
    EXPECT_EQ(std::memcmp(v->data[1], other.data(), 12), 0);
}

TEST(UnpackSingleChannelInto, RefusalsLeaveTheVolumeWhole) {
    auto v = new_volume(3, 2, 2, {3, 0}, {0, 0});
    ASSERT_TRUE(v);
    fill_odd(v->data[0], 3, 12, 5);
    std::vector<uint8_t> before(static_cast<uint8_t*>(v->data[0]), static_cast<uint8_t*>(v->data[0]) + 24);
    void* block = v->data[0];
    void*** slices = v->slices[0];

    auto board_of = [](int nx, int ny, int nz, int unit) {
        Golden g;
        g.word(nx).word(ny).word(nz).word(unit).word(0);
        for (int64_t i = 0; i < int64_t{nx} * ny * nz * unit_width(unit); ++i) g.element(0xEE, 1);
        return g.bytes;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> payload;
        int channel;
        size_t cut;  // bytes removed from the end of the board
    };
    const Case cases[] = {
        {"nx differs", board_of(2, 2, 2, 6), 0, 0},
        {"ny differs", board_of(3, 3, 2, 6), 0, 0},
        {"nz differs", board_of(3, 2, 1, 6), 0, 0},
        {"same voxel count, other shape", board_of(2, 3, 2, 6), 0, 0},
        {"channel index past the end", board_of(3, 2, 2, 6), 2, 0},
        {"negative channel index", board_of(3, 2, 2, 6), -1, 0},
        {"block one byte short", board_of(3, 2, 2, 6), 0, 1},
        {"header only", board_of(3, 2, 2, 6), 0, 48},
        {"header cut", board_of(3, 2, 2, 6), 0, 49},
        {"empty board", board_of(3, 2, 2, 6), 0, 68},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ExactBoard board(k.payload, k.payload.size() - k.cut);
        EXPECT_EQ(QELipc_UnpackSingleChannelInto(v.get(), k.channel, board.data(), board.size()), -1);
        EXPECT_EQ(v->unit[0], 3);
        EXPECT_EQ(v->attribute[0], 0);
        EXPECT_EQ(v->data[0], block);
        EXPECT_EQ(v->slices[0], slices);
        EXPECT_EQ(std::memcmp(v->data[0], before.data(), 24), 0);
    }
    auto ok = board_of(3, 2, 2, 6);
    EXPECT_EQ(QELipc_UnpackSingleChannelInto(nullptr, 0, ok.data(), ok.size()), -1);
    EXPECT_EQ(QELipc_UnpackSingleChannelInto(v.get(), 0, nullptr, ok.size()), -1);
}
