// The volume record: construction, layout, copies, channel lists, split, swap and RGBA forms.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/address_space.hpp"
#include "support/capture.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_volume.h"

namespace {

QelRawVolumeData* new_volume(int nx, int ny, int nz, std::vector<int> units, std::vector<int> attributes = {}) {
    if (attributes.empty()) attributes.assign(units.size(), 0);
    const QelSize4i s{nx, ny, nz, static_cast<int>(units.size())};
    return QEL_NewRawVolumeData(&s, units.data(), attributes.data());
}

int64_t voxels(const QelRawVolumeData* v) { return int64_t{v->size->nx} * v->size->ny * v->size->nz; }

// Fills every channel with a pattern that differs per channel and per voxel.
void fill_pattern(QelRawVolumeData* v, int seed = 0) {
    for (int c = 0; c < v->size->nChannels; ++c) {
        const int es = QEL_GetVoxelUnitSize(v->unit[c]);
        auto* p = static_cast<unsigned char*>(v->data[c]);
        for (int64_t i = 0; i < voxels(v) * es; ++i) p[i] = static_cast<unsigned char>(i * 7 + c * 31 + seed + 1);
    }
}

bool same_channel(const QelRawVolumeData* a, int ca, const QelRawVolumeData* b, int cb) {
    if (a->unit[ca] != b->unit[cb] || a->attribute[ca] != b->attribute[cb] || voxels(a) != voxels(b)) return false;
    return std::memcmp(a->data[ca], b->data[cb], voxels(a) * QEL_GetVoxelUnitSize(a->unit[ca])) == 0;
}

// Checks that data and slices agree: slice z, row y is element (z*ny + y)*nx of the block.
void expect_consistent(const QelRawVolumeData* v) {
    for (int c = 0; c < v->size->nChannels; ++c) {
        const int es = QEL_GetVoxelUnitSize(v->unit[c]);
        for (int z = 0; z < v->size->nz; ++z)
            for (int y = 0; y < v->size->ny; ++y)
                ASSERT_EQ(v->slices[c][z][y],
                          static_cast<char*>(v->data[c]) + (int64_t{z} * v->size->ny + y) * v->size->nx * es);
    }
}

uint32_t word(const QelRawVolumeData* v, int c, int64_t i) { return static_cast<const uint32_t*>(v->data[c])[i]; }
uint8_t byte(const QelRawVolumeData* v, int c, int64_t i) { return static_cast<const uint8_t*>(v->data[c])[i]; }

TEST(VolumeRecord, LayoutAndZeroFill) {
    QelRawVolumeData* vol = new_volume(2, 3, 4, {QEL_VOXEL_UNIT_UINT16, QEL_VOXEL_UNIT_FLOAT64}, {0, 2});
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->size->nx, 2);
    EXPECT_EQ(vol->size->nChannels, 2);
    EXPECT_EQ(vol->unit[1], 7);
    EXPECT_EQ(vol->attribute[1], 2);
    EXPECT_EQ(QEL_GetNumberOfVoxels(vol), 24);
    expect_consistent(vol);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 24; ++i) EXPECT_EQ(QEL_GetValueOfTypedArray(vol->data[c], vol->unit[c], 24, i), 0.0);
    // voxel (1, 2, 3) is element 1 + 2*(2 + 3*3) = 23
    EXPECT_EQ(static_cast<uint16_t*>(QEL_GetRowOfRawVolumeData(vol, 0, 3, 2)) + 1,
              static_cast<uint16_t*>(vol->data[0]) + 23);
    EXPECT_EQ(static_cast<double*>(QEL_GetRowOfRawVolumeData(vol, 1, 3, 2)) + 1,
              static_cast<double*>(vol->data[1]) + 23);
    EXPECT_EQ(QEL_GetSliceOfRawVolumeData(vol, 1, 2), vol->slices[1][2]);
    EXPECT_EQ(QEL_GetChannelArrayOfRawVolumeData(vol, 1), vol->slices[1]);
    QEL_DeleteRawVolumeData(vol);
    QEL_DeleteRawVolumeData(nullptr);
}

