// Volume turns against brute-force index formulas: every unit, non-cubic sizes (tile edges
// included), the record-level turns and the element-copy families on exact-size grids.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "analyze/analyze_support.hpp"
#include "filters/qel_rotate.h"
#include "support/exact_grid.hpp"

using namespace analyzetest;

namespace {

enum Axis { X, Y, Z };

// Output size of a 90-degree turn.
std::array<int, 3> turned_size(Axis a, int nx, int ny, int nz) {
    if (a == X) return {nx, nz, ny};
    if (a == Y) return {nz, ny, nx};
    return {ny, nx, nz};
}

// Output position of input voxel (x, y, z) after a 90-degree turn.
std::array<int, 3> turned_position(Axis a, int x, int y, int z, int nx, int ny, int nz) {
    if (a == X) return {x, z, ny - 1 - y};
    if (a == Y) return {nz - 1 - z, y, x};
    return {y, nx - 1 - x, z};
}

// Output position after a 180-degree turn (size unchanged).
std::array<int, 3> half_turn_position(Axis a, int x, int y, int z, int nx, int ny, int nz) {
    if (a == X) return {x, ny - 1 - y, nz - 1 - z};
    if (a == Y) return {nx - 1 - x, y, nz - 1 - z};
    return {nx - 1 - x, ny - 1 - y, z};
}

int turn90(Axis a, QelRawVolumeData* v) {
    if (a == X) return QEL_RotateRawVolumeDataX90(v);
    if (a == Y) return QEL_RotateRawVolumeDataY90(v);
    return QEL_RotateRawVolumeDataZ90(v);
}

const char* axis_name(Axis a) { return a == X ? "x" : a == Y ? "y" : "z"; }

// Checks that every voxel of every channel of `before` sits where `where` puts it in `after`.
template <class Where>
void expect_moved(const QelRawVolumeData* before, const QelRawVolumeData* after, Where where) {
    const int nx = before->size->nx, ny = before->size->ny, nz = before->size->nz;
    ASSERT_EQ(after->size->nChannels, before->size->nChannels);
    for (int c = 0; c < before->size->nChannels; ++c) {
        ASSERT_EQ(after->unit[c], before->unit[c]);
        ASSERT_EQ(after->attribute[c], before->attribute[c]);
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x) {
                    const auto p = where(x, y, z, nx, ny, nz);
                    ASSERT_EQ(voxel(after, c, p[0], p[1], p[2]), voxel(before, c, x, y, z))
                        << "channel " << c << " voxel " << x << "," << y << "," << z;
                }
    }
}

struct Shape {
    int nx, ny, nz;
};

// Small non-cubic shapes, degenerate extents, and extents that cross the copy tiles unevenly.
const std::vector<Shape> kShapes = {{2, 3, 4}, {5, 7, 3}, {1, 1, 1}, {1, 6, 2}, {9, 1, 5}, {37, 41, 19}, {70, 33, 2}};

}  // namespace

TEST(Rotate, NinetyDegreesMovesEveryVoxelOfEveryUnit) {
    const std::vector<int> units = {0, 1, 2, 3, 4, 5, 6, 7};
    uint32_t seed = 1;
    for (const Shape& s : kShapes)
        for (Axis a : {X, Y, Z}) {
            SCOPED_TRACE(std::string("axis ") + axis_name(a) + " size " + std::to_string(s.nx) + "x" +
                         std::to_string(s.ny) + "x" + std::to_string(s.nz));
            Volume before = random_volume(s.nx, s.ny, s.nz, units, seed++);
            Volume v = random_volume(s.nx, s.ny, s.nz, units, seed - 1);
            ASSERT_TRUE(before && v);
            ASSERT_EQ(turn90(a, v.get()), 0);
            const auto size = turned_size(a, s.nx, s.ny, s.nz);
            EXPECT_EQ(v->size->nx, size[0]);
            EXPECT_EQ(v->size->ny, size[1]);
            EXPECT_EQ(v->size->nz, size[2]);
            expect_moved(before.get(), v.get(), [a](int x, int y, int z, int nx, int ny, int nz) {
                return turned_position(a, x, y, z, nx, ny, nz);
            });
            // The slice and row tables of the turned record address the same voxels as its block.
            for (int c = 0; c < 8; ++c) {
                const int w = width_of(v->unit[c]);
                for (int z = 0; z < v->size->nz; ++z)
                    for (int y = 0; y < v->size->ny; ++y)
                        ASSERT_EQ(static_cast<unsigned char*>(v->slices[c][z][y]),
                                  static_cast<unsigned char*>(v->data[c]) +
                                      (int64_t(z) * v->size->ny + y) * v->size->nx * w);
            }
        }
}

