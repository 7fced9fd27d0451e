// Boards that lie: truncated payloads, headers with negative, zero or huge dimensions and
// channel counts that exceed the board. Every board is a heap block of exactly its size,
// so a read past the end fails under ASan. Also the 32-bit limit of the payload sizes.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "ipc_formats/board_helpers.hpp"
#include "support/capture.hpp"

using namespace formats_test;

namespace {

enum class Layout { Volume, Channel, Image, ImageChannel };

// Unpacks with the layout's unpacker; true when a record came back.
bool unpacks(Layout layout, const std::vector<uint8_t>& payload, size_t n) {
    ExactBoard board(payload, n);
    switch (layout) {
        case Layout::Volume: {
            VolumePtr v(QELipc_UnpackRawVolumeData(board.data(), board.size()));
            return v != nullptr;
        }
        case Layout::Channel: {
            VolumePtr v(QELipc_UnpackSingleChannel(board.data(), board.size()));
            return v != nullptr;
        }
        case Layout::Image: {
            ImagePtr im(QELipc_UnpackRawImageData(board.data(), board.size()));
            return im != nullptr;
        }
        case Layout::ImageChannel: {
            ImagePtr im(QELipc_UnpackSingleImageChannel(board.data(), board.size()));
            return im != nullptr;
        }
    }
    return false;
}

bool unpacks(Layout layout, const std::vector<uint8_t>& payload) {
    return unpacks(layout, payload, payload.size());
}

// A volume header with its unit and attribute words, followed by `data` bytes.
std::vector<uint8_t> volume_board(int nx, int ny, int nz, int n, std::vector<int> units,
                                  size_t data) {
    Golden g;
    g.word(nx).word(ny).word(nz).word(n);
    for (int u : units) g.word(u);
    for (size_t i = 0; i < units.size(); ++i) g.word(0);
    g.bytes.resize(g.bytes.size() + data, 0x5A);
    return g.bytes;
}

std::vector<uint8_t> image_board(int width, int height, int n, std::vector<int> units, size_t data) {
    Golden g;
    g.word(width).word(height).word(n);
    for (int u : units) g.word(u);
    for (size_t i = 0; i < units.size(); ++i) g.word(0);
    g.bytes.resize(g.bytes.size() + data, 0x5A);
    return g.bytes;
}

std::vector<uint8_t> channel_board(std::vector<int> dims, int unit, size_t data) {
    Golden g;
    for (int d : dims) g.word(d);
    g.word(unit).word(2);
    g.bytes.resize(g.bytes.size() + data, 0x5A);
    return g.bytes;
}

}  // namespace

TEST(HostileBoards, EveryTruncationIsRefusedAndTheFullBoardAccepted) {
    // Valid payloads of each layout, several channels of different widths.
    const struct {
        Layout layout;
        std::vector<uint8_t> payload;
    } boards[] = {
        {Layout::Volume, volume_board(3, 2, 2, 3, {7, 0, 3}, 12 * (8 + 1 + 2))},
        {Layout::Channel, channel_board({3, 2, 2}, 5, 12 * 4)},
        {Layout::Image, image_board(3, 2, 3, {6, 1, 2}, 6 * (4 + 1 + 2))},
        {Layout::ImageChannel, channel_board({3, 2}, 7, 6 * 8)},
    };
    for (const auto& b : boards) {
        SCOPED_TRACE(static_cast<int>(b.layout));
        for (size_t n = 0; n < b.payload.size(); ++n)
            EXPECT_FALSE(unpacks(b.layout, b.payload, n)) << "accepted " << n << " bytes";
        EXPECT_TRUE(unpacks(b.layout, b.payload));
        // A board larger than its payload is accepted; the rest is not looked at.
        auto longer = b.payload;
        longer.resize(longer.size() + 7, 0xCC);
        EXPECT_TRUE(unpacks(b.layout, longer));
    }
}