TEST(VolumeRecord, ConstructorKeepsNoReferenceToItsArguments) {
    QelSize4i s{3, 3, 3, 2};
    int units[2] = {0, 5}, attributes[2] = {0, 0};
    QelRawVolumeData* vol = QEL_NewRawVolumeData(&s, units, attributes);
    ASSERT_NE(vol, nullptr);
    EXPECT_NE(vol->size, &s);
    EXPECT_NE(vol->unit, units);
    s.nx = 9;
    units[1] = 1;
    EXPECT_EQ(vol->size->nx, 3);
    EXPECT_EQ(vol->unit[1], 5);
    QEL_DeleteRawVolumeData(vol);

    QelSize3i d{4, 1, 2};
    vol = QEL_NewSingleChannelRawVolumeData(&d, 4, 2);
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->size->nChannels, 1);
    EXPECT_EQ(vol->size->nz, 2);
    EXPECT_EQ(vol->unit[0], 4);
    EXPECT_EQ(vol->attribute[0], 2);
    QEL_DeleteRawVolumeData(vol);
}

TEST(VolumeRecord, RefusesNonPositiveAndOverflowingSizes) {
    int units[2] = {0, 0}, attributes[2] = {0, 0};
    const QelSize4i bad[] = {{0, 2, 2, 1},  {2, 0, 2, 1},       {2, 2, 0, 1},          {2, 2, 2, 0},
                             {-1, 2, 2, 1}, {2, 2, -3, 1},      {2, 2, 2, -1},         {-2, -2, 2, 1},
                             {65536, 65536, 1, 1}, {2048, 2048, 1024, 1}, {INT_MAX, INT_MAX, INT_MAX, 2}};
    for (const QelSize4i& s : bad)
        EXPECT_EQ(QEL_NewRawVolumeData(&s, units, attributes), nullptr) << s.nx << " " << s.ny << " " << s.nz;
    const QelSize4i ok{2, 2, 2, 1};
    EXPECT_EQ(QEL_NewRawVolumeData(nullptr, units, attributes), nullptr);
    EXPECT_EQ(QEL_NewRawVolumeData(&ok, nullptr, attributes), nullptr);
    EXPECT_EQ(QEL_NewSingleChannelRawVolumeData(nullptr, 0, 0), nullptr);
    const QelSize3i flat{4, 4, 0};
    EXPECT_EQ(QEL_NewSingleChannelRawVolumeData(&flat, 0, 0), nullptr);
}

TEST(VolumeRecord, RefusesRecordsBeyondHalfOfPhysicalMemoryBeforeAllocating) {
    // 256 channels of 1290^3 doubles: each channel fits an int's voxel count, the whole takes
    // 4.4 TB. A header or a board that asks for it gets NULL, as if memory had run out.
    std::vector<int> units(256, QEL_VOXEL_UNIT_FLOAT64), attributes(256, 0);
    const QelSize4i huge{1290, 1290, 1290, 256};
    if (4.4e12 <= static_cast<double>(qel::memory_bound())) GTEST_SKIP() << "this machine may hold it";
    qeltest::AddressSpaceCap cap(int64_t{1} << 30);
    EXPECT_EQ(QEL_NewRawVolumeData(&huge, units.data(), attributes.data()), nullptr);
}

TEST(VolumeRecord, InvalidUnitIsStoredAsGiven) {
    QelRawVolumeData* vol = new_volume(3, 2, 2, {9, 0});
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->unit[0], 9);
    EXPECT_EQ(QEL_GetRowOfRawVolumeData(vol, 0, 1, 1), nullptr);
    EXPECT_EQ(QEL_GetSliceOfRawVolumeData(vol, 0, 1), nullptr);
    EXPECT_NE(QEL_GetRowOfRawVolumeData(vol, 1, 1, 1), nullptr);
    QelRawVolumeData* copy = QEL_CopyRawVolumeData(vol);  // empty channel copies fine
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->unit[0], 9);
    QEL_DeleteRawVolumeData(copy);
    QEL_DeleteRawVolumeData(vol);  // the block is released whatever the unit
}

