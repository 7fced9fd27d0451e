// Flips and box copies, checked against brute-force voxel loops.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "pad/grids.hpp"
#include "support/capture.hpp"
#include "volume/qel_flip.h"

using padtest::pixel;
using padtest::random_image;
using padtest::random_volume;
using padtest::Snapshot;
using padtest::Volume;
using padtest::voxel;

namespace {

const std::vector<int> kAllUnits = {0, 1, 2, 3, 4, 5, 6, 7, 4};
const std::vector<int> kAllAttributes = {0, 0, 0, 0, 0, 0, 0, 0, 2};

// Expects flipped to be original mirrored along axis inside the box (o, s) and equal
// elsewhere.
void expect_flipped(const QelRawVolumeData* flipped, const QelRawVolumeData* original, int c,
                    int axis, const int o[3], const int s[3]) {
    for (int z = 0; z < original->size->nz; ++z)
        for (int y = 0; y < original->size->ny; ++y)
            for (int x = 0; x < original->size->nx; ++x) {
                int p[3] = {x, y, z};
                bool in = true;
                for (int a = 0; a < 3; ++a) in = in && p[a] >= o[a] && p[a] < o[a] + s[a];
                if (in) p[axis] = o[axis] + s[axis] - 1 - (p[axis] - o[axis]);
                ASSERT_EQ(voxel(flipped, c, x, y, z), voxel(original, c, p[0], p[1], p[2]))
                    << "axis " << axis << " at " << x << "," << y << "," << z;
            }
}

}  // namespace

TEST(Flip, BoxesAlongEachAxisInEveryUnit) {
    std::mt19937 rng(5);
    const char* names[3][2] = {{"x", "X"}, {"y", "Y"}, {"z", "Z"}};
    for (int trial = 0; trial < 40; ++trial) {
        Volume original = random_volume(5, 6, 7, kAllUnits, kAllAttributes, trial);
        Volume vol = random_volume(5, 6, 7, kAllUnits, kAllAttributes, trial);
        const int n[3] = {5, 6, 7};
        int o[3], s[3];
        for (int a = 0; a < 3; ++a) {
            o[a] = int(rng() % n[a]);
            s[a] = int(rng() % (n[a] - o[a] + 1));  // 0 up to the far face
        }
        QelPoint3i origin{o[0], o[1], o[2]};
        QelSize3i size{s[0], s[1], s[2]};
        QelBox3i box{&origin, &size};
        const int axis = trial % 3;
        const int c = trial % int(kAllUnits.size());
        SCOPED_TRACE(testing::Message() << "trial " << trial << " unit " << kAllUnits[c]);
        ASSERT_EQ(QEL_FlipRawVolumeData(vol.get(), c, &box, names[axis][trial % 2]), 0);
        expect_flipped(vol.get(), original.get(), c, axis, o, s);
        for (int other = 0; other < int(kAllUnits.size()); ++other) {
            if (other == c) continue;
            EXPECT_EQ(padtest::channel_bytes(vol.get(), other), padtest::channel_bytes(original.get(), other));
        }
        ASSERT_EQ(QEL_FlipRawVolumeData(vol.get(), c, &box, names[axis][0]), 0);
        EXPECT_EQ(padtest::channel_bytes(vol.get(), c), padtest::channel_bytes(original.get(), c));
    }
}

TEST(Flip, WholeVolumeTwiceGivesItBack) {
    for (int c = 0; c < int(kAllUnits.size()); ++c) {
        for (const char* axis : {"x", "y", "z"}) {
            Volume original = random_volume(4, 5, 3, kAllUnits, kAllAttributes, 60 + c);
            Volume vol = random_volume(4, 5, 3, kAllUnits, kAllAttributes, 60 + c);
            const int o[3] = {0, 0, 0}, s[3] = {4, 5, 3};
            const int a = axis[0] - 'x';
            ASSERT_EQ(QEL_FlipRawVolumeData(vol.get(), c, nullptr, axis), 0);
            expect_flipped(vol.get(), original.get(), c, a, o, s);
            ASSERT_EQ(QEL_FlipRawVolumeData(vol.get(), c, nullptr, axis), 0);
            EXPECT_EQ(padtest::channel_bytes(vol.get(), c), padtest::channel_bytes(original.get(), c));
        }
    }
}