TEST(Rotate, DocumentedLandingPoints) {
    // (1, 0, 3) of a 2 x 3 x 4 volume, marked in a volume that is zero elsewhere.
    struct Case {
        Axis axis;
        std::array<int, 3> size, landing;
    };
    const Case cases[] = {{X, {2, 4, 3}, {1, 3, 2}}, {Y, {4, 3, 2}, {0, 0, 1}}, {Z, {3, 2, 4}, {0, 0, 3}}};
    for (const Case& k : cases) {
        QelSize3i dims{2, 3, 4};
        Volume v(QEL_NewSingleChannelRawVolumeData(&dims, 3, 0));
        ASSERT_TRUE(v);
        static_cast<int16_t*>(v->data[0])[1 + 2 * (0 + 3 * 3)] = 1234;
        ASSERT_EQ(turn90(k.axis, v.get()), 0);
        EXPECT_EQ(v->size->nx, k.size[0]);
        EXPECT_EQ(v->size->ny, k.size[1]);
        EXPECT_EQ(v->size->nz, k.size[2]);
        for (int z = 0; z < v->size->nz; ++z)
            for (int y = 0; y < v->size->ny; ++y)
                for (int x = 0; x < v->size->nx; ++x)
                    EXPECT_EQ(voxel(v.get(), 0, x, y, z),
                              (std::array<int, 3>{x, y, z} == k.landing) ? 1234u : 0u);
    }
    QelSize3i dims{2, 3, 4};
    Volume v(QEL_NewSingleChannelRawVolumeData(&dims, 0, 0));
    ASSERT_TRUE(v);
    static_cast<uint8_t*>(v->data[0])[1 + 2 * (0 + 3 * 3)] = 7;
    ASSERT_EQ(QEL_RotateRawVolumeData180(v.get(), "X"), 0);
    EXPECT_EQ(v->size->nx, 2);
    EXPECT_EQ(v->size->ny, 3);
    EXPECT_EQ(v->size->nz, 4);
    EXPECT_EQ(voxel(v.get(), 0, 1, 2, 0), 7u);
}

TEST(Rotate, FourQuarterTurnsRestoreTheVolume) {
    for (Axis a : {X, Y, Z}) {
        Volume before = random_volume(5, 7, 3, {0, 6, 3, 7}, 40 + a);
        Volume v = random_volume(5, 7, 3, {0, 6, 3, 7}, 40 + a);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(turn90(a, v.get()), 0);
        ASSERT_EQ(v->size->nx, 5);
        ASSERT_EQ(v->size->ny, 7);
        ASSERT_EQ(v->size->nz, 3);
        for (int c = 0; c < 4; ++c) EXPECT_EQ(channel_bytes(v.get(), c), channel_bytes(before.get(), c));
    }
}

TEST(Rotate, HalfTurnIsTwoQuarterTurnsAndMatchesTheFormula) {
    const char* texts[] = {"x", "X", "y", "Y", "z", "Z"};
    for (int i = 0; i < 6; ++i) {
        const Axis a = static_cast<Axis>(i / 2);
        SCOPED_TRACE(texts[i]);
        // Units Uint8, Float32 and Int16 turn each with their own element width.
        Volume before = random_volume(4, 6, 3, {0, 6, 3}, 90 + i);
        Volume half = random_volume(4, 6, 3, {0, 6, 3}, 90 + i);
        Volume quarters = random_volume(4, 6, 3, {0, 6, 3}, 90 + i);
        ASSERT_EQ(QEL_RotateRawVolumeData180(half.get(), texts[i]), 0);
        ASSERT_EQ(turn90(a, quarters.get()), 0);
        ASSERT_EQ(turn90(a, quarters.get()), 0);
        EXPECT_EQ(half->size->nx, 4);
        EXPECT_EQ(half->size->ny, 6);
        EXPECT_EQ(half->size->nz, 3);
        expect_moved(before.get(), half.get(), [a](int x, int y, int z, int nx, int ny, int nz) {
            return half_turn_position(a, x, y, z, nx, ny, nz);
        });
        for (int c = 0; c < 3; ++c) EXPECT_EQ(channel_bytes(half.get(), c), channel_bytes(quarters.get(), c));
    }
}

