#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "objects/qel_color.h"

namespace {

int int_key(const QelColorTable* t, int i) { return static_cast<const int*>(t->keys)[i]; }
float float_key(const QelColorTable* t, int i) { return static_cast<const float*>(t->keys)[i]; }
uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

void expect_colour(const QelColor& c, float r, float g, float b, float a) {
    EXPECT_EQ(c.r, r);
    EXPECT_EQ(c.g, g);
    EXPECT_EQ(c.b, b);
    EXPECT_EQ(c.a, a);
}

// Fills component k of entry i with a value that names both.
void fill_int_lut(QelIntColorLut* lut) {
    int first = lut->indexRange->min;
    for (int i = first; i < first + lut->n; ++i) {
        lut->red[i] = static_cast<float>(i);
        lut->green[i] = static_cast<float>(i) + 0.25f;
        lut->blue[i] = static_cast<float>(i) + 0.5f;
        lut->alpha[i] = static_cast<float>(i) + 0.75f;
    }
}

void fill_float_lut(QelFloatColorLut* lut) {
    for (int i = 0; i < lut->n; ++i) {
        lut->red[i] = static_cast<float>(i);
        lut->green[i] = static_cast<float>(-i);
        lut->blue[i] = static_cast<float>(2 * i);
        lut->alpha[i] = static_cast<float>(3 * i);
    }
}

}  // namespace

TEST(Color, NewCopyDelete) {
    QelColor* c = QEL_NewColor(0.1f, -2.0f, 300.0f, std::numeric_limits<float>::infinity());
    ASSERT_NE(c, nullptr);
    QelColor* d = QEL_CopyColor(c);
    ASSERT_NE(d, nullptr);
    c->r = 9.0f;
    expect_colour(*d, 0.1f, -2.0f, 300.0f, std::numeric_limits<float>::infinity());
    EXPECT_EQ(QEL_CopyColor(nullptr), nullptr);
    QEL_DeleteColor(c);
    QEL_DeleteColor(d);
    QEL_DeleteColor(nullptr);
}

TEST(ColorTable, ConstructionRefusals) {
    EXPECT_EQ(QEL_NewColorTable(4, 2), nullptr);
    EXPECT_EQ(QEL_NewColorTable(4, -1), nullptr);
    EXPECT_EQ(QEL_NewColorTable(0, 0), nullptr);
    EXPECT_EQ(QEL_NewColorTable(-3, 1), nullptr);
    QelColorTable* t = QEL_NewColorTable(3, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->count, 0);
    EXPECT_EQ(t->capacity, 3);
    EXPECT_EQ(t->keyType, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bits(float_key(t, i)), 0u);
        expect_colour(*t->colours[i], 0, 0, 0, 0);
    }
    QEL_DeleteColorTable(t);
    QEL_DeleteColorTable(nullptr);
}

TEST(ColorTable, AddUntilFullThenRemoveFirst) {
    QelColorTable* t = QEL_NewColorTable(2, 0);
    ASSERT_NE(t, nullptr);
    QelColor red{1, 0, 0, 1}, green{0, 1, 0, 1}, blue{0, 0, 1, 1};
    int k1 = 7, k2 = -3, k3 = 99;
    EXPECT_EQ(QEL_AddColorTableEntry(t, &red, &k1), 1);
    EXPECT_EQ(QEL_AddColorTableEntry(t, &green, &k2), 2);
    EXPECT_EQ(QEL_AddColorTableEntry(t, &blue, &k3), 2);  // full: unchanged
    EXPECT_EQ(t->count, 2);
    EXPECT_EQ(int_key(t, 1), -3);
    expect_colour(*t->colours[1], 0, 1, 0, 1);
    // The table keeps its own colour values.
    red.r = 0.5f;
    expect_colour(*t->colours[0], 1, 0, 0, 1);

    QelColor* slot0 = t->colours[0];
    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &k1), 1);
    EXPECT_EQ(int_key(t, 0), -3);
    expect_colour(*t->colours[0], 0, 1, 0, 1);
    EXPECT_EQ(t->colours[0], slot0);  // values move, records stay
    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &k3), 1);  // absent key
    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &k2), 0);
    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &k2), 0);  // empty table
    QEL_DeleteColorTable(t);
}