TEST(VolumeRecord, CopyAndExtractAreDeep) {
    QelRawVolumeData* vol = new_volume(5, 4, 3, {0, 3, 6, 7}, {0, 0, 0, 0});
    ASSERT_NE(vol, nullptr);
    fill_pattern(vol);
    QelRawVolumeData* copy = QEL_CopyRawVolumeData(vol);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(QEL_IsEqualSize4i(copy->size, vol->size), 1);
    expect_consistent(copy);
    for (int c = 0; c < 4; ++c) {
        EXPECT_NE(copy->data[c], vol->data[c]);
        EXPECT_TRUE(same_channel(copy, c, vol, c)) << c;
    }
    QelRawVolumeData* ch = QEL_ExtractChannelOfRawVolumeData(vol, 2);
    ASSERT_NE(ch, nullptr);
    EXPECT_EQ(ch->size->nChannels, 1);
    EXPECT_EQ(ch->size->nz, 3);
    EXPECT_TRUE(same_channel(ch, 0, vol, 2));
    fill_pattern(vol, 5);  // the originals change, the copies do not
    EXPECT_FALSE(same_channel(copy, 0, vol, 0));
    EXPECT_FALSE(same_channel(ch, 0, vol, 2));
    QEL_DeleteRawVolumeData(vol);
    EXPECT_EQ(static_cast<float*>(copy->data[2])[7], static_cast<float*>(ch->data[0])[7]);
    QEL_DeleteRawVolumeData(copy);
    QEL_DeleteRawVolumeData(ch);

    QelRawVolumeData* one = new_volume(2, 2, 2, {0});
    EXPECT_EQ(QEL_ExtractChannelOfRawVolumeData(one, 1), nullptr);
    EXPECT_EQ(QEL_ExtractChannelOfRawVolumeData(one, -1), nullptr);
    EXPECT_EQ(QEL_CopyRawVolumeData(nullptr), nullptr);
    QEL_DeleteRawVolumeData(one);
}

TEST(VolumeRecord, BoxQueriesAndClipping) {
    QelRawVolumeData* vol = new_volume(8, 8, 8, {0});
    ASSERT_NE(vol, nullptr);
    QelBox3i* whole = QEL_NewBoxOfRawVolumeData(vol);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->origin->x + whole->origin->y + whole->origin->z, 0);
    EXPECT_EQ(whole->size->nx, 8);
    EXPECT_EQ(QEL_IsBoxInsideRawVolumeData(whole, vol), 1);
    whole->origin->z = 1;
    EXPECT_EQ(QEL_IsBoxInsideRawVolumeData(whole, vol), 0);
    QEL_DeleteBox3i(whole);

    QelPoint3i o{-2, 0, 5};
    QelSize3i s{4, 10, 10};
    QelBox3i* box = QEL_NewBox3i(&o, &s);
    QEL_ClipBoxToRawVolumeData(box, vol);
    EXPECT_EQ(box->origin->x, 0);
    EXPECT_EQ(box->origin->y, 0);
    EXPECT_EQ(box->origin->z, 5);
    EXPECT_EQ(box->size->nx, 2);
    EXPECT_EQ(box->size->ny, 8);
    EXPECT_EQ(box->size->nz, 3);
    EXPECT_EQ(QEL_IsBoxInsideRawVolumeData(box, vol), 1);
    QEL_DeleteBox3i(box);

    // Against a brute-force count of the voxels that lie in both the box and the volume.
    const int starts[] = {-12, -3, 0, 2, 7, 8, 11};
    const int sizes[] = {0, 1, 3, 8, 20};
    for (int o1 : starts)
        for (int s1 : sizes) {
            QelPoint3i po{o1, 1, 0};
            QelSize3i ps{s1, 2, 8};
            QelBox3i b{&po, &ps};
            QEL_ClipBoxToRawVolumeData(&b, vol);
            int inside = 0;
            for (int x = o1; x < o1 + s1; ++x) inside += x >= 0 && x < 8;
            if (inside > 0) {
                EXPECT_EQ(ps.nx, inside) << o1 << "+" << s1;
                EXPECT_EQ(po.x, std::max(o1, 0));
            } else {
                EXPECT_LE(ps.nx, 0) << o1 << "+" << s1;
            }
        }
    // Extreme boxes clip without overflow.
    QelPoint3i fo{INT_MIN, INT_MAX, 0};
    QelSize3i fs{INT_MAX, INT_MAX, INT_MAX};
    QelBox3i far{&fo, &fs};
    QEL_ClipBoxToRawVolumeData(&far, vol);
    EXPECT_LE(fs.nx, 0);
    EXPECT_LE(fs.ny, 0);
    EXPECT_EQ(fs.nz, 8);
    QEL_DeleteRawVolumeData(vol);
}

