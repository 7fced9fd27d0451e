// Growing by a border, cropping and shrinking, checked voxel by voxel against index
// formulas written independently of the library.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "pad/grids.hpp"
#include "volume/qel_pad.h"

using padtest::random_volume;
using padtest::Snapshot;
using padtest::Volume;
using padtest::voxel;

namespace {

// Source index of padded index q on an axis of extent n grown by w <= n, as the border
// modes define it; -1 for a zero voxel.
int64_t padded_source(int64_t q, int64_t n, int64_t w, int mode) {
    if (q >= w && q < n + w) return q - w;
    if (mode == QEL_PAD_MIRROR) return q < w ? w - 1 - q : 2 * n + w - 1 - q;
    if (mode == QEL_PAD_REPLICATE) return q < w ? 0 : n - 1;
    return -1;
}

// Source index of coordinate s (volume coordinates, any distance outside) under mirroring,
// found by reflecting at the faces again and again.
int64_t reflected(int64_t s, int64_t n) {
    while (s < 0 || s >= n) s = s < 0 ? -1 - s : 2 * n - 1 - s;
    return s;
}

// Source index of volume coordinate s under any mode, by the reflection rule above.
int64_t outside_source(int64_t s, int64_t n, int mode) {
    if (s >= 0 && s < n) return s;
    if (mode == QEL_PAD_MIRROR) return reflected(s, n);
    if (mode == QEL_PAD_REPLICATE) return s < 0 ? 0 : n - 1;
    return -1;
}

struct Form {
    const char* name;
    int (*expand)(QelRawVolumeData*, int, int);
    int (*shrink)(QelRawVolumeData*, int);
    bool grows[3];
};
const Form kForms[] = {
    {"xyz", QEL_ExpandRawVolumeData, QEL_ShrinkRawVolumeData, {true, true, true}},
    {"xy", QEL_ExpandRawVolumeDataXY, QEL_ShrinkRawVolumeDataXY, {true, true, false}},
    {"z", QEL_ExpandRawVolumeDataZ, QEL_ShrinkRawVolumeDataZ, {false, false, true}},
};

// The last channel has an invalid unit: elements of 0 bytes, carried through every operation.
const std::vector<int> kUnits = {0, 3, 4, 6, 7, 1, 9};
const std::vector<int> kAttributes = {0, 0, 2, 0, 0, 0, 0};
const int kChannels = static_cast<int>(kUnits.size());

// Checks every voxel of grown against original through source(axis, padded index).
void expect_grown(const QelRawVolumeData* grown, const QelRawVolumeData* original,
                  const std::function<int64_t(int, int64_t)>& source) {
    for (int c = 0; c < original->size->nChannels; ++c)
        for (int z = 0; z < grown->size->nz; ++z)
            for (int y = 0; y < grown->size->ny; ++y)
                for (int x = 0; x < grown->size->nx; ++x) {
                    const int64_t sx = source(0, x), sy = source(1, y), sz = source(2, z);
                    const uint64_t want =
                        sx < 0 || sy < 0 || sz < 0 ? 0 : voxel(original, c, sx, sy, sz);
                    ASSERT_EQ(voxel(grown, c, x, y, z), want)
                        << "channel " << c << " at " << x << "," << y << "," << z;
                }
}

}  // namespace

TEST(Expand, EveryVoxelOfEachModeAndForm) {
    const int n[3] = {3, 4, 5}, w = 2;
    for (int mode : {QEL_PAD_ZERO, QEL_PAD_MIRROR, QEL_PAD_REPLICATE, 3, -1}) {
        for (const Form& form : kForms) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " form " << form.name);
            Volume original = random_volume(n[0], n[1], n[2], kUnits, kAttributes, 7);
            Volume vol = random_volume(n[0], n[1], n[2], kUnits, kAttributes, 7);
            ASSERT_TRUE(original && vol);
            ASSERT_EQ(form.expand(vol.get(), w, mode), 0);
            EXPECT_EQ(vol->size->nx, n[0] + (form.grows[0] ? 2 * w : 0));
            EXPECT_EQ(vol->size->ny, n[1] + (form.grows[1] ? 2 * w : 0));
            EXPECT_EQ(vol->size->nz, n[2] + (form.grows[2] ? 2 * w : 0));
            ASSERT_EQ(vol->size->nChannels, kChannels);
            for (int c = 0; c < kChannels; ++c) {
                EXPECT_EQ(vol->unit[c], kUnits[c]);
                EXPECT_EQ(vol->attribute[c], kAttributes[c]);
            }
            expect_grown(vol.get(), original.get(), [&](int axis, int64_t q) {
                return form.grows[axis] ? padded_source(q, n[axis], w, mode) : q;
            });
        }
    }
}

