// Field codecs: exact texts, round trips and partial parses.
#include <gtest/gtest.h>

#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "programs/viewbookmarker/bookmark_store.h"

namespace {

std::string cursor_text(float x, float y, float z) {
    char field[BOOKMARK_FIELD_SIZE];
    const QelPoint3f p{x, y, z};
    FormatCursorField(field, &p);
    return field;
}

std::string channel_text(int id) {
    char field[BOOKMARK_FIELD_SIZE];
    FormatChannelField(field, id);
    return field;
}

std::string greyscale_text(float lower, float upper) {
    char field[BOOKMARK_FIELD_SIZE];
    const QelValueRange r{lower, upper};
    FormatGreyscaleField(field, &r);
    return field;
}

std::string voi_text(QelSize3i size, QelPoint3i origin) {
    char field[BOOKMARK_FIELD_SIZE];
    const QelBox3i box{&origin, &size};
    FormatVoiField(field, &box);
    return field;
}

std::string view_text(const float (&v)[14]) {
    char field[BOOKMARK_FIELD_SIZE];
    FormatViewField(field, v, v[12], v[13]);
    return field;
}

// "%f" of a float, written without the C library's printf.
std::string fixed6(float x) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, static_cast<double>(x), std::chars_format::fixed, 6);
    return std::string(text, r.ptr);
}

std::string view_reference(const float (&v)[14]) {
    std::string s;
    for (int i = 0; i < 14; ++i) {
        if (i > 0) s += (i < 12 && i % 3 != 0) ? "," : " ";
        s += fixed6(v[i]);
    }
    return s;
}

TEST(BookmarkFields, FormatsExactTexts) {
    EXPECT_EQ(cursor_text(10.4f, 10.5f, -0.7f), "10,11,0");
    EXPECT_EQ(cursor_text(-1.7f, 2.5f, -0.5f), "-1,3,0");
    // v + 0.5 is taken exactly: just below one half stays 0 instead of rounding up in float.
    EXPECT_EQ(cursor_text(0.49999997f, 127.5f, 1e6f), "0,128,1000000");
    // Adding one half before truncating moves whole negative positions one up.
    EXPECT_EQ(cursor_text(-5.0f, -5.5f, -6.0f), "-4,-5,-5");
    EXPECT_EQ(cursor_text(NAN, INFINITY, -INFINITY), "0,0,0");

    EXPECT_EQ(channel_text(0), "1");
    EXPECT_EQ(channel_text(41), "42");
    EXPECT_EQ(channel_text(-1), "0");
    EXPECT_EQ(channel_text(INT_MAX), "-2147483648");

    EXPECT_EQ(greyscale_text(-0.5f, 255.9f), "0,255");
    EXPECT_EQ(greyscale_text(-10.9f, 3.2f), "-10,3");
    EXPECT_EQ(greyscale_text(-32768.0f, 65535.0f), "-32768,65535");

    EXPECT_EQ(voi_text({10, 20, 30}, {1, 2, 3}), "10x20x30 1,2,3");
    EXPECT_EQ(voi_text({1, 1, 1}, {-4, 0, INT_MIN}), "1x1x1 -4,0,-2147483648");

    const float view[14] = {1, 2, 3, 1, 0, 0, 0, 1, 0, 0, 0, 1, 100, 30};
    EXPECT_EQ(view_text(view),
              "1.000000,2.000000,3.000000 1.000000,0.000000,0.000000 0.000000,1.000000,0.000000 "
              "0.000000,0.000000,1.000000 100.000000 30.000000");
}

TEST(BookmarkFields, ViewTextMatchesIndependentFixedFormatting) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> small(-1000.0f, 1000.0f);
    std::uniform_int_distribution<int> exponent(-30, 38);
    for (int round = 0; round < 500; ++round) {
        float v[14];
        for (float& x : v) x = round % 2 ? small(rng) : std::ldexp(small(rng) / 1000.0f, exponent(rng) * 3);
        EXPECT_EQ(view_text(v), view_reference(v));
    }
    // The widest values still fit the field whole.
    const float widest[14] = {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX,
                              -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    EXPECT_EQ(view_text(widest), view_reference(widest));
}