TEST(VolumeChannels, AddCopyDuplicateAndRemove) {
    QelRawVolumeData* vol = new_volume(3, 2, 2, {0, 5}, {0, 0});
    ASSERT_NE(vol, nullptr);
    fill_pattern(vol);
    void* block0 = vol->data[0];
    ASSERT_EQ(QEL_AddChannelToRawVolumeData(vol, 4, 2), 0);
    EXPECT_EQ(vol->size->nChannels, 3);
    EXPECT_EQ(vol->unit[2], 4);
    EXPECT_EQ(vol->attribute[2], 2);
    EXPECT_EQ(vol->data[0], block0);  // existing channels are not moved
    for (int i = 0; i < 12; ++i) EXPECT_EQ(word(vol, 2, i), 0u);
    expect_consistent(vol);

    ASSERT_EQ(QEL_DuplicateChannelOfRawVolumeData(vol, 1), 0);
    EXPECT_EQ(vol->size->nChannels, 4);
    EXPECT_TRUE(same_channel(vol, 3, vol, 1));
    EXPECT_NE(vol->data[3], vol->data[1]);

    QelRawVolumeData* other = new_volume(3, 2, 2, {7});
    fill_pattern(other, 9);
    ASSERT_EQ(QEL_AddChannelCopyToRawVolumeData(vol, other, 0), 0);
    EXPECT_TRUE(same_channel(vol, 4, other, 0));
    QelRawVolumeData* mismatched = new_volume(3, 2, 3, {0});
    EXPECT_EQ(QEL_AddChannelCopyToRawVolumeData(vol, mismatched, 0), -1);
    EXPECT_EQ(QEL_AddChannelCopyToRawVolumeData(vol, other, 1), -1);
    EXPECT_EQ(QEL_DuplicateChannelOfRawVolumeData(vol, 5), -1);
    EXPECT_EQ(vol->size->nChannels, 5);

    // Removing channel 0 moves the others down with their units and attributes.
    QelRawVolumeData* before = QEL_CopyRawVolumeData(vol);
    ASSERT_EQ(QEL_RemoveChannelFromRawVolumeData(vol, 0), 0);
    EXPECT_EQ(vol->size->nChannels, 4);
    for (int c = 0; c < 4; ++c) EXPECT_TRUE(same_channel(vol, c, before, c + 1)) << c;
    ASSERT_EQ(QEL_RemoveChannelFromRawVolumeData(vol, 2), 0);  // a middle one
    EXPECT_TRUE(same_channel(vol, 1, before, 2));
    EXPECT_TRUE(same_channel(vol, 2, before, 4));
    EXPECT_EQ(QEL_RemoveChannelFromRawVolumeData(vol, 3), -1);
    EXPECT_EQ(QEL_RemoveChannelFromRawVolumeData(vol, -1), -1);
    EXPECT_EQ(vol->size->nChannels, 3);

    // Down to no channel at all; the record can still grow again and be deleted.
    while (vol->size->nChannels > 0) ASSERT_EQ(QEL_RemoveChannelFromRawVolumeData(vol, 0), 0);
    EXPECT_EQ(QEL_RemoveChannelFromRawVolumeData(vol, 0), -1);
    ASSERT_EQ(QEL_AddChannelToRawVolumeData(vol, 1, 0), 0);
    EXPECT_EQ(vol->size->nChannels, 1);
    QelRawVolumeData* empty = new_volume(3, 2, 2, {0});
    ASSERT_EQ(QEL_RemoveChannelFromRawVolumeData(empty, 0), 0);
    EXPECT_EQ(empty->size->nChannels, 0);
    QEL_DeleteRawVolumeData(empty);
    QEL_DeleteRawVolumeData(before);
    QEL_DeleteRawVolumeData(mismatched);
    QEL_DeleteRawVolumeData(other);
    QEL_DeleteRawVolumeData(vol);
}