TEST(Expand, RowOfFiveByTwo) {
    const struct {
        int mode;
        uint8_t row[9];
    } cases[] = {
        {QEL_PAD_MIRROR, {2, 1, 1, 2, 3, 4, 5, 5, 4}},
        {QEL_PAD_REPLICATE, {1, 1, 1, 2, 3, 4, 5, 5, 5}},
        {QEL_PAD_ZERO, {0, 0, 1, 2, 3, 4, 5, 0, 0}},
    };
    for (const auto& k : cases) {
        QelSize3i dims{5, 1, 1};
        Volume vol(QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, 0));
        ASSERT_TRUE(vol);
        for (int x = 0; x < 5; ++x) static_cast<uint8_t*>(vol->data[0])[x] = uint8_t(x + 1);
        ASSERT_EQ(QEL_ExpandRawVolumeDataXY(vol.get(), 2, k.mode), 0);
        ASSERT_EQ(vol->size->nx, 9);
        for (int x = 0; x < 9; ++x) EXPECT_EQ(voxel(vol.get(), 0, x, 2, 0), k.row[x]) << k.mode << " " << x;
    }
}

TEST(Expand, MirrorOfOneEqualsReplicateOfOne) {
    Volume a = random_volume(3, 4, 5, kUnits, kAttributes, 11);
    Volume b = random_volume(3, 4, 5, kUnits, kAttributes, 11);
    ASSERT_EQ(QEL_ExpandRawVolumeData(a.get(), 1, QEL_PAD_MIRROR), 0);
    ASSERT_EQ(QEL_ExpandRawVolumeData(b.get(), 1, QEL_PAD_REPLICATE), 0);
    for (int c = 0; c < kChannels; ++c) EXPECT_EQ(padtest::channel_bytes(a.get(), c), padtest::channel_bytes(b.get(), c));
}

TEST(Expand, MirrorWiderThanAnExtentKeepsReflecting) {
    // Extents 2, 3 and 1 grown by 5, 7 and 4: the border is several reflections deep.
    for (int w : {5, 7, 4}) {
        SCOPED_TRACE(w);
        const int n[3] = {2, 3, 1};
        Volume original = random_volume(n[0], n[1], n[2], {2, 7}, {0, 0}, 3);
        Volume vol = random_volume(n[0], n[1], n[2], {2, 7}, {0, 0}, 3);
        ASSERT_EQ(QEL_ExpandRawVolumeData(vol.get(), w, QEL_PAD_MIRROR), 0);
        ASSERT_EQ(vol->size->nx, 2 + 2 * w);
        ASSERT_EQ(vol->size->nz, 1 + 2 * w);
        expect_grown(vol.get(), original.get(),
                     [&](int axis, int64_t q) { return reflected(q - w, n[axis]); });
    }
}

TEST(Expand, GrowThenShrinkGivesTheVolumeBackInEveryUnit) {
    struct Channel {
        int unit, attribute;
    };
    std::vector<Channel> channels;
    for (int unit = 0; unit < 8; ++unit) channels.push_back({unit, 0});
    channels.push_back({QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA});
    channels.push_back({-1, 0});  // invalid: no bytes, carried through
    for (const Channel& ch : channels) {
        for (const Form& form : kForms) {
            for (int mode : {QEL_PAD_ZERO, QEL_PAD_MIRROR, QEL_PAD_REPLICATE}) {
                for (int w : {0, 1, 3, 6}) {
                    SCOPED_TRACE(testing::Message() << "unit " << ch.unit << " attribute " << ch.attribute
                                                    << " form " << form.name << " mode " << mode << " w " << w);
                    Volume vol = random_volume(3, 4, 5, {ch.unit}, {ch.attribute}, 100 + w);
                    ASSERT_TRUE(vol);
                    const Snapshot before(vol.get());
                    ASSERT_EQ(form.expand(vol.get(), w, mode), 0);
                    EXPECT_NE(vol->data[0], before.blocks[0]);  // a new record's block, even for w = 0
                    ASSERT_EQ(form.shrink(vol.get(), w), 0);
                    Snapshot after(vol.get());
                    after.blocks = before.blocks;
                    EXPECT_EQ(after, before);
                }
            }
        }
    }
}