TEST(Flip, OddHeightKeepsTheMiddleRow) {
    QelSize3i dims{2, 5, 1};
    Volume vol(QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT16, 0));
    ASSERT_TRUE(vol);
    auto* p = static_cast<uint16_t*>(vol->data[0]);
    for (int i = 0; i < 10; ++i) p[i] = uint16_t(0x0100 * i + i);
    ASSERT_EQ(QEL_FlipRawVolumeData(vol.get(), 0, nullptr, "y"), 0);
    const uint16_t want[10] = {0x0808, 0x0909, 0x0606, 0x0707, 0x0404, 0x0505, 0x0202, 0x0303, 0x0000, 0x0101};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], want[i]) << i;
}

TEST(Flip, RefusedArgumentsLeaveTheChannelAlone) {
    Volume vol = random_volume(4, 4, 4, {7, 2}, {0, 0}, 71);
    const Snapshot before(vol.get());
    QelPoint3i inside{1, 1, 1}, negative{-1, 0, 0}, far{INT_MAX, 0, 0};
    QelSize3i fits{2, 2, 2}, tooBig{4, 2, 2}, backwards{-2, 2, 2};
    QelBox3i outside{&inside, &tooBig}, beforeOrigin{&negative, &fits}, overflow{&far, &fits};
    QelBox3i reversed{&inside, &backwards}, good{&inside, &fits}, broken{nullptr, &fits};
    for (const QelBox3i* box : {&outside, &beforeOrigin, &overflow, &reversed, &broken})
        for (const char* axis : {"x", "y", "z"}) EXPECT_EQ(QEL_FlipRawVolumeData(vol.get(), 0, box, axis), -1);
    for (const char* axis : {"w", "xy", "", "x ", static_cast<const char*>(nullptr)})
        EXPECT_EQ(QEL_FlipRawVolumeData(vol.get(), 1, &good, axis), -1);
    EXPECT_EQ(QEL_FlipRawVolumeData(vol.get(), 2, &good, "x"), -1);
    EXPECT_EQ(QEL_FlipRawVolumeData(vol.get(), -1, nullptr, "y"), -1);
    EXPECT_EQ(QEL_FlipRawVolumeData(nullptr, 0, nullptr, "y"), -1);
    EXPECT_EQ(Snapshot(vol.get()), before);
}

TEST(Flip, ImagesAlongXAndY) {
    std::mt19937 rng(8);
    for (int trial = 0; trial < 24; ++trial) {
        const int c = trial % 9;
        const std::vector<int> units = kAllUnits;
        padtest::Image original = random_image(6, 5, units, trial);
        padtest::Image im = random_image(6, 5, units, trial);
        ASSERT_TRUE(original && im);
        const int o[2] = {int(rng() % 6), int(rng() % 5)};
        const int s[2] = {int(rng() % (6 - o[0] + 1)), int(rng() % (5 - o[1] + 1))};
        QelPoint2i origin{o[0], o[1]};
        QelSize2i size{s[0], s[1]};
        QelRect2i rect{&origin, &size};
        const int axis = trial % 2;
        ASSERT_EQ(QEL_FlipRawImageData(im.get(), c, &rect, axis ? "Y" : "x"), 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                int p[2] = {x, y};
                if (x >= o[0] && x < o[0] + s[0] && y >= o[1] && y < o[1] + s[1])
                    p[axis] = o[axis] + s[axis] - 1 - (p[axis] - o[axis]);
                ASSERT_EQ(pixel(im.get(), c, x, y), pixel(original.get(), c, p[0], p[1])) << trial;
            }
        ASSERT_EQ(QEL_FlipRawImageData(im.get(), c, &rect, axis ? "y" : "X"), 0);
        EXPECT_EQ(padtest::image_bytes(im.get(), c), padtest::image_bytes(original.get(), c));
    }
    padtest::Image im = random_image(3, 3, {0}, 1);
    const auto before = padtest::image_bytes(im.get(), 0);
    QelPoint2i origin{2, 0};
    QelSize2i size{2, 1};
    QelRect2i outside{&origin, &size};
    EXPECT_EQ(QEL_FlipRawImageData(im.get(), 0, nullptr, "z"), -1);
    EXPECT_EQ(QEL_FlipRawImageData(im.get(), 0, nullptr, "Z"), -1);
    EXPECT_EQ(QEL_FlipRawImageData(im.get(), 0, &outside, "x"), -1);
    EXPECT_EQ(QEL_FlipRawImageData(im.get(), 0, nullptr, nullptr), -1);
    EXPECT_EQ(padtest::image_bytes(im.get(), 0), before);
}