TEST(HostileBoards, BadWholeVolumeHeadersAreRefused) {
    const struct {
        const char* what;
        std::vector<uint8_t> board;
    } cases[] = {
        {"nx 0", volume_board(0, 2, 2, 1, {0}, 0)},
        {"nx -1", volume_board(-1, 2, 2, 1, {0}, 64)},
        {"ny INT_MIN", volume_board(2, INT_MIN, 2, 1, {0}, 64)},
        {"nz -7", volume_board(2, 2, -7, 1, {0}, 64)},
        {"two negative dims", volume_board(-2, -2, 1, 1, {0}, 64)},
        {"no channels", volume_board(2, 2, 2, 0, {}, 64)},
        {"negative channel count", volume_board(2, 2, 2, -1, {}, 64)},
        {"channel count INT_MIN", volume_board(1, 1, 1, INT_MIN, {}, 64)},
        {"channel count INT_MAX", volume_board(1, 1, 1, INT_MAX, {0, 0}, 64)},
        {"257 channels", volume_board(1, 1, 1, 257, std::vector<int>(257, 0), 257)},
        {"200 channels, one unit word", volume_board(1, 1, 1, 200, {0}, 1)},
        {"attribute table cut short", volume_board(1, 1, 1, 3, {0, 0, 0}, 0)},
        {"voxel count past 32 bits", volume_board(65536, 65536, 1, 1, {0}, 64)},
        {"voxel count just past INT_MAX", volume_board(46341, 46341, 1, 1, {0}, 64)},
        {"a gigabyte promised, header given", volume_board(1000, 1000, 1000, 1, {0}, 0)},
        {"channel bytes past 32 bits", volume_board(1290, 1290, 1290, 1, {7}, 64)},
        {"second channel's data missing", volume_board(4, 4, 4, 2, {0, 6}, 64 + 255)},
        // Invalid units carry no data, but the record still builds a row table per channel.
        {"invalid unit, 2^31 rows", volume_board(1, 46340, 46340, 1, {99}, 64)},
        {"invalid units, rows beyond the board", volume_board(1, 8, 8, 2, {-1, 8}, 0)},
    };
    for (const auto& k : cases) EXPECT_FALSE(unpacks(Layout::Volume, k.board)) << k.what;
    EXPECT_FALSE(QELipc_UnpackRawVolumeData(nullptr, 100));
}

TEST(HostileBoards, BadImageHeadersAreRefused) {
    const struct {
        const char* what;
        std::vector<uint8_t> board;
    } cases[] = {
        {"width 0", image_board(0, 4, 1, {0}, 64)},
        {"height -1", image_board(4, -1, 1, {0}, 64)},
        {"width INT_MIN", image_board(INT_MIN, 1, 1, {0}, 64)},
        {"no channels", image_board(2, 2, 0, {}, 64)},
        {"negative channel count", image_board(2, 2, -3, {}, 64)},
        {"257 channels", image_board(1, 1, 257, std::vector<int>(257, 0), 257)},
        {"channel count beyond the board", image_board(1, 1, 100, {0, 0}, 0)},
        {"pixel count past 32 bits", image_board(65536, 65536, 1, {0}, 64)},
        {"channel bytes past 32 bits", image_board(46340, 46340, 1, {7}, 64)},
        {"data one byte short", image_board(4, 4, 1, {2}, 31)},
        {"invalid unit, 2^30 rows", image_board(1, 1 << 30, 1, {-4}, 64)},
    };
    for (const auto& k : cases) EXPECT_FALSE(unpacks(Layout::Image, k.board)) << k.what;
    EXPECT_FALSE(QELipc_UnpackRawImageData(nullptr, 100));
}

TEST(HostileBoards, BadSingleChannelHeadersAreRefused) {
    const struct {
        const char* what;
        Layout layout;
        std::vector<uint8_t> board;
    } cases[] = {
        {"nx 0", Layout::Channel, channel_board({0, 1, 1}, 0, 8)},
        {"ny -1", Layout::Channel, channel_board({1, -1, 1}, 0, 8)},
        {"nz INT_MIN", Layout::Channel, channel_board({1, 1, INT_MIN}, 0, 8)},
        {"voxels past 32 bits", Layout::Channel, channel_board({65536, 65536, 2}, 0, 8)},
        {"bytes past 32 bits", Layout::Channel, channel_board({1 << 29, 1, 1}, 4, 8)},
        {"block short", Layout::Channel, channel_board({2, 2, 2}, 7, 63)},
        {"width 0", Layout::ImageChannel, channel_board({0, 1}, 0, 8)},
        {"height -5", Layout::ImageChannel, channel_board({1, -5}, 0, 8)},
        {"pixels past 32 bits", Layout::ImageChannel, channel_board({INT_MAX, 2}, 0, 8)},
        {"block short", Layout::ImageChannel, channel_board({3, 3}, 3, 17)},
        {"invalid unit, 2^30 rows", Layout::Channel, channel_board({1, 1 << 15, 1 << 15}, 8, 0)},
        {"invalid unit, 2^30 rows", Layout::ImageChannel, channel_board({1, 1 << 30}, -1, 0)},
    };
    for (const auto& k : cases) EXPECT_FALSE(unpacks(k.layout, k.board)) << k.what;
    EXPECT_FALSE(QELipc_UnpackSingleChannel(nullptr, 100));
    EXPECT_FALSE(QELipc_UnpackSingleImageChannel(nullptr, 100));
}