TEST(VolumeChannels, SwapBetweenAndWithinRecords) {
    QelRawVolumeData* a = new_volume(4, 3, 2, {0, 3}, {0, 0});
    QelRawVolumeData* b = new_volume(4, 3, 2, {7, 4}, {0, 2});
    ASSERT_TRUE(a && b);
    fill_pattern(a, 1);
    fill_pattern(b, 2);
    QelRawVolumeData* a0 = QEL_CopyRawVolumeData(a);
    QelRawVolumeData* b0 = QEL_CopyRawVolumeData(b);

    QEL_SwapChannelsOfRawVolumeData(a, 1, b, 1);
    EXPECT_TRUE(same_channel(a, 1, b0, 1));
    EXPECT_TRUE(same_channel(b, 1, a0, 1));
    EXPECT_EQ(a->attribute[1], 2);
    expect_consistent(a);
    expect_consistent(b);
    QEL_SwapChannelsOfRawVolumeData(a, 0, a, 1);  // within one record
    EXPECT_TRUE(same_channel(a, 0, b0, 1));
    EXPECT_TRUE(same_channel(a, 1, a0, 0));

    // Out-of-range channels and different depths change nothing.
    QelRawVolumeData* deeper = new_volume(4, 3, 3, {0});
    QelRawVolumeData* snapshot = QEL_CopyRawVolumeData(a);
    QEL_SwapChannelsOfRawVolumeData(a, 0, b, 2);
    QEL_SwapChannelsOfRawVolumeData(a, -1, b, 0);
    QEL_SwapChannelsOfRawVolumeData(a, 0, deeper, 0);
    for (int c = 0; c < 2; ++c) EXPECT_TRUE(same_channel(a, c, snapshot, c));

    // Whole records exchange; every block stays owned exactly once (ASan checks the deletes).
    QelRawVolumeData* a_size_before = a;
    QEL_SwapRawVolumeData(a, deeper);
    EXPECT_EQ(a, a_size_before);
    EXPECT_EQ(a->size->nz, 3);
    EXPECT_EQ(deeper->size->nz, 2);
    EXPECT_TRUE(same_channel(deeper, 0, snapshot, 0));
    QEL_DeleteRawVolumeData(a);
    QEL_DeleteRawVolumeData(b);
    QEL_DeleteRawVolumeData(deeper);
    QEL_DeleteRawVolumeData(snapshot);
    QEL_DeleteRawVolumeData(a0);
    QEL_DeleteRawVolumeData(b0);
}

// Expected element v of new channel i after a split, from the element index rules.
int64_t split_source_index(int layout, int n, int64_t per_channel, int64_t slice, int i, int64_t v) {
    switch (layout) {
        case 0: return i * per_channel + v;
        case 1: return (v / slice * n + i) * slice + v % slice;
        default: return v * n + i;
    }
}