TEST(FlipSteps, ReverseElementsOfAnyWidth) {
    std::mt19937 rng(3);
    for (int size : {1, 2, 3, 4, 8, 12}) {
        for (int n : {0, 1, 2, 5, 6, 7, 8, 9, 15, 16, 17, 32, 33, 70}) {
            std::vector<unsigned char> run(size_t(size) * n);
            for (auto& b : run) b = static_cast<unsigned char>(rng());
            std::vector<unsigned char> want;
            for (int k = n - 1; k >= 0; --k) want.insert(want.end(), run.begin() + k * size, run.begin() + (k + 1) * size);
            QEL_ReverseElements(n, run.data(), size);
            EXPECT_EQ(run, want) << size << " " << n;
        }
    }
    QEL_ReverseElements(3, nullptr, 4);  // nothing to do, nothing to crash
}

TEST(FlipSteps, BoxAndRectStepsOnBareTables) {
    using Step3 = int (*)(void***, const QelBox3i*, int);
    using Step2 = int (*)(void**, const QelRect2i*, int);
    const Step3 boxSteps[3] = {QEL_FlipBoxX, QEL_FlipBoxY, QEL_FlipBoxZ};
    const Step2 rectSteps[2] = {QEL_FlipRectX, QEL_FlipRectY};
    std::mt19937 rng(17);
    for (int trial = 0; trial < 27; ++trial) {
        const int c = trial % int(kAllUnits.size());
        const int axis = trial % 3;
        Volume original = random_volume(5, 4, 6, kAllUnits, kAllAttributes, 90 + trial);
        Volume vol = random_volume(5, 4, 6, kAllUnits, kAllAttributes, 90 + trial);
        const int n[3] = {5, 4, 6};
        int o[3], s[3];
        for (int a = 0; a < 3; ++a) {
            o[a] = int(rng() % n[a]);
            s[a] = int(rng() % (n[a] - o[a] + 1));
        }
        QelPoint3i origin{o[0], o[1], o[2]};
        QelSize3i size{s[0], s[1], s[2]};
        QelBox3i box{&origin, &size};
        SCOPED_TRACE(testing::Message() << "trial " << trial << " axis " << axis);
        ASSERT_EQ(boxSteps[axis](vol->slices[c], &box, vol->unit[c]), 0);
        expect_flipped(vol.get(), original.get(), c, axis, o, s);

        padtest::Image image = random_image(6, 5, kAllUnits, 120 + trial);
        padtest::Image imageBefore = random_image(6, 5, kAllUnits, 120 + trial);
        const int ro[2] = {int(rng() % 6), int(rng() % 5)};
        const int rs[2] = {int(rng() % (6 - ro[0] + 1)), int(rng() % (5 - ro[1] + 1))};
        QelPoint2i rectOrigin{ro[0], ro[1]};
        QelSize2i rectSize{rs[0], rs[1]};
        QelRect2i rect{&rectOrigin, &rectSize};
        const int rectAxis = trial % 2;
        ASSERT_EQ(rectSteps[rectAxis](image->rows[c], &rect, image->unit[c]), 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                int p[2] = {x, y};
                if (x >= ro[0] && x < ro[0] + rs[0] && y >= ro[1] && y < ro[1] + rs[1])
                    p[rectAxis] = ro[rectAxis] + rs[rectAxis] - 1 - (p[rectAxis] - ro[rectAxis]);
                ASSERT_EQ(pixel(image.get(), c, x, y), pixel(imageBefore.get(), c, p[0], p[1]));
            }
    }
    // A missing table, box or part of a box, or an invalid unit is refused.
    Volume vol = random_volume(3, 3, 3, {0}, {0}, 7);
    const Snapshot before(vol.get());
    QelPoint3i origin{0, 0, 0};
    QelSize3i size{3, 3, 3};
    QelBox3i box{&origin, &size}, broken{&origin, nullptr};
    for (Step3 step : boxSteps) {
        EXPECT_EQ(step(nullptr, &box, 0), -1);
        EXPECT_EQ(step(vol->slices[0], nullptr, 0), -1);
        EXPECT_EQ(step(vol->slices[0], &broken, 0), -1);
        EXPECT_EQ(step(vol->slices[0], &box, 8), -1);
    }
    padtest::Image image = random_image(3, 3, {0}, 8);
    const auto imageBefore = padtest::image_bytes(image.get(), 0);
    QelPoint2i rectOrigin{0, 0};
    QelSize2i rectSize{3, 3};
    QelRect2i rect{&rectOrigin, &rectSize}, brokenRect{nullptr, &rectSize};
    for (Step2 step : rectSteps) {
        EXPECT_EQ(step(nullptr, &rect, 0), -1);
        EXPECT_EQ(step(image->rows[0], nullptr, 0), -1);
        EXPECT_EQ(step(image->rows[0], &brokenRect, 0), -1);
        EXPECT_EQ(step(image->rows[0], &rect, -1), -1);
    }
    EXPECT_EQ(Snapshot(vol.get()), before);
    EXPECT_EQ(padtest::image_bytes(image.get(), 0), imageBefore);
}