TEST(Rotate, RefusedAxisTextsLeaveTheVolumeAlone) {
    Volume before = random_volume(2, 3, 4, {5}, 7);
    Volume v = random_volume(2, 3, 4, {5}, 7);
    void* block = v->data[0];
    for (const char* text : {"w", "", "xx", "x ", " x", "X\n", "yz", "a"}) {
        EXPECT_EQ(QEL_RotateRawVolumeData180(v.get(), text), -1) << '"' << text << '"';
    }
    EXPECT_EQ(QEL_RotateRawVolumeData180(v.get(), nullptr), -1);
    EXPECT_EQ(v->data[0], block);
    EXPECT_EQ(v->size->nx, 2);
    EXPECT_EQ(v->size->ny, 3);
    EXPECT_EQ(v->size->nz, 4);
    EXPECT_EQ(channel_bytes(v.get(), 0), channel_bytes(before.get(), 0));

    EXPECT_EQ(QEL_RotateRawVolumeData180(nullptr, "x"), -1);
    EXPECT_EQ(QEL_RotateRawVolumeDataX90(nullptr), -1);
    EXPECT_EQ(QEL_RotateRawVolumeDataY90(nullptr), -1);
    EXPECT_EQ(QEL_RotateRawVolumeDataZ90(nullptr), -1);
}

TEST(Rotate, AttributesAndInvalidUnitsAreKept) {
    // A packed RGBA channel turns as plain words; a channel of an invalid unit holds nothing
    // and keeps its unit.
    QelSize4i size{3, 2, 5, 3};
    const int units[3] = {4, 9, 2};
    const int attributes[3] = {2, 0, 0};
    Volume v(QEL_NewRawVolumeData(&size, units, attributes));
    ASSERT_TRUE(v);
    Volume before(QEL_NewRawVolumeData(&size, units, attributes));
    ASSERT_TRUE(before);
    for (int i = 0; i < 30; ++i) {
        static_cast<uint32_t*>(v->data[0])[i] = static_cast<uint32_t*>(before->data[0])[i] = 0x01020304u * (i + 1);
        static_cast<uint16_t*>(v->data[2])[i] = static_cast<uint16_t*>(before->data[2])[i] = uint16_t(1000 + i);
    }
    ASSERT_EQ(QEL_RotateRawVolumeDataY90(v.get()), 0);
    EXPECT_EQ(v->unit[1], 9);
    EXPECT_EQ(v->attribute[0], 2);
    for (int c : {0, 2})
        for (int z = 0; z < 5; ++z)
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    const auto p = turned_position(Y, x, y, z, 3, 2, 5);
                    EXPECT_EQ(voxel(v.get(), c, p[0], p[1], p[2]), voxel(before.get(), c, x, y, z));
                }
}

namespace {

// One element-copy member on grids whose every row is its own exact-size allocation, so that
// AddressSanitizer catches any access past a row or a table.
template <class T>
void check_member(Axis a, void (*member)(const void* const* const*, void***, int, int, int)) {
    for (const Shape& s : kShapes) {
        const auto out_size = turned_size(a, s.nx, s.ny, s.nz);
        qeltest::ExactGrid<T> in(s.nx, s.ny, s.nz);
        qeltest::ExactGrid<T> out(out_size[0], out_size[1], out_size[2]);
        std::mt19937_64 rng(s.nx * 1000 + s.ny * 10 + s.nz);
        for (int z = 0; z < s.nz; ++z)
            for (int y = 0; y < s.ny; ++y)
                for (int x = 0; x < s.nx; ++x) {
                    const uint64_t bits = rng();
                    std::memcpy(&in.at(x, y, z), &bits, sizeof(T));
                }
        member(in.slices(), out.slices(), s.nx, s.ny, s.nz);
        for (int z = 0; z < s.nz; ++z)
            for (int y = 0; y < s.ny; ++y)
                for (int x = 0; x < s.nx; ++x) {
                    const auto p = turned_position(a, x, y, z, s.nx, s.ny, s.nz);
                    ASSERT_EQ(std::memcmp(&out.at(p[0], p[1], p[2]), &in.at(x, y, z), sizeof(T)), 0)
                        << axis_name(a) << " width " << sizeof(T) << " voxel " << x << "," << y << "," << z;
                }
    }
}

}  // namespace

TEST(Rotate, ElementCopyFamiliesOnExactGrids) {
    check_member<int8_t>(X, QEL_RotateX90_Int8);
    check_member<int16_t>(X, QEL_RotateX90_Int16);
    check_member<int32_t>(X, QEL_RotateX90_Int32);
    check_member<float>(X, QEL_RotateX90_Float32);
    check_member<double>(X, QEL_RotateX90_Float64);
    check_member<int8_t>(Y, QEL_RotateY90_Int8);
    check_member<int16_t>(Y, QEL_RotateY90_Int16);
    check_member<int32_t>(Y, QEL_RotateY90_Int32);
    check_member<float>(Y, QEL_RotateY90_Float32);
    check_member<double>(Y, QEL_RotateY90_Float64);
    check_member<int8_t>(Z, QEL_RotateZ90_Int8);
    check_member<int16_t>(Z, QEL_RotateZ90_Int16);
    check_member<int32_t>(Z, QEL_RotateZ90_Int32);
    check_member<float>(Z, QEL_RotateZ90_Float32);
    check_member<double>(Z, QEL_RotateZ90_Float64);
}