// Records built on the stack with no voxel blocks: only their size words matter to the size
// operations, and a refused pack must not touch the board (or the missing blocks).
TEST(PayloadSizeLimit, SizesUpToInt32MaxAreGivenAndBeyondRefused) {
    int units[4] = {0, 0, 0, 0}, attributes[4] = {0, 0, 0, 0};
    void* blocks[4] = {nullptr, nullptr, nullptr, nullptr};
    GuardedBoard board(64);

    QelSize4i vs{INT_MAX - 24, 1, 1, 1};
    QelRawVolumeData v{&vs, units, attributes, blocks, nullptr};
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(&v), INT_MAX);
    vs.nx = INT_MAX - 23;
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(&v), 0);
    EXPECT_EQ(QELipc_PackRawVolumeData(&v, board.data()), -1);

    vs.nx = INT_MAX - 20;
    EXPECT_EQ(QELipc_SizeOfSingleChannel(&v, 0), INT_MAX);
    vs.nx = INT_MAX - 19;
    EXPECT_EQ(QELipc_SizeOfSingleChannel(&v, 0), 0);
    EXPECT_EQ(QELipc_PackSingleChannel(&v, 0, board.data()), -1);

    // Many channels that fit one by one but not together.
    int doubles[4] = {7, 7, 7, 7};
    QelSize4i many{1 << 13, 1 << 13, 1, 3};
    QelRawVolumeData m{&many, doubles, attributes, blocks, nullptr};
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(&m), 16 + 3 * 8 + 3 * (1 << 29));
    many.nChannels = 4;
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(&m), 0);
    EXPECT_EQ(QELipc_PackRawVolumeData(&m, board.data()), -1);

    // Shapes outside the record's contract give no size either.
    QelSize4i negative{-4, 2, 2, 1};
    QelRawVolumeData neg{&negative, units, attributes, blocks, nullptr};
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(&neg), 0);
    EXPECT_EQ(QELipc_SizeOfSingleChannel(&neg, 0), 0);
    EXPECT_EQ(QELipc_PackRawVolumeData(&neg, board.data()), -1);
    negative = {2, 2, 2, -1};
    EXPECT_EQ(QELipc_SizeOfRawVolumeData(&neg), 0);

    QelSize3i is{INT_MAX - 20, 1, 1};
    QelRawImageData im{&is, units, attributes, blocks, nullptr};
    EXPECT_EQ(QELipc_SizeOfRawImageData(&im), INT_MAX);
    is.nx = INT_MAX - 19;
    EXPECT_EQ(QELipc_SizeOfRawImageData(&im), -1);
    EXPECT_EQ(QELipc_PackRawImageData(&im, board.data()), -1);

    is.nx = INT_MAX - 16;
    EXPECT_EQ(QELipc_SizeOfSingleImageChannel(&im, 0), INT_MAX);
    is.nx = INT_MAX - 15;
    EXPECT_EQ(QELipc_SizeOfSingleImageChannel(&im, 0), 0);
    EXPECT_EQ(QELipc_PackSingleImageChannel(&im, 0, board.data()), -1);

    EXPECT_TRUE(board.untouched());
}

TEST(HostileBoards, RefusalsPrintNothing) {
    qeltest::StderrCapture capture;
    EXPECT_FALSE(unpacks(Layout::Volume, volume_board(-1, 2, 2, 1, {0}, 64)));
    EXPECT_FALSE(unpacks(Layout::Volume, volume_board(1, 1, 1, 257, std::vector<int>(257, 0), 257)));
    EXPECT_FALSE(unpacks(Layout::Channel, channel_board({2, 2, 2}, 7, 63)));
    EXPECT_FALSE(unpacks(Layout::Image, image_board(4, 4, 1, {2}, 31)));
    EXPECT_FALSE(unpacks(Layout::ImageChannel, channel_board({0, 1}, 0, 8)));
    EXPECT_EQ(capture.stop(), "");
}