TEST(Crop, BoxInsideIsExactlyItsVoxels) {
    for (int mode : {QEL_PAD_ZERO, QEL_PAD_MIRROR, QEL_PAD_REPLICATE}) {
        Volume original = random_volume(3, 4, 5, kUnits, kAttributes, 5);
        Volume vol = random_volume(3, 4, 5, kUnits, kAttributes, 5);
        QelPoint3i origin{1, 1, 2};
        QelSize3i size{2, 3, 3};
        QelBox3i box{&origin, &size};
        ASSERT_EQ(QEL_CropRawVolumeData(vol.get(), &box, mode), 0);
        ASSERT_EQ(vol->size->nx, 2);
        ASSERT_EQ(vol->size->ny, 3);
        ASSERT_EQ(vol->size->nz, 3);
        expect_grown(vol.get(), original.get(), [&](int axis, int64_t q) {
            return q + (axis == 0 ? origin.x : axis == 1 ? origin.y : origin.z);
        });
    }
}

TEST(Crop, BeyondTheVolumeEqualsGrowThenCrop) {
    struct Case {
        QelPoint3i origin;
        QelSize3i size;
        int overhang;
    };
    const Case cases[] = {
        {{1, -1, 0}, {4, 3, 5}, 2},      // 2 past +x, 1 before -y
        {{-2, 3, 4}, {2, 2, 2}, 2},      // before -x, past +y and +z
        {{-7, 2, -9}, {4, 2, 12}, 9},    // far outside, several reflections deep
        {{-1, -1, -1}, {5, 6, 7}, 1},    // a grown-by-one box
    };
    const int n[3] = {3, 4, 5};
    for (const Case& k : cases) {
        for (int mode : {QEL_PAD_ZERO, QEL_PAD_MIRROR, QEL_PAD_REPLICATE}) {
            SCOPED_TRACE(testing::Message() << "origin " << k.origin.x << "," << k.origin.y << ","
                                            << k.origin.z << " mode " << mode);
            Volume original = random_volume(n[0], n[1], n[2], kUnits, kAttributes, 9);
            Volume cropped = random_volume(n[0], n[1], n[2], kUnits, kAttributes, 9);
            Volume grown = random_volume(n[0], n[1], n[2], kUnits, kAttributes, 9);
            QelPoint3i origin = k.origin;
            QelSize3i size = k.size;
            QelBox3i box{&origin, &size};
            ASSERT_EQ(QEL_CropRawVolumeData(cropped.get(), &box, mode), 0);
            EXPECT_EQ(origin.x, k.origin.x);  // the caller's box is left as it was
            EXPECT_EQ(origin.z, k.origin.z);

            ASSERT_EQ(QEL_ExpandRawVolumeData(grown.get(), k.overhang, mode), 0);
            QelPoint3i moved{k.origin.x + k.overhang, k.origin.y + k.overhang, k.origin.z + k.overhang};
            QelBox3i inner{&moved, &size};
            ASSERT_EQ(QEL_CropRawVolumeData(grown.get(), &inner, mode), 0);
            Snapshot a(cropped.get()), b(grown.get());
            a.blocks = b.blocks;
            EXPECT_EQ(a, b);

            const int64_t o[3] = {k.origin.x, k.origin.y, k.origin.z};
            expect_grown(cropped.get(), original.get(), [&](int axis, int64_t q) {
                return outside_source(o[axis] + q, n[axis], mode);
            });
        }
    }
}

// A box far beyond the volume costs no growth to reach: its coordinates are not added up in
// 32 bits and nothing the size of the distance is allocated.
TEST(Crop, BoxAtTheEndOfTheIntRange) {
    for (int mode : {QEL_PAD_ZERO, QEL_PAD_REPLICATE}) {
        Volume vol = random_volume(4, 2, 2, {7}, {0}, 17);
        const uint64_t edge = voxel(vol.get(), 0, 3, 1, 1);
        QelPoint3i origin{INT_MAX - 3, 1, 1};
        QelSize3i size{8, 1, 1};
        QelBox3i box{&origin, &size};
        ASSERT_EQ(QEL_CropRawVolumeData(vol.get(), &box, mode), 0);
        ASSERT_EQ(vol->size->nx, 8);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(voxel(vol.get(), 0, x, 0, 0), mode ? edge : 0) << x;
    }
}