TEST(VolumeSplit, LayoutsAgainstIndexRules) {
    for (int unit : {0, 3, 7})
        for (int layout : {0, 1, 3})
            for (int n : {1, 2, 3, 7}) {
                QelRawVolumeData* vol = new_volume(3, 2, 7, {unit}, {unit == 4 ? 2 : 0});
                ASSERT_NE(vol, nullptr);
                const int64_t total = voxels(vol);
                for (int64_t v = 0; v < total; ++v) {
                    // distinct small integers, exact in every unit
                    const double value = static_cast<double>((v * 5) % 127);
                    if (unit == 0) static_cast<uint8_t*>(vol->data[0])[v] = static_cast<uint8_t>(value);
                    if (unit == 3) static_cast<int16_t*>(vol->data[0])[v] = static_cast<int16_t>(-value);
                    if (unit == 7) static_cast<double*>(vol->data[0])[v] = value + 0.25;
                }
                QelRawVolumeData* source = QEL_CopyRawVolumeData(vol);
                ASSERT_EQ(QEL_SplitChannelsOfRawVolumeData(vol, n, layout), 0) << layout << " " << n;
                ASSERT_EQ(vol->size->nChannels, n);
                ASSERT_EQ(vol->size->nz, 7 / n);
                expect_consistent(vol);
                const int64_t per = voxels(vol), slice = 6;
                for (int i = 0; i < n; ++i) {
                    EXPECT_EQ(vol->unit[i], unit);
                    for (int64_t v = 0; v < per; ++v)
                        ASSERT_EQ(QEL_GetValueOfTypedArray(vol->data[i], unit, per, v),
                                  QEL_GetValueOfTypedArray(source->data[0], unit, total,
                                                           split_source_index(layout, n, per, slice, i, v)))
                            << "unit " << unit << " layout " << layout << " n " << n << " ch " << i << " v " << v;
                }
                QEL_DeleteRawVolumeData(source);
                QEL_DeleteRawVolumeData(vol);
            }
}

TEST(VolumeSplit, SmallExamplesAndRefusals) {
    // Slice-interleaved pairs: channel 0 = s0, s2, s4 and channel 1 = s1, s3, s5.
    QelRawVolumeData* vol = new_volume(1, 1, 6, {0});
    for (int z = 0; z < 6; ++z) static_cast<uint8_t*>(vol->data[0])[z] = static_cast<uint8_t>(10 + z);
    ASSERT_EQ(QEL_SplitSliceInterleavedChannels(vol, 2), 0);
    EXPECT_EQ(byte(vol, 0, 0), 10);
    EXPECT_EQ(byte(vol, 0, 1), 12);
    EXPECT_EQ(byte(vol, 0, 2), 14);
    EXPECT_EQ(byte(vol, 1, 0), 11);
    EXPECT_EQ(byte(vol, 1, 2), 15);
    QEL_DeleteRawVolumeData(vol);

    // Voxel-interleaved a, b, c, d: channel 0 = a, c and channel 1 = b, d.
    vol = new_volume(2, 1, 2, {0});
    const uint8_t abcd[4] = {'a', 'b', 'c', 'd'};
    std::memcpy(vol->data[0], abcd, 4);
    ASSERT_EQ(QEL_SplitVoxelInterleavedChannels(vol, 2), 0);
    EXPECT_EQ(vol->size->nx, 2);
    EXPECT_EQ(vol->size->nz, 1);
    EXPECT_EQ(byte(vol, 0, 0), 'a');
    EXPECT_EQ(byte(vol, 0, 1), 'c');
    EXPECT_EQ(byte(vol, 1, 0), 'b');
    EXPECT_EQ(byte(vol, 1, 1), 'd');
    QEL_DeleteRawVolumeData(vol);

    // Packed RGBA channels keep their attribute.
    vol = new_volume(2, 2, 4, {4}, {2});
    ASSERT_EQ(QEL_SplitChannelsOfRawVolumeData(vol, 2, 0), 0);
    EXPECT_EQ(vol->attribute[1], 2);
    QEL_DeleteRawVolumeData(vol);

    vol = new_volume(2, 2, 4, {0});
    fill_pattern(vol);
    QelRawVolumeData* before = QEL_CopyRawVolumeData(vol);
    EXPECT_EQ(QEL_SplitChannelsOfRawVolumeData(vol, 2, 2), -1);
    EXPECT_EQ(QEL_SplitChannelsOfRawVolumeData(vol, 2, 4), -1);
    EXPECT_EQ(QEL_SplitChannelsOfRawVolumeData(vol, 5, 1), -1);  // depth would be 0
    EXPECT_EQ(QEL_SplitChannelsOfRawVolumeData(vol, 0, 0), -1);
    EXPECT_EQ(QEL_SplitChannelsOfRawVolumeData(nullptr, 2, 0), -1);
    EXPECT_EQ(QEL_IsEqualSize4i(vol->size, before->size), 1);
    EXPECT_TRUE(same_channel(vol, 0, before, 0));
    ASSERT_EQ(QEL_AddChannelToRawVolumeData(vol, 0, 0), 0);
    EXPECT_EQ(QEL_SplitChannelsOfRawVolumeData(vol, 2, 0), -1);  // two channels
    EXPECT_EQ(vol->size->nChannels, 2);
    QEL_DeleteRawVolumeData(before);
    QEL_DeleteRawVolumeData(vol);
}