TEST(ColorTable, FloatKeysNegativeZeroNaNAndDuplicates) {
    QelColorTable* t = QEL_NewColorTable(5, 1);
    ASSERT_NE(t, nullptr);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float keys[5] = {-0.0f, nan, 0.0f, 2.5f, 2.5f};
    for (int i = 0; i < 5; ++i) {
        QelColor c{static_cast<float>(i), 0, 0, 1};
        EXPECT_EQ(QEL_AddColorTableEntry(t, &c, &keys[i]), i + 1);
    }
    // Keys are copied as words: the sign of -0.0 and the NaN payload survive.
    EXPECT_EQ(bits(float_key(t, 0)), bits(-0.0f));
    EXPECT_EQ(bits(float_key(t, 1)), bits(nan));

    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &nan), 5);  // a NaN key never matches

    // 0.0 equals -0.0 as a float: the lower entry goes.
    const float zero = 0.0f;
    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &zero), 4);
    EXPECT_TRUE(std::isnan(float_key(t, 0)));
    EXPECT_EQ(bits(float_key(t, 1)), bits(0.0f));
    EXPECT_EQ(t->colours[1]->r, 2.0f);

    const float minusZero = -0.0f;
    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &minusZero), 3);
    EXPECT_EQ(float_key(t, 1), 2.5f);

    // Of two equal keys only the lower entry is removed.
    const float dup = 2.5f;
    EXPECT_EQ(QEL_RemoveColorTableEntry(t, &dup), 2);
    EXPECT_EQ(float_key(t, 1), 2.5f);
    EXPECT_EQ(t->colours[1]->r, 4.0f);
    QEL_DeleteColorTable(t);
}

TEST(ColorTable, CopyIsIndependent) {
    QelColorTable* t = QEL_NewColorTable(3, 0);
    ASSERT_NE(t, nullptr);
    QelColor a{0.1f, 0.2f, 0.3f, 0.4f}, b{1, 2, 3, 4};
    int ka = 10, kb = 20;
    QEL_AddColorTableEntry(t, &a, &ka);
    QEL_AddColorTableEntry(t, &b, &kb);
    QelColorTable* c = QEL_CopyColorTable(t);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->count, 2);
    EXPECT_EQ(c->capacity, 3);
    EXPECT_EQ(c->keyType, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(c->colours[i], t->colours[i]);
        EXPECT_EQ(int_key(c, i), int_key(t, i));
        expect_colour(*c->colours[i], t->colours[i]->r, t->colours[i]->g, t->colours[i]->b,
                      t->colours[i]->a);
    }
    QEL_RemoveColorTableEntry(t, &ka);
    t->colours[1]->r = 77.0f;
    EXPECT_EQ(c->count, 2);
    EXPECT_EQ(int_key(c, 0), 10);
    expect_colour(*c->colours[0], 0.1f, 0.2f, 0.3f, 0.4f);
    QEL_DeleteColorTable(t);
    QEL_DeleteColorTable(c);
}