TEST(BookmarkFields, ParsedTextsFormatBackToThemselves) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX);
    for (int round = 0; round < 1000; ++round) {
        const QelSize3i size{any(rng), any(rng), any(rng)};
        const QelPoint3i origin{any(rng), any(rng), any(rng)};
        const std::string text = voi_text(size, origin);
        QelSize3i s{};
        QelPoint3i o{};
        QelBox3i box{&o, &s};
        ASSERT_EQ(ParseVoiField(text.c_str(), &box), 6);
        EXPECT_TRUE(s.nx == size.nx && s.ny == size.ny && s.nz == size.nz) << text;
        EXPECT_TRUE(o.x == origin.x && o.y == origin.y && o.z == origin.z) << text;

        const int id = any(rng);
        int parsed = 0;
        if (id == INT_MAX) continue;  // its text wraps to INT_MIN; covered above
        ASSERT_EQ(ParseChannelField(channel_text(id).c_str(), &parsed), 1);
        EXPECT_EQ(parsed, id);
    }
    std::uniform_real_distribution<float> coordinate(-5000.0f, 5000.0f);
    for (int round = 0; round < 1000; ++round) {
        float v[14];
        for (float& x : v) x = coordinate(rng);
        const float place[3] = {std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])};
        const std::string text = view_text(v);
        float back[14] = {};
        ASSERT_EQ(ParseViewField(text.c_str(), back, &back[12], &back[13]), 14);
        EXPECT_EQ(view_text(back), text);

        QelPoint3f c{};
        const std::string cursor = cursor_text(place[0], place[1], place[2]);
        ASSERT_EQ(ParseCursorField(cursor.c_str(), &c), 3);
        EXPECT_EQ(cursor_text(c.x, c.y, c.z), cursor);

        QelValueRange g{};
        const std::string grey = greyscale_text(v[3], v[4]);
        ASSERT_EQ(ParseGreyscaleField(grey.c_str(), &g), 2);
        EXPECT_EQ(greyscale_text(g.min, g.max), grey);
    }
}

TEST(BookmarkFields, ParseKeepsWhatTheTextDoesNotHold) {
    QelPoint3f c{1, 2, 3};
    EXPECT_EQ(ParseCursorField("5,6", &c), 2);
    EXPECT_TRUE(c.x == 5 && c.y == 6 && c.z == 3);
    EXPECT_EQ(ParseCursorField("", &c), 0);
    EXPECT_EQ(ParseCursorField("---", &c), 0);
    EXPECT_EQ(ParseCursorField("7;8;9", &c), 1);
    EXPECT_TRUE(c.x == 7 && c.y == 6 && c.z == 3);
    // What scanning a float accepts: signs, exponents, blanks before a number.
    EXPECT_EQ(ParseCursorField("1e1,+2.5, -3", &c), 3);
    EXPECT_TRUE(c.x == 10 && c.y == 2.5f && c.z == -3);

    int id = 77;
    EXPECT_EQ(ParseChannelField("---", &id), 0);
    EXPECT_EQ(ParseChannelField("x3", &id), 0);
    EXPECT_EQ(id, 77);
    EXPECT_EQ(ParseChannelField(" 3 ", &id), 1);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(ParseChannelField("-2147483648", &id), 1);  // wraps instead of overflowing
    EXPECT_EQ(id, INT_MAX);

    QelValueRange g{-1, -2};
    EXPECT_EQ(ParseGreyscaleField("40", &g), 1);
    EXPECT_TRUE(g.min == 40 && g.max == -2);

    QelSize3i s{9, 9, 9};
    QelPoint3i o{8, 8, 8};
    QelBox3i box{&o, &s};
    EXPECT_EQ(ParseVoiField("10x20", &box), 2);
    EXPECT_TRUE(s.nx == 10 && s.ny == 20 && s.nz == 9 && o.x == 8 && o.y == 8 && o.z == 8);
    EXPECT_EQ(ParseVoiField("1x2x3 4", &box), 4);
    EXPECT_TRUE(s.nx == 1 && s.ny == 2 && s.nz == 3 && o.x == 4 && o.y == 8 && o.z == 8);

    float view[12];
    for (int i = 0; i < 12; ++i) view[i] = static_cast<float>(-i);
    float d = -50, angle = -60;
    EXPECT_EQ(ParseViewField("1,2,3 4,5,6 7,8,9 10,11,12 13", view, &d, &angle), 13);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(view[i], i + 1.0f);
    EXPECT_TRUE(d == 13 && angle == -60);
    EXPECT_EQ(ParseViewField("1,2", view, &d, &angle), 2);
    EXPECT_TRUE(view[0] == 1 && view[1] == 2 && view[2] == 3 && d == 13);

    // NULL anywhere reads and writes nothing.
    EXPECT_EQ(ParseCursorField(nullptr, &c), 0);
    EXPECT_EQ(ParseViewField("1", nullptr, &d, &angle), 0);
    QelBox3i hollow{nullptr, &s};
    EXPECT_EQ(ParseVoiField("1x1x1 1,1,1", &hollow), 0);
    FormatVoiField(nullptr, &box);
    FormatCursorField(nullptr, &c);
}

TEST(BookmarkFields, OnlyThreeHyphensMeanNotRecorded) {
    EXPECT_EQ(IsFieldRecorded("---"), 0);
    EXPECT_EQ(IsFieldRecorded(nullptr), 0);
    EXPECT_EQ(IsFieldRecorded(""), 1);
    EXPECT_EQ(IsFieldRecorded("--"), 1);
    EXPECT_EQ(IsFieldRecorded("----"), 1);
    EXPECT_EQ(IsFieldRecorded("--- "), 1);
    EXPECT_EQ(IsFieldRecorded("0,0,0"), 1);
}

}  // namespace