TEST(VolumeRgba, ToggleBothWays) {
    QelRawVolumeData* vol = new_volume(3, 2, 2, {4}, {2});
    ASSERT_NE(vol, nullptr);
    for (int i = 0; i < 12; ++i) static_cast<uint32_t*>(vol->data[0])[i] = 0x11223344u + 0x01010101u * i;
    QelRawVolumeData* packed = QEL_CopyRawVolumeData(vol);
    QelRawVolumeData* identity = vol;
    QEL_ToggleRgbaOfRawVolumeData(vol);
    EXPECT_EQ(vol, identity);
    ASSERT_EQ(vol->size->nChannels, 4);
    EXPECT_EQ(vol->size->nx, 3);
    EXPECT_EQ(vol->size->nz, 2);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(vol->unit[c], 0);
        EXPECT_EQ(vol->attribute[c], 0);
    }
    EXPECT_EQ(byte(vol, 0, 0), 17);
    EXPECT_EQ(byte(vol, 1, 0), 34);
    EXPECT_EQ(byte(vol, 2, 0), 51);
    EXPECT_EQ(byte(vol, 3, 0), 68);
    for (int i = 0; i < 12; ++i) {
        const uint32_t w = word(packed, 0, i);
        EXPECT_EQ(byte(vol, 0, i), w >> 24);
        EXPECT_EQ(byte(vol, 3, i), w & 0xFF);
    }
    QEL_ToggleRgbaOfRawVolumeData(vol);
    ASSERT_EQ(vol->size->nChannels, 1);
    EXPECT_EQ(vol->unit[0], 4);
    EXPECT_EQ(vol->attribute[0], 2);
    EXPECT_TRUE(same_channel(vol, 0, packed, 0));
    QEL_DeleteRawVolumeData(packed);
    QEL_DeleteRawVolumeData(vol);
}

TEST(VolumeRgba, ToggleLeavesOtherShapesAlone) {
    const std::vector<std::vector<int>> units = {{0, 0}, {0, 0, 0}, {0, 0, 0, 1}, {4}, {0, 0, 0, 0, 0}};
    const std::vector<std::vector<int>> attrs = {{0, 0}, {0, 0, 0}, {0, 0, 0, 0}, {0}, {0, 0, 0, 0, 0}};
    for (size_t k = 0; k < units.size(); ++k) {
        QelRawVolumeData* vol = new_volume(2, 2, 2, units[k], attrs[k]);
        fill_pattern(vol);
        QelRawVolumeData* before = QEL_CopyRawVolumeData(vol);
        QEL_ToggleRgbaOfRawVolumeData(vol);
        ASSERT_EQ(vol->size->nChannels, before->size->nChannels);
        for (int c = 0; c < vol->size->nChannels; ++c) EXPECT_TRUE(same_channel(vol, c, before, c));
        QEL_DeleteRawVolumeData(before);
        QEL_DeleteRawVolumeData(vol);
    }
    QelRawVolumeData* rgba4 = new_volume(2, 2, 2, {0, 0, 0, 0}, {0, 2, 0, 0});  // one attribute off
    QEL_ToggleRgbaOfRawVolumeData(rgba4);
    EXPECT_EQ(rgba4->size->nChannels, 4);
    QEL_DeleteRawVolumeData(rgba4);
    QEL_ToggleRgbaOfRawVolumeData(nullptr);
}