TEST(Padding, RefusalsLeaveTheVolumeAsItWas) {
    Volume vol = random_volume(4, 4, 5, {0, 7}, {0, 0}, 21);
    const Snapshot before(vol.get());
    QelPoint3i origin{0, 0, 0};
    QelSize3i empty{2, 0, 2}, negative{2, -1, 2}, whole{4, 4, 5};
    QelBox3i emptyBox{&origin, &empty}, negativeBox{&origin, &negative};
    QelBox3i noOrigin{nullptr, &whole}, noSize{&origin, nullptr};
    QelSize3i wide{INT_MAX, INT_MAX, 2};
    QelBox3i wideBox{&origin, &wide};

    for (const Form& form : kForms) {
        EXPECT_EQ(form.expand(vol.get(), -1, QEL_PAD_MIRROR), -1) << form.name;
        EXPECT_EQ(form.expand(vol.get(), INT_MAX, QEL_PAD_ZERO), -1) << form.name;  // size beyond 32 bits
        EXPECT_EQ(form.expand(vol.get(), INT_MIN, QEL_PAD_ZERO), -1) << form.name;
        EXPECT_EQ(form.shrink(vol.get(), -1), -1) << form.name;
        EXPECT_EQ(form.shrink(vol.get(), 3), -1) << form.name;  // 2w beyond every extent
        EXPECT_EQ(form.expand(nullptr, 1, QEL_PAD_ZERO), -1);
        EXPECT_EQ(form.shrink(nullptr, 1), -1);
    }
    EXPECT_EQ(QEL_ShrinkRawVolumeDataXY(vol.get(), 2), -1);  // 2w equal to the x and y extents
    EXPECT_EQ(QEL_ExpandRawVolumeData(vol.get(), 700, QEL_PAD_ZERO), -1);  // voxel count beyond 32 bits
    for (const QelBox3i* box : {&emptyBox, &negativeBox, &noOrigin, &noSize, &wideBox})
        EXPECT_EQ(QEL_CropRawVolumeData(vol.get(), box, QEL_PAD_MIRROR), -1);
    EXPECT_EQ(QEL_CropRawVolumeData(vol.get(), nullptr, QEL_PAD_ZERO), -1);
    EXPECT_EQ(QEL_CropRawVolumeData(nullptr, &emptyBox, QEL_PAD_ZERO), -1);
    EXPECT_EQ(Snapshot(vol.get()), before);
}

namespace {

QelBox3i* box_at(QelPoint3i* o, QelSize3i* s, QelBox3i* b, QelPoint3i origin, QelSize3i size) {
    *o = origin;
    *s = size;
    *b = QelBox3i{o, s};
    return b;
}

}  // namespace

// The six slab steps of a grown volume give the same border as the growth itself.
TEST(BorderSteps, SixStepsFillTheBorderOfAZeroGrowth) {
    const int nx = 3, ny = 4, nz = 5;
    for (int w : {1, 2, 3}) {
        SCOPED_TRACE(w);
        const int Nx = nx + 2 * w, Ny = ny + 2 * w;
        QelPoint3i o;
        QelSize3i s;
        QelBox3i b;
        // Mirror steps need the slab inside the copied data: w <= every extent.
        if (w <= nx) {
            Volume want = random_volume(nx, ny, nz, kUnits, kAttributes, 31);
            Volume got = random_volume(nx, ny, nz, kUnits, kAttributes, 31);
            ASSERT_EQ(QEL_ExpandRawVolumeData(want.get(), w, QEL_PAD_MIRROR), 0);
            ASSERT_EQ(QEL_ExpandRawVolumeData(got.get(), w, QEL_PAD_ZERO), 0);
            QelRawVolumeData* v = got.get();
            ASSERT_EQ(QEL_MirrorBorderSlab(-w, 0, 0, box_at(&o, &s, &b, {w, w, w}, {w, ny, nz}), v), 0);
            EXPECT_EQ(o.x, 0);  // the slab moved with the copy
            ASSERT_EQ(QEL_MirrorBorderSlab(w, 0, 0, box_at(&o, &s, &b, {nx, w, w}, {w, ny, nz}), v), 0);
            ASSERT_EQ(QEL_MirrorBorderSlab(0, -w, 0, box_at(&o, &s, &b, {0, w, w}, {Nx, w, nz}), v), 0);
            ASSERT_EQ(QEL_MirrorBorderSlab(0, w, 0, box_at(&o, &s, &b, {0, ny, w}, {Nx, w, nz}), v), 0);
            ASSERT_EQ(QEL_MirrorBorderSlab(0, 0, -w, box_at(&o, &s, &b, {0, 0, w}, {Nx, Ny, w}), v), 0);
            ASSERT_EQ(QEL_MirrorBorderSlab(0, 0, w, box_at(&o, &s, &b, {0, 0, nz}, {Nx, Ny, w}), v), 0);
            for (int c = 0; c < kChannels; ++c)
                EXPECT_EQ(padtest::channel_bytes(got.get(), c), padtest::channel_bytes(want.get(), c)) << c;
        }
        Volume want = random_volume(nx, ny, nz, kUnits, kAttributes, 32);
        Volume got = random_volume(nx, ny, nz, kUnits, kAttributes, 32);
        ASSERT_EQ(QEL_ExpandRawVolumeData(want.get(), w, QEL_PAD_REPLICATE), 0);
        ASSERT_EQ(QEL_ExpandRawVolumeData(got.get(), w, QEL_PAD_ZERO), 0);
        QelRawVolumeData* v = got.get();
        ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {w, w, w}, {1, ny, nz}), v, -w, 0), 0);
        ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {nx + w - 1, w, w}, {1, ny, nz}), v, w, 0), 0);
        ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, w, w}, {Nx, 1, nz}), v, -w, 1), 0);
        ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, ny + w - 1, w}, {Nx, 1, nz}), v, w, 1), 0);
        ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, w}, {Nx, Ny, 1}), v, -w, 2), 0);
        ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, nz + w - 1}, {Nx, Ny, 1}), v, w, 2), 0);
        for (int c = 0; c < kChannels; ++c)
            EXPECT_EQ(padtest::channel_bytes(got.get(), c), padtest::channel_bytes(want.get(), c)) << c;
    }
}

