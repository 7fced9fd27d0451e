// The image record: construction, layout, copies, channel lists and RGBA forms.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/capture.hpp"
#include "volume/qel_image.h"

namespace {

QelRawImageData* new_image(int w, int h, std::vector<int> units, std::vector<int> attributes = {}) {
    if (attributes.empty()) attributes.assign(units.size(), 0);
    const QelSize3i s{w, h, static_cast<int>(units.size())};
    return QEL_NewRawImageData(&s, units.data(), attributes.data());
}

int64_t pixels(const QelRawImageData* im) { return int64_t{im->size->nx} * im->size->ny; }

void fill_pattern(QelRawImageData* im, int seed = 0) {
    for (int c = 0; c < im->size->nz; ++c) {
        auto* p = static_cast<unsigned char*>(im->data[c]);
        for (int64_t i = 0; i < pixels(im) * QEL_GetVoxelUnitSize(im->unit[c]); ++i)
            p[i] = static_cast<unsigned char>(i * 13 + c * 29 + seed + 3);
    }
}

bool same_channel(const QelRawImageData* a, int ca, const QelRawImageData* b, int cb) {
    if (a->unit[ca] != b->unit[cb] || a->attribute[ca] != b->attribute[cb] || pixels(a) != pixels(b)) return false;
    return std::memcmp(a->data[ca], b->data[cb], pixels(a) * QEL_GetVoxelUnitSize(a->unit[ca])) == 0;
}

TEST(ImageRecord, LayoutZeroFillAndRefusals) {
    QelRawImageData* im = new_image(3, 2, {QEL_VOXEL_UNIT_INT32});
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(QEL_GetNumberOfPixels(im), 6);
    int32_t* base = static_cast<int32_t*>(im->data[0]);
    EXPECT_EQ(static_cast<int32_t*>(QEL_GetRowOfRawImageData(im, 0, 1)) + 2, base + 5);  // pixel (2, 1)
    EXPECT_EQ(QEL_GetChannelArrayOfRawImageData(im, 0), im->rows[0]);
    for (int y = 0; y < 2; ++y) EXPECT_EQ(static_cast<int32_t*>(im->rows[0][y]), base + 3 * y);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(base[i], 0);
    QEL_DeleteRawImageData(im);
    QEL_DeleteRawImageData(nullptr);

    int units[1] = {0}, attributes[1] = {0};
    const QelSize3i bad[] = {{0, 2, 1}, {2, 0, 1}, {2, 2, 0}, {-1, 2, 1}, {-2, -2, 1}, {65536, 65536, 1}, {2, 2, -1}};
    for (const QelSize3i& s : bad) EXPECT_EQ(QEL_NewRawImageData(&s, units, attributes), nullptr);
    const QelSize2i flat{5, 0};
    EXPECT_EQ(QEL_NewSingleChannelRawImageData(&flat, 0, 0), nullptr);
    const QelSize2i ok{5, 4};
    im = QEL_NewSingleChannelRawImageData(&ok, 4, 2);
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(im->size->nz, 1);
    EXPECT_EQ(im->unit[0], 4);
    EXPECT_EQ(im->attribute[0], 2);
    QEL_DeleteRawImageData(im);

    im = new_image(2, 2, {12});  // invalid unit: stored, rows unreachable, still released
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(QEL_GetRowOfRawImageData(im, 0, 1), nullptr);
    QEL_DeleteRawImageData(im);
}

TEST(ImageRecord, RectangleQueries) {
    QelRawImageData* im = new_image(6, 4, {0});
    QelRect2i* r = QEL_NewRectOfRawImageData(im);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->origin->x, 0);
    EXPECT_EQ(r->size->width, 6);
    EXPECT_EQ(r->size->height, 4);
    EXPECT_EQ(QEL_IsRectInsideRawImageData(r, im), 1);
    r->origin->x = 1;
    EXPECT_EQ(QEL_IsRectInsideRawImageData(r, im), 0);
    QEL_DeleteRect2i(r);
    QEL_DeleteRawImageData(im);
}