TEST(VolumeRgba, CopiesBetweenRecords) {
    QelRawVolumeData* planes = new_volume(2, 2, 1, {0, 0, 0, 0});
    QelRawVolumeData* packed = new_volume(2, 2, 1, {4}, {2});
    ASSERT_TRUE(planes && packed);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 4; ++i) static_cast<uint8_t*>(planes->data[c])[i] = static_cast<uint8_t>(0x10 * c + i + 0xA0 * (c == 0));
    QEL_InterleavedCopyRgbaRawVolumeData(packed, planes);  // destination first
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(word(packed, 0, i), uint32_t(byte(planes, 0, i)) << 24 | uint32_t(byte(planes, 1, i)) << 16 |
                                          uint32_t(byte(planes, 2, i)) << 8 | byte(planes, 3, i));
    EXPECT_EQ(word(packed, 0, 3), 0xA3132333u);

    QelRawVolumeData* back = new_volume(2, 2, 1, {0, 0, 0, 0});
    {
        qeltest::StderrCapture capture;
        QEL_NonInterleavedCopyRgbaRawVolumeData(back, 0, packed);
        EXPECT_EQ(capture.stop(), "");
    }
    for (int c = 0; c < 4; ++c) EXPECT_TRUE(same_channel(back, c, planes, c));

    // Shape mismatches: the interleaved copy is silent, the other one reports; neither writes.
    QelRawVolumeData* three = new_volume(2, 2, 1, {0, 0, 0});
    QelRawVolumeData* plain32 = new_volume(2, 2, 1, {4}, {0});
    QelRawVolumeData* bigger = new_volume(2, 2, 2, {0, 0, 0, 0});
    {
        qeltest::StderrCapture capture;
        QEL_InterleavedCopyRgbaRawVolumeData(plain32, planes);
        QEL_InterleavedCopyRgbaRawVolumeData(packed, three);
        QEL_InterleavedCopyRgbaRawVolumeData(packed, bigger);
        EXPECT_EQ(capture.stop(), "");
    }
    EXPECT_EQ(word(plain32, 0, 0), 0u);
    EXPECT_EQ(word(packed, 0, 3), 0xA3132333u);
    {
        qeltest::StderrCapture capture;
        QEL_NonInterleavedCopyRgbaRawVolumeData(three, 0, packed);
        QEL_NonInterleavedCopyRgbaRawVolumeData(back, 0, plain32);
        QEL_NonInterleavedCopyRgbaRawVolumeData(back, 1, packed);
        QEL_NonInterleavedCopyRgbaRawVolumeData(bigger, 0, packed);
        EXPECT_EQ(capture.stop(),
                                      "Err:QEL_NonInterleavedCopyRgbaRawVolumeData\n"
                                      "Err:QEL_NonInterleavedCopyRgbaRawVolumeData\n"
                                      "Err:QEL_NonInterleavedCopyRgbaRawVolumeData\n"
                                      "Err:QEL_NonInterleavedCopyRgbaRawVolumeData\n");
    }
    for (int c = 0; c < 3; ++c) EXPECT_EQ(byte(three, c, 0), 0);
    for (int c = 0; c < 4; ++c) EXPECT_TRUE(same_channel(back, c, planes, c));
    for (QelRawVolumeData* v : {planes, packed, back, three, plain32, bigger}) QEL_DeleteRawVolumeData(v);
}

}  // namespace