TEST(IntColorLut, LabelPalette) {
    // Rows of the label cycle, by i mod 13.
    const float cycle[13][3] = {{255, 255, 255}, {255, 0, 0},     {0, 255, 0},   {0, 0, 255},
                                {255, 255, 0},   {0, 255, 255},   {255, 0, 255}, {255, 127, 127},
                                {127, 255, 127}, {127, 127, 255}, {255, 255, 127},
                                {127, 255, 255}, {255, 127, 255}};
    QelIntColorLut* lut = QEL_NewLabelColorLut(0, 15);
    ASSERT_NE(lut, nullptr);
    QelColor c;
    QEL_GetIntLutColor(lut, 0, &c);
    expect_colour(c, 0, 0, 0, 0);
    for (int i = 1; i <= 12; ++i) {
        QEL_GetIntLutColor(lut, i, &c);
        expect_colour(c, cycle[i][0], cycle[i][1], cycle[i][2], 255);
    }
    QEL_GetIntLutColor(lut, 13, &c);
    expect_colour(c, 255, 255, 255, 255);
    QEL_GetIntLutColor(lut, 14, &c);
    expect_colour(c, 255, 0, 0, 255);
    // The ranges are descriptive and keep their documented values.
    EXPECT_EQ(lut->redRange->max, 255.0f);
    EXPECT_EQ(lut->alphaRange->max, 1.0f);
    QEL_DeleteIntColorLut(lut);

    lut = QEL_NewLabelColorLut(-4, 1);
    ASSERT_NE(lut, nullptr);
    EXPECT_EQ(lut->indexRange->min, -4);
    EXPECT_EQ(lut->indexRange->max, -4);
    QEL_GetIntLutColor(lut, -4, &c);
    expect_colour(c, 0, 0, 0, 0);
    QEL_DeleteIntColorLut(lut);

    // A palette offset by first still starts with the background at first.
    lut = QEL_NewLabelColorLut(1000, 3);
    ASSERT_NE(lut, nullptr);
    QEL_GetIntLutColor(lut, 1000, &c);
    expect_colour(c, 0, 0, 0, 0);
    QEL_GetIntLutColor(lut, 1002, &c);
    expect_colour(c, 0, 255, 0, 255);
    QEL_DeleteIntColorLut(lut);
}

TEST(IntColorLut, IndexAddressingAndClamping) {
    QelIntColorLut* lut = QEL_NewIntColorLut(100, 10);
    ASSERT_NE(lut, nullptr);
    EXPECT_EQ(lut->n, 10);
    EXPECT_EQ(lut->indexRange->min, 100);
    EXPECT_EQ(lut->indexRange->max, 109);
    fill_int_lut(lut);
    float r, g, b, a;
    for (int i = 100; i <= 109; ++i) {
        QEL_GetIntLutRgba(lut, i, &r, &g, &b, &a);
        EXPECT_EQ(r, static_cast<float>(i));
        EXPECT_EQ(a, static_cast<float>(i) + 0.75f);
    }
    QEL_GetIntLutRgbClamped(lut, 95, &r, &g, &b);
    EXPECT_EQ(r, 100.0f);
    EXPECT_EQ(b, 100.5f);
    QelColor c;
    QEL_GetIntLutColorClamped(lut, 200, &c);
    expect_colour(c, 109, 109.25f, 109.5f, 109.75f);
    QEL_GetIntLutRgbaClamped(lut, std::numeric_limits<int>::min(), &r, &g, &b, &a);
    EXPECT_EQ(g, 100.25f);
    // Out-of-range plain lookups read the nearest end entry, never outside the arrays.
    QEL_GetIntLutRgb(lut, 99, &r, &g, &b);
    EXPECT_EQ(r, 100.0f);
    QEL_GetIntLutRgb(lut, std::numeric_limits<int>::max(), &r, &g, &b);
    EXPECT_EQ(r, 109.0f);
    QEL_DeleteIntColorLut(lut);

    EXPECT_EQ(QEL_NewIntColorLut(0, 0), nullptr);
    EXPECT_EQ(QEL_NewIntColorLut(0, -1), nullptr);
    // The last index would not fit an int.
    EXPECT_EQ(QEL_NewIntColorLut(std::numeric_limits<int>::max(), 2), nullptr);
    QelIntColorLut* top = QEL_NewIntColorLut(std::numeric_limits<int>::max() - 1, 2);
    ASSERT_NE(top, nullptr);
    QEL_DeleteIntColorLut(top);
    QelIntColorLut* bottom = QEL_NewIntColorLut(std::numeric_limits<int>::min(), 3);
    ASSERT_NE(bottom, nullptr);
    fill_int_lut(bottom);
    QEL_GetIntLutRgb(bottom, std::numeric_limits<int>::min() + 2, &r, &g, &b);
    EXPECT_EQ(r, static_cast<float>(std::numeric_limits<int>::min() + 2));
    QEL_DeleteIntColorLut(bottom);
    QEL_DeleteIntColorLut(nullptr);
}