TEST(FlipSteps, SwapBufferAndItsMessage) {
    unsigned char a[6] = {1, 2, 3, 4, 5, 6}, b[6] = {7, 8, 9, 10, 11, 12};
    QEL_SwapBlocks(6, a, b);  // no buffer: nothing
    EXPECT_EQ(a[0], 1);
    ASSERT_EQ(QEL_AllocateArraySwapBuffer(4), 0);
    QEL_SwapBlocks(6, a, b);  // longer than the buffer: nothing
    EXPECT_EQ(a[0], 1);
    QEL_SwapBlocks(4, a, b);
    const unsigned char wantA[6] = {7, 8, 9, 10, 5, 6}, wantB[6] = {1, 2, 3, 4, 11, 12};
    EXPECT_EQ(0, std::memcmp(a, wantA, 6));
    EXPECT_EQ(0, std::memcmp(b, wantB, 6));
    QEL_FreeArraySwapBuffer();
    QEL_FreeArraySwapBuffer();
    QEL_SwapBlocks(4, a, b);
    EXPECT_EQ(0, std::memcmp(a, wantA, 6));

    qeltest::StderrCapture capture;
    EXPECT_EQ(QEL_AllocateArraySwapBuffer(-1), -1);
    EXPECT_EQ(capture.stop(), "arraySwapBuffer allocation fault\n");
    ASSERT_EQ(QEL_AllocateArraySwapBuffer(0), 0);  // zero bytes is not a fault
    QEL_FreeArraySwapBuffer();
}

namespace {

// Brute-force box copy: every source voxel inside the box and the source goes to its
// place in the destination when that place lies inside the destination.
void reference_copy(const QelRawVolumeData* src, int sc, std::vector<unsigned char>& dst,
                    const QelRawVolumeData* shape, const int o[3], const int s[3], const int p[3]) {
    const int w = padtest::width_of(src->unit[sc]);
    const int n[3] = {src->size->nx, src->size->ny, src->size->nz};
    const int m[3] = {shape->size->nx, shape->size->ny, shape->size->nz};
    for (int z = 0; z < n[2]; ++z)
        for (int y = 0; y < n[1]; ++y)
            for (int x = 0; x < n[0]; ++x) {
                const int q[3] = {x, y, z};
                int d[3];
                bool ok = true;
                for (int a = 0; a < 3; ++a) {
                    ok = ok && q[a] >= o[a] && q[a] < o[a] + s[a];
                    d[a] = q[a] - o[a] + p[a];
                    ok = ok && d[a] >= 0 && d[a] < m[a];
                }
                if (!ok) continue;
                const uint64_t bits = voxel(src, sc, x, y, z);
                std::memcpy(&dst[(d[0] + size_t(m[0]) * (d[1] + size_t(m[1]) * d[2])) * w], &bits, w);
            }
}

}  // namespace

TEST(CopyBox, CopiesExactlyTheIntersection) {
    std::mt19937 rng(12);
    for (int trial = 0; trial < 300; ++trial) {
        const int unit = trial % 8;
        Volume src = random_volume(5, 4, 6, {unit, unit}, {0, 0}, trial);
        Volume dst = padtest::filled_volume(4, 6, 3, unit, 0xA5);
        ASSERT_TRUE(src && dst);
        int o[3], s[3], p[3];
        for (int a = 0; a < 3; ++a) {
            o[a] = int(rng() % 15) - 7;
            s[a] = int(rng() % 12) - 2;
            p[a] = int(rng() % 15) - 7;
        }
        QelPoint3i origin{o[0], o[1], o[2]}, position{p[0], p[1], p[2]};
        QelSize3i size{s[0], s[1], s[2]};
        QelBox3i box{&origin, &size};
        auto want = padtest::channel_bytes(dst.get(), 0);
        reference_copy(src.get(), 1, want, dst.get(), o, s, p);
        QEL_CopyBoxOfRawVolumeData(src.get(), 1, dst.get(), 0, &box, &position);
        ASSERT_EQ(padtest::channel_bytes(dst.get(), 0), want) << "trial " << trial;
        EXPECT_EQ(origin.x, o[0]);  // the caller's box and position are left alone
        EXPECT_EQ(position.x, p[0]);
    }
}