TEST(ImageRecord, CopiesAndChannelList) {
    QelRawImageData* im = new_image(4, 3, {0, 6, 2}, {0, 0, 0});
    ASSERT_NE(im, nullptr);
    fill_pattern(im);
    QelRawImageData* copy = QEL_CopyRawImageData(im);
    ASSERT_NE(copy, nullptr);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NE(copy->data[c], im->data[c]);
        EXPECT_TRUE(same_channel(copy, c, im, c));
    }
    QelRawImageData* one = QEL_ExtractChannelOfRawImageData(im, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->size->nz, 1);
    EXPECT_TRUE(same_channel(one, 0, im, 1));
    EXPECT_EQ(QEL_ExtractChannelOfRawImageData(im, 3), nullptr);

    ASSERT_EQ(QEL_AddChannelToRawImageData(im, 7, 0), 0);
    EXPECT_EQ(im->size->nz, 4);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(static_cast<double*>(im->data[3])[i], 0.0);
    ASSERT_EQ(QEL_DuplicateChannelOfRawImageData(im, 2), 0);
    EXPECT_TRUE(same_channel(im, 4, copy, 2));
    EXPECT_EQ(QEL_DuplicateChannelOfRawImageData(im, 9), -1);

    ASSERT_EQ(QEL_RemoveChannelFromRawImageData(im, 0), 0);
    EXPECT_TRUE(same_channel(im, 0, copy, 1));
    EXPECT_TRUE(same_channel(im, 1, copy, 2));
    EXPECT_EQ(im->unit[2], 7);
    EXPECT_EQ(QEL_RemoveChannelFromRawImageData(im, 4), -1);
    for (int y = 0; y < 3; ++y)
        for (int c = 0; c < im->size->nz; ++c)
            EXPECT_EQ(im->rows[c][y], static_cast<char*>(im->data[c]) + y * 4 * QEL_GetVoxelUnitSize(im->unit[c]));

    QEL_SwapRawImageData(im, one);
    EXPECT_EQ(im->size->nz, 1);
    EXPECT_EQ(one->size->nz, 4);
    QEL_DeleteRawImageData(im);
    QEL_DeleteRawImageData(copy);

    while (one->size->nz > 0) ASSERT_EQ(QEL_RemoveChannelFromRawImageData(one, 0), 0);
    EXPECT_EQ(one->size->nz, 0);
    QEL_DeleteRawImageData(one);
}

TEST(ImageRgba, ToggleAndCopiesTakeTheSourceFirst) {
    QelRawImageData* im = new_image(3, 2, {4}, {2});
    ASSERT_NE(im, nullptr);
    for (int i = 0; i < 6; ++i) static_cast<uint32_t*>(im->data[0])[i] = 0x11223344u * (i + 1);
    QelRawImageData* packed = QEL_CopyRawImageData(im);
    QEL_ToggleRgbaOfRawImageData(im);
    ASSERT_EQ(im->size->nz, 4);
    for (int i = 0; i < 6; ++i) {
        const uint32_t w = static_cast<uint32_t*>(packed->data[0])[i];
        for (int c = 0; c < 4; ++c) EXPECT_EQ(static_cast<uint8_t*>(im->data[c])[i], (w >> (24 - 8 * c)) & 0xFF);
    }
    QEL_ToggleRgbaOfRawImageData(im);
    ASSERT_EQ(im->size->nz, 1);
    EXPECT_TRUE(same_channel(im, 0, packed, 0));

    QelRawImageData* three = new_image(3, 2, {0, 0, 0});
    fill_pattern(three);
    QelRawImageData* three_before = QEL_CopyRawImageData(three);
    QEL_ToggleRgbaOfRawImageData(three);
    ASSERT_EQ(three->size->nz, 3);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(same_channel(three, c, three_before, c));

    QelRawImageData* planes = new_image(3, 2, {0, 0, 0, 0});
    QEL_NonInterleavedCopyRgbaRawImageData(packed, 0, planes);
    QelRawImageData* repacked = new_image(3, 2, {4}, {2});
    QEL_InterleavedCopyRgbaRawImageData(planes, repacked);
    EXPECT_TRUE(same_channel(repacked, 0, packed, 0));

    QelRawImageData* plain = new_image(3, 2, {4}, {0});
    {
        qeltest::StderrCapture capture;
        QEL_NonInterleavedCopyRgbaRawImageData(plain, 0, planes);  // attribute 0 source
        QEL_NonInterleavedCopyRgbaRawImageData(packed, 0, three);
        QEL_InterleavedCopyRgbaRawImageData(three, repacked);      // silent
        EXPECT_EQ(capture.stop(),
                  "Err:QEL_NonInterleavedCopyRgbaRawImageData\n"
                  "Err:QEL_NonInterleavedCopyRgbaRawImageData\n");
    }
    EXPECT_TRUE(same_channel(repacked, 0, packed, 0));
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(same_channel(three, c, three_before, c));
    for (QelRawImageData* r : {im, packed, three, three_before, planes, repacked, plain}) QEL_DeleteRawImageData(r);
}

}  // namespace