TEST(IntColorLut, CopyAndFromTable) {
    QelIntColorLut* lut = QEL_NewIntColorLut(-5, 7);
    ASSERT_NE(lut, nullptr);
    fill_int_lut(lut);
    lut->alphaRange->max = 42.0f;
    QelIntColorLut* c = QEL_CopyIntColorLut(lut);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->n, 7);
    EXPECT_EQ(c->indexRange->min, -5);
    EXPECT_EQ(c->indexRange->max, 1);
    EXPECT_EQ(c->alphaRange->max, 42.0f);
    for (int i = -5; i <= 1; ++i) {
        EXPECT_EQ(c->red[i], lut->red[i]);
        EXPECT_EQ(c->green[i], lut->green[i]);
        EXPECT_EQ(c->blue[i], lut->blue[i]);
        EXPECT_EQ(c->alpha[i], lut->alpha[i]);
    }
    lut->red[-5] = 1234.0f;
    EXPECT_EQ(c->red[-5], -5.0f);
    QEL_DeleteIntColorLut(lut);
    QEL_DeleteIntColorLut(c);

    QelColorTable* t = QEL_NewColorTable(4, 0);
    ASSERT_NE(t, nullptr);
    QelColor white{1, 1, 1, 1};
    int keys[3] = {3, 8, 10};
    EXPECT_EQ(QEL_NewIntColorLutFromTable(t), nullptr);  // no entry
    QEL_AddColorTableEntry(t, &white, &keys[0]);
    EXPECT_EQ(QEL_NewIntColorLutFromTable(t), nullptr);  // span 0
    QEL_AddColorTableEntry(t, &white, &keys[1]);
    QEL_AddColorTableEntry(t, &white, &keys[2]);
    QelIntColorLut* fromTable = QEL_NewIntColorLutFromTable(t);
    ASSERT_NE(fromTable, nullptr);
    EXPECT_EQ(fromTable->n, 8);  // 10 - 3 + 1
    EXPECT_EQ(fromTable->indexRange->min, 3);
    EXPECT_EQ(fromTable->indexRange->max, 10);
    QEL_DeleteIntColorLut(fromTable);
    int lower = 1;
    QEL_AddColorTableEntry(t, &white, &lower);  // last key now below the first
    EXPECT_EQ(QEL_NewIntColorLutFromTable(t), nullptr);
    QEL_DeleteColorTable(t);

    QelColorTable* ft = QEL_NewColorTable(2, 1);
    float fk[2] = {0.0f, 5.0f};
    QEL_AddColorTableEntry(ft, &white, &fk[0]);
    QEL_AddColorTableEntry(ft, &white, &fk[1]);
    EXPECT_EQ(QEL_NewIntColorLutFromTable(ft), nullptr);  // float keys
    QEL_DeleteColorTable(ft);
}