TEST(CopyBox, NegativeOriginCopiesOnlyWhatTheBoxCovers) {
    // The box covers x = -2 .. 1 of the source: only x = 0 and 1 exist, and they land at 2, 3.
    Volume src = random_volume(4, 1, 1, {0}, {0}, 1);
    Volume dst = padtest::filled_volume(8, 1, 1, 0, 0xEE);
    QelPoint3i origin{-2, 0, 0}, position{0, 0, 0};
    QelSize3i size{4, 1, 1};
    QelBox3i box{&origin, &size};
    QEL_CopyBoxOfRawVolumeData(src.get(), 0, dst.get(), 0, &box, &position);
    const auto* s = static_cast<const uint8_t*>(src->data[0]);
    const uint8_t want[8] = {0xEE, 0xEE, s[0], s[1], 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(0, std::memcmp(dst->data[0], want, 8));
}

TEST(CopyBox, UnitsMustMatchAttributesNeedNot) {
    Volume src = random_volume(3, 3, 3, {4, 6, 4}, {2, 0, 0}, 2);
    Volume dst = padtest::filled_volume(3, 3, 3, 4, 0x11);
    QelPoint3i origin{0, 0, 0};
    QelSize3i size{3, 3, 3};
    QelBox3i box{&origin, &size};
    const auto untouched = padtest::channel_bytes(dst.get(), 0);
    QEL_CopyBoxOfRawVolumeData(src.get(), 1, dst.get(), 0, &box, &origin);  // float into uint32
    EXPECT_EQ(padtest::channel_bytes(dst.get(), 0), untouched);
    QEL_CopyBoxOfRawVolumeData(src.get(), 5, dst.get(), 0, &box, &origin);  // no such channel
    QEL_CopyBoxOfRawVolumeData(src.get(), 0, dst.get(), 0, nullptr, &origin);
    QEL_CopyBoxOfRawVolumeData(src.get(), 0, dst.get(), 0, &box, nullptr);
    QEL_CopyBoxOfRawVolumeData(nullptr, 0, dst.get(), 0, &box, &origin);
    EXPECT_EQ(padtest::channel_bytes(dst.get(), 0), untouched);
    QEL_CopyBoxOfRawVolumeData(src.get(), 0, dst.get(), 0, &box, &origin);  // packed RGBA words
    EXPECT_EQ(padtest::channel_bytes(dst.get(), 0), padtest::channel_bytes(src.get(), 0));
    // Between two channels of one record.
    QEL_CopyBoxOfRawVolumeData(src.get(), 0, src.get(), 2, &box, &origin);
    EXPECT_EQ(padtest::channel_bytes(src.get(), 2), padtest::channel_bytes(src.get(), 0));
}

TEST(CopyBox, ImageRectsCopyExactlyTheIntersection) {
    std::mt19937 rng(13);
    for (int trial = 0; trial < 200; ++trial) {
        const int unit = trial % 8;
        padtest::Image src = random_image(5, 4, {unit}, trial);
        padtest::Image dst = random_image(4, 6, {unit}, trial + 1000);
        ASSERT_TRUE(src && dst);
        const int o[2] = {int(rng() % 13) - 6, int(rng() % 13) - 6};
        const int s[2] = {int(rng() % 10) - 2, int(rng() % 10) - 2};
        const int p[2] = {int(rng() % 13) - 6, int(rng() % 13) - 6};
        auto want = padtest::image_bytes(dst.get(), 0);
        const int w = padtest::width_of(unit);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const int dx = x - o[0] + p[0], dy = y - o[1] + p[1];
                if (x < o[0] || x >= o[0] + s[0] || y < o[1] || y >= o[1] + s[1]) continue;
                if (dx < 0 || dx >= 4 || dy < 0 || dy >= 6) continue;
                const uint64_t bits = pixel(src.get(), 0, x, y);
                std::memcpy(&want[size_t(dx + 4 * dy) * w], &bits, w);
            }
        QelPoint2i origin{o[0], o[1]}, position{p[0], p[1]};
        QelSize2i size{s[0], s[1]};
        QelRect2i rect{&origin, &size};
        QEL_CopyRectOfRawImageData(src.get(), 0, dst.get(), 0, &rect, &position);
        ASSERT_EQ(padtest::image_bytes(dst.get(), 0), want) << "trial " << trial;
    }
}