// A one-voxel-wide volume: the z step's slab is one voxel thick along x as well, and only
// the axis it is given says which way to replicate.
TEST(BorderSteps, ReplicateFollowsTheAxisItIsGiven) {
    Volume want = random_volume(1, 3, 4, {5}, {0}, 41);
    Volume got = random_volume(1, 3, 4, {5}, {0}, 41);
    ASSERT_EQ(QEL_ExpandRawVolumeDataZ(want.get(), 2, QEL_PAD_REPLICATE), 0);
    ASSERT_EQ(QEL_ExpandRawVolumeDataZ(got.get(), 2, QEL_PAD_ZERO), 0);
    QelPoint3i o;
    QelSize3i s;
    QelBox3i b;
    ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, 2}, {1, 3, 1}), got.get(), -2, 2), 0);
    ASSERT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, 5}, {1, 3, 1}), got.get(), 2, 2), 0);
    EXPECT_EQ(padtest::channel_bytes(got.get(), 0), padtest::channel_bytes(want.get(), 0));
}

TEST(BorderSteps, RefuseSlabsOutsideOrOverlapping) {
    Volume vol = random_volume(6, 6, 6, {0, 6}, {0, 0}, 51);
    const Snapshot before(vol.get());
    QelPoint3i o;
    QelSize3i s;
    QelBox3i b;
    QelRawVolumeData* v = vol.get();
    EXPECT_EQ(QEL_MirrorBorderSlab(-2, 0, 0, box_at(&o, &s, &b, {1, 0, 0}, {2, 6, 6}), v), -1);  // target at x -1
    EXPECT_EQ(QEL_MirrorBorderSlab(1, 0, 0, box_at(&o, &s, &b, {1, 0, 0}, {2, 6, 6}), v), -1);   // overlaps
    EXPECT_EQ(QEL_MirrorBorderSlab(0, 0, 0, box_at(&o, &s, &b, {1, 0, 0}, {2, 6, 6}), v), -1);   // no axis
    EXPECT_EQ(QEL_MirrorBorderSlab(0, 3, 0, box_at(&o, &s, &b, {0, 4, 0}, {6, 3, 6}), v), -1);   // slab outside
    EXPECT_EQ(o.y, 4);  // a refused step does not move the slab
    EXPECT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, 1}, {6, 6, 1}), v, -2, 2), -1);
    EXPECT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, 4}, {6, 6, 1}), v, 2, 2), -1);
    EXPECT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, 2}, {6, 6, 2}), v, 1, 2), -1);  // not one thick
    EXPECT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, 2}, {6, 6, 1}), v, 1, 3), -1);  // no such axis
    EXPECT_EQ(QEL_ReplicateBorderSlab(box_at(&o, &s, &b, {0, 0, 2}, {6, 6, 1}), v, INT_MIN, 2), -1);
    EXPECT_EQ(QEL_ReplicateBorderSlab(nullptr, v, 1, 0), -1);
    EXPECT_EQ(QEL_MirrorBorderSlab(1, 0, 0, nullptr, v), -1);
    EXPECT_EQ(Snapshot(vol.get()), before);
}