TEST(FloatColorLut, LookupsAndClamping) {
    QelValueRange unit{0.0f, 1.0f};
    QelFloatColorLut* lut = QEL_NewFloatColorLut(&unit, 256);
    ASSERT_NE(lut, nullptr);
    EXPECT_EQ(lut->scale, 255.0f);
    EXPECT_EQ(lut->offset, 0.0f);
    fill_float_lut(lut);
    float r, g, b, a;
    QEL_GetFloatLutRgb(lut, 0.0f, &r, &g, &b);
    EXPECT_EQ(r, 0.0f);
    QEL_GetFloatLutRgb(lut, 1.0f, &r, &g, &b);
    EXPECT_EQ(r, 255.0f);
    QEL_GetFloatLutRgb(lut, 0.5f, &r, &g, &b);
    EXPECT_EQ(r, 127.0f);
    QEL_GetFloatLutRgbaClamped(lut, 2.0f, &r, &g, &b, &a);
    EXPECT_EQ(r, 255.0f);
    EXPECT_EQ(a, 765.0f);
    QelColor c;
    QEL_GetFloatLutColorClamped(lut, -7.0f, &c);
    expect_colour(c, 0, 0, 0, 0);
    QEL_GetFloatLutColorClamped(lut, std::numeric_limits<float>::quiet_NaN(), &c);
    EXPECT_GE(c.r, 0.0f);
    EXPECT_LE(c.r, 255.0f);
    QEL_DeleteFloatColorLut(lut);

    // A shifted range: the middle of each interval lands in its own entry (reference:
    // exact interval arithmetic in double).
    QelValueRange shifted{-3.0f, 5.0f};
    lut = QEL_NewFloatColorLut(&shifted, 17);
    ASSERT_NE(lut, nullptr);
    fill_float_lut(lut);
    const double width = 8.0 / 16.0;
    for (int k = 0; k < 16; ++k) {
        float x = static_cast<float>(-3.0 + (k + 0.5) * width);
        QEL_GetFloatLutColor(lut, x, &c);
        EXPECT_EQ(c.r, static_cast<float>(k)) << "x = " << x;
    }
    QEL_GetFloatLutColor(lut, 5.0f, &c);
    EXPECT_EQ(c.r, 16.0f);
    QEL_DeleteFloatColorLut(lut);

    // A range so narrow for its magnitude that x * scale + offset rounds far past the
    // ends: lookups stay inside the table.
    QelValueRange narrow{1.0e30f, std::nextafter(1.0e30f, 2.0e30f)};
    lut = QEL_NewFloatColorLut(&narrow, 256);
    ASSERT_NE(lut, nullptr);
    fill_float_lut(lut);
    QEL_GetFloatLutColorClamped(lut, narrow.max, &c);
    EXPECT_GE(c.r, 0.0f);
    EXPECT_LE(c.r, 255.0f);
    QEL_GetFloatLutColor(lut, 0.0f, &c);
    EXPECT_GE(c.r, 0.0f);
    EXPECT_LE(c.r, 255.0f);
    QEL_DeleteFloatColorLut(lut);

    QelValueRange flat{5.0f, 5.0f};
    EXPECT_EQ(QEL_NewFloatColorLut(&flat, 10), nullptr);
    EXPECT_EQ(QEL_NewFloatColorLut(&unit, 0), nullptr);
    EXPECT_EQ(QEL_NewFloatColorLut(nullptr, 10), nullptr);
    QEL_DeleteFloatColorLut(nullptr);
}

TEST(FloatColorLut, CopyAndFromTable) {
    QelValueRange range{2.0f, 6.0f};
    QelFloatColorLut* lut = QEL_NewFloatColorLut(&range, 9);
    ASSERT_NE(lut, nullptr);
    fill_float_lut(lut);
    QelFloatColorLut* c = QEL_CopyFloatColorLut(lut);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->valueRange, lut->valueRange);
    EXPECT_EQ(c->valueRange->min, 2.0f);
    EXPECT_EQ(c->valueRange->max, 6.0f);
    EXPECT_EQ(c->scale, 2.0f);
    EXPECT_EQ(c->offset, -4.0f);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(c->red[i], lut->red[i]);
        EXPECT_EQ(c->green[i], lut->green[i]);
        EXPECT_EQ(c->blue[i], lut->blue[i]);
        EXPECT_EQ(c->alpha[i], lut->alpha[i]);
    }
    lut->blue[8] = -1.0f;
    EXPECT_EQ(c->blue[8], 16.0f);
    QEL_DeleteFloatColorLut(lut);
    QEL_DeleteFloatColorLut(c);

    QelColor white{1, 1, 1, 1};
    QelColorTable* it = QEL_NewColorTable(3, 0);
    int ik[2] = {-4, 12};
    EXPECT_EQ(QEL_NewFloatColorLutFromTable(it, 8), nullptr);
    QEL_AddColorTableEntry(it, &white, &ik[0]);
    EXPECT_EQ(QEL_NewFloatColorLutFromTable(it, 8), nullptr);  // equal ends
    QEL_AddColorTableEntry(it, &white, &ik[1]);
    QelFloatColorLut* fi = QEL_NewFloatColorLutFromTable(it, 8);
    ASSERT_NE(fi, nullptr);
    EXPECT_EQ(fi->n, 8);
    EXPECT_EQ(fi->valueRange->min, -4.0f);
    EXPECT_EQ(fi->valueRange->max, 12.0f);
    QEL_DeleteFloatColorLut(fi);
    QEL_DeleteColorTable(it);

    QelColorTable* ft = QEL_NewColorTable(3, 1);
    float fk[3] = {0.25f, 0.75f, -1.0f};
    for (float& k : fk) QEL_AddColorTableEntry(ft, &white, &k);
    EXPECT_EQ(QEL_NewFloatColorLutFromTable(ft, 4), nullptr);  // span below 0
    QEL_RemoveColorTableEntry(ft, &fk[2]);
    QelFloatColorLut* ff = QEL_NewFloatColorLutFromTable(ft, 4);
    ASSERT_NE(ff, nullptr);
    EXPECT_EQ(ff->valueRange->min, 0.25f);
    EXPECT_EQ(ff->valueRange->max, 0.75f);
    QEL_DeleteFloatColorLut(ff);
    QEL_DeleteColorTable(ft);
}

TEST(ColorMap, HoldsCopiesAndDeletesByType) {
    QelColorMap* empty = QEL_NewColorMap(0);
    ASSERT_NE(empty, nullptr);
    ASSERT_NE(empty->lut, nullptr);
    EXPECT_EQ(*empty->lut, nullptr);
    QelColorMap* emptyCopy = QEL_CopyColorMap(empty);
    ASSERT_NE(emptyCopy, nullptr);
    EXPECT_EQ(*emptyCopy->lut, nullptr);
    QEL_DeleteColorMap(empty);
    QEL_DeleteColorMap(emptyCopy);

    QelColorMap* im = QEL_NewColorMap(QEL_COLOR_MAP_INT_LUT);
    *im->lut = QEL_NewLabelColorLut(0, 5);
    QelColorMap* imCopy = QEL_CopyColorMap(im);
    ASSERT_NE(imCopy, nullptr);
    EXPECT_EQ(imCopy->lutType, 0);
    auto* held = static_cast<QelIntColorLut*>(*imCopy->lut);
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held, *im->lut);
    EXPECT_EQ(held->red[1], 255.0f);

    QelValueRange range{0.0f, 10.0f};
    QelColorMap* fm = QEL_NewColorMap(QEL_COLOR_MAP_FLOAT_LUT);
    *fm->lut = QEL_NewFloatColorLut(&range, 11);
    fill_float_lut(static_cast<QelFloatColorLut*>(*fm->lut));
    QelColorMap* fmCopy = QEL_CopyColorMap(fm);
    ASSERT_NE(fmCopy, nullptr);
    auto* fheld = static_cast<QelFloatColorLut*>(*fmCopy->lut);
    ASSERT_NE(fheld, nullptr);
    EXPECT_EQ(fheld->alpha[10], 30.0f);

    QelColorMap* other = QEL_NewColorMap(5);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->lutType, 5);
    QEL_DeleteColorMap(other);

    // Deleting the holders frees the tables they hold (checked by the leak detector).
    QEL_DeleteColorMap(im);
    QEL_DeleteColorMap(imCopy);
    QEL_DeleteColorMap(fm);
    QEL_DeleteColorMap(fmCopy);
    QEL_DeleteColorMap(nullptr);
}
