// Interpolation of bookmarks against means computed independently in double precision.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "store_support.hpp"

namespace {

using bmtest::get;
using bmtest::put;
using bmtest::Texts;
using Interpolation = bmtest::Store;

using Vec = std::array<double, 3>;

Vec add(Vec a, Vec b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec scale(Vec a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(Vec a, Vec b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec cross(Vec a, Vec b) { return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}; }
Vec unit(Vec a) { return scale(a, 1.0 / std::sqrt(dot(a, a))); }

struct View {
    Vec p, u, v, w;
    double d, angle;
};

std::string text_of(const View& s) {
    char t[BOOKMARK_FIELD_SIZE];
    std::snprintf(t, sizeof t, "%f,%f,%f %f,%f,%f %f,%f,%f %f,%f,%f %f %f", s.p[0], s.p[1], s.p[2],
                  s.u[0], s.u[1], s.u[2], s.v[0], s.v[1], s.v[2], s.w[0], s.w[1], s.w[2], s.d, s.angle);
    return t;
}

View view_of(const std::string& text) {
    View s{};
    const int n = std::sscanf(text.c_str(), "%lf,%lf,%lf %lf,%lf,%lf %lf,%lf,%lf %lf,%lf,%lf %lf %lf",
                              &s.p[0], &s.p[1], &s.p[2], &s.u[0], &s.u[1], &s.u[2], &s.v[0], &s.v[1],
                              &s.v[2], &s.w[0], &s.w[1], &s.w[2], &s.d, &s.angle);
    EXPECT_EQ(n, 14) << text;
    return s;
}

// The mid view from the texts as written: turn about the mean rotation centre, mean direction
// and distance, up vector made perpendicular to the direction.
// `across` receives the length of the up vector's part across the direction: the smaller it is,
// the more single precision loses when the frame is made orthogonal.
View reference_mid(const View& a, const View& b, double* across) {
    const Vec centre = scale(add(add(a.p, scale(a.w, a.d)), add(b.p, scale(b.w, b.d))), 0.5);
    View m;
    m.d = (a.d + b.d) / 2;
    m.w = unit(add(a.w, b.w));
    m.p = add(centre, scale(m.w, -m.d));
    const Vec u = unit(add(a.u, b.u));
    const Vec perpendicular = add(u, scale(m.w, -dot(u, m.w)));
    *across = std::sqrt(dot(perpendicular, perpendicular));
    m.u = unit(perpendicular);
    m.v = unit(cross(m.u, m.w));
    m.angle = (a.angle + b.angle) / 2;
    return m;
}

void expect_near(const Vec& got, const Vec& want, double tolerance, const char* what) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], tolerance) << what << " " << i;
}

Vec random_unit(std::mt19937& rng) {
    std::normal_distribution<double> n(0.0, 1.0);
    return unit({n(rng), n(rng), n(rng)});
}

View random_view(std::mt19937& rng) {
    std::uniform_real_distribution<double> place(-200.0, 200.0), distance(1.0, 500.0), angle(5.0, 90.0);
    View s;
    s.w = random_unit(rng);
    const Vec r = random_unit(rng);
    s.u = unit(add(r, scale(s.w, -dot(r, s.w))));
    s.v = cross(s.u, s.w);
    s.p = {place(rng), place(rng), place(rng)};
    s.d = distance(rng);
    s.angle = angle(rng);
    return s;
}

Texts bookmark(const std::string& cursor, const std::string& channel, const std::string& grey,
               const std::string& voi, const std::string& view) {
    return {"named", cursor, channel, grey, voi, view};
}

const View kFront{{0, 0, -100}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, 100, 30};

TEST_F(Interpolation, ThreeBookmarksBecomeFive) {
    put(0, bookmark("0,0,0", "1", "0,100", "10x10x10 0,0,0", text_of(kFront)));
    put(1, bookmark("10,20,30", "3", "50,200", "20x20x20 4,4,4", text_of(kFront)));
    put(2, bookmark("21,21,21", "5", "0,101", "30x30x30 0,0,0", text_of(kFront)));
    const Texts old[3] = {get(0), get(1), get(2)};
    bookmarkState.count = 3;
    bookmarkState.current = 2;
    ASSERT_EQ(InterpolateAllBookmarks(), 0);
    ASSERT_EQ(bookmarkState.count, 5);
    EXPECT_EQ(bookmarkState.current, 2);
    EXPECT_EQ(get(0), old[0]);
    EXPECT_EQ(get(2), old[1]);
    EXPECT_EQ(get(4), old[2]);
    // Means as floats, then the cursor rounds half up and the grey window truncates.
    EXPECT_EQ(get(1), (Texts{"     :", "5,10,15", "2", "25,150", "15x15x15 2,2,2", text_of(kFront)}));
    EXPECT_EQ(get(3), (Texts{"     :", "16,21,26", "4", "25,150", "25x25x25 2,2,2", text_of(kFront)}));
}

TEST_F(Interpolation, ListSizeLimits) {
    EXPECT_EQ(InterpolateAllBookmarks(), -1);  // empty
    EXPECT_EQ(bookmarkState.count, 0);

    put(0, bookmark("1,1,1", "1", "0,1", "1x1x1 0,0,0", "---"));
    bookmarkState.count = 1;
    EXPECT_EQ(InterpolateAllBookmarks(), 0);
    EXPECT_EQ(bookmarkState.count, 1);
    EXPECT_EQ(get(0).label, "named");

    for (int i = 0; i < 129; ++i) put(i, bookmark(std::to_string(2 * i) + ",0,0", "1", "0,1", "---", "---"));
    bookmarkState.count = 129;
    EXPECT_EQ(InterpolateAllBookmarks(), -1);
    EXPECT_EQ(bookmarkState.count, 129);
    EXPECT_EQ(get(1).cursor, "2,0,0");

    bookmarkState.count = 128;
    ASSERT_EQ(InterpolateAllBookmarks(), 0);
    ASSERT_EQ(bookmarkState.count, 255);
    for (int i = 0; i < 255; ++i) {
        EXPECT_EQ(get(i).cursor, std::to_string(i) + ",0,0") << i;
        EXPECT_EQ(get(i).label, i % 2 ? "     :" : "named") << i;
    }
    EXPECT_EQ(InterpolateAllBookmarks(), -1);
    EXPECT_EQ(bookmarkState.count, 255);
}

TEST_F(Interpolation, OnlyInnerSlotsCanBeFilled) {
    for (int i = 0; i < 3; ++i) put(i, bookmark("1,1,1", "1", "0,1", "---", "---"));
    bookmarkState.count = 3;
    for (int k : {-1, 0, 2, 3, 300}) EXPECT_EQ(InterpolateBookmark(k), -1) << k;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(get(i).label, "named");
    EXPECT_EQ(InterpolateBookmark(1), 0);
    EXPECT_EQ(get(1).label, "     :");
}

TEST_F(Interpolation, FieldsMissingOrUnreadableInANeighbourAreNotRecorded) {
    put(0, bookmark("0,0,0", "2", "0,10", "---", text_of(kFront)));
    put(2, bookmark("2,2,2", "3", "10,20", "4x4x4 2,2,2", text_of(kFront)));
    bookmarkState.count = 3;
    ASSERT_EQ(InterpolateBookmark(1), 0);
    EXPECT_EQ(get(1), (Texts{"     :", "1,1,1", "2", "5,15", "---", text_of(kFront)}));

    put(0, bookmark("---", "---", "---", "4x4x4 2,2,2", "---"));
    ASSERT_EQ(InterpolateBookmark(1), 0);
    EXPECT_EQ(get(1), (Texts{"     :", "---", "---", "---", "4x4x4 2,2,2", "---"}));

    // Hand-edited texts with too few numbers are treated as not recorded.
    put(0, bookmark("1,2", "x", "5", "4x4x4 2,2", "1,2,3 4,5,6"));
    ASSERT_EQ(InterpolateBookmark(1), 0);
    EXPECT_EQ(get(1), (Texts{"     :", "---", "---", "---", "---", "---"}));
}

TEST_F(Interpolation, IntegerMeansTruncateTowardZero) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX), small(-1000, 1000);
    bookmarkState.count = 3;
    for (int round = 0; round < 500; ++round) {
        int a[6], b[6];
        for (int i = 0; i < 6; ++i) {
            a[i] = round % 2 ? any(rng) : small(rng);
            b[i] = round % 2 ? any(rng) : small(rng);
        }
        const int ca = round % 2 ? any(rng) : small(rng), cb = round % 2 ? any(rng) : small(rng);
        if (ca == INT_MIN || cb == INT_MIN) continue;  // its ID wraps; not a mean to check
        auto voi = [](const int* v) {
            char t[128];
            std::snprintf(t, sizeof t, "%dx%dx%d %d,%d,%d", v[0], v[1], v[2], v[3], v[4], v[5]);
            return std::string(t);
        };
        put(0, bookmark("---", std::to_string(ca), "---", voi(a), "---"));
        put(2, bookmark("---", std::to_string(cb), "---", voi(b), "---"));
        ASSERT_EQ(InterpolateBookmark(1), 0);
        int mid[6];
        for (int i = 0; i < 6; ++i) mid[i] = static_cast<int>(std::trunc((static_cast<double>(a[i]) + b[i]) / 2));
        EXPECT_EQ(get(1).voi, voi(mid));
        // Channel texts are IDs + 1: the mean is taken of the IDs.
        const long long ids = (static_cast<long long>(ca) - 1) + (static_cast<long long>(cb) - 1);
        const long long id = static_cast<long long>(std::trunc(static_cast<double>(ids) / 2));
        EXPECT_EQ(get(1).channel, std::to_string(id + 1)) << ca << " " << cb;
    }
    // IDs 1 and 2 give ID 1; IDs -1 and -2 give -1 (toward zero, not down).
    put(0, bookmark("---", "2", "---", "---", "---"));
    put(2, bookmark("---", "3", "---", "---", "---"));
    ASSERT_EQ(InterpolateBookmark(1), 0);
    EXPECT_EQ(get(1).channel, "2");
    put(0, bookmark("---", "0", "---", "---", "---"));
    put(2, bookmark("---", "-1", "---", "---", "---"));
    ASSERT_EQ(InterpolateBookmark(1), 0);
    EXPECT_EQ(get(1).channel, "0");
}

TEST_F(Interpolation, CursorAndGreyscaleMeansOfFloats) {
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> coordinate(-5000, 5000);
    bookmarkState.count = 3;
    for (int round = 0; round < 500; ++round) {
        int a[5], b[5];
        for (int i = 0; i < 5; ++i) {
            a[i] = coordinate(rng);
            b[i] = coordinate(rng);
        }
        char ta[64], tb[64], ga[64], gb[64];
        std::snprintf(ta, sizeof ta, "%d,%d,%d", a[0], a[1], a[2]);
        std::snprintf(tb, sizeof tb, "%d,%d,%d", b[0], b[1], b[2]);
        std::snprintf(ga, sizeof ga, "%d,%d", a[3], a[4]);
        std::snprintf(gb, sizeof gb, "%d,%d", b[3], b[4]);
        put(0, bookmark(ta, "---", ga, "---", "---"));
        put(2, bookmark(tb, "---", gb, "---", "---"));
        ASSERT_EQ(InterpolateBookmark(1), 0);
        // Halves are exact here: the cursor takes floor(mean + 0.5) toward zero, grey levels truncate.
        int m[5];
        for (int i = 0; i < 3; ++i) m[i] = static_cast<int>(std::trunc((a[i] + b[i]) / 2.0 + 0.5));
        for (int i = 3; i < 5; ++i) m[i] = static_cast<int>(std::trunc((a[i] + b[i]) / 2.0));
        char cursor[64], grey[64];
        std::snprintf(cursor, sizeof cursor, "%d,%d,%d", m[0], m[1], m[2]);
        std::snprintf(grey, sizeof grey, "%d,%d", m[3], m[4]);
        EXPECT_EQ(get(1).cursor, cursor) << ta << " " << tb;
        EXPECT_EQ(get(1).greyscale, grey) << ga << " " << gb;
    }
}

TEST_F(Interpolation, SameDirectionsKeepTheFrame) {
    View a = kFront, b = kFront;
    b.p = {40, -20, 10};
    b.d = 50;
    b.angle = 60;
    put(0, bookmark("---", "---", "---", "---", text_of(a)));
    put(2, bookmark("---", "---", "---", "---", text_of(b)));
    bookmarkState.count = 3;
    ASSERT_EQ(InterpolateBookmark(1), 0);
    // Centres (0,0,0) and (40,-20,60): mean (20,-10,30), distance 75 back along w.
    const View want{{20, -10, -45}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, 75, 45};
    EXPECT_EQ(get(1).view, text_of(want));
}

TEST_F(Interpolation, ViewsMatchTheReferenceMidView) {
    std::mt19937 rng(13);
    bookmarkState.count = 3;
    int checked = 0;
    for (int round = 0; round < 500; ++round) {
        const View a = random_view(rng);
        View b = random_view(rng);
        if (dot(a.w, b.w) < -0.9 || dot(a.u, b.u) < -0.9) continue;  // near-opposite: ill-conditioned
        put(0, bookmark("---", "---", "---", "---", text_of(a)));
        put(2, bookmark("---", "---", "---", "---", text_of(b)));
        ASSERT_EQ(InterpolateBookmark(1), 0);
        double across = 0;
        const View want = reference_mid(view_of(get(0).view), view_of(get(2).view), &across);
        if (across < 0.2) continue;
        ++checked;
        const View got = view_of(get(1).view);
        expect_near(got.w, want.w, 1e-5, "w");
        expect_near(got.u, want.u, 1e-4, "u");
        expect_near(got.v, want.v, 1e-4, "v");
        expect_near(got.p, want.p, 1e-3, "position");
        EXPECT_NEAR(got.d, want.d, 1e-4);
        EXPECT_NEAR(got.angle, want.angle, 1e-5);
        // The written frame is orthonormal and right-handed as v = u x w.
        EXPECT_NEAR(dot(got.u, got.w), 0.0, 1e-5);
        expect_near(cross(got.u, got.w), got.v, 1e-5, "u x w");
    }
    EXPECT_GT(checked, 300);
}

TEST_F(Interpolation, DegenerateAxesLeaveTheViewNotRecorded) {
    View opposite = kFront;
    opposite.w = {0, 0, -1};
    View flipped_up = kFront;
    flipped_up.u = {0, -1, 0};
    View up_along_view = kFront;
    up_along_view.u = {0, 0, 1};
    View other_up_along = kFront;
    other_up_along.u = {0, 0, 1};
    View zero_axes = kFront;
    zero_axes.u = zero_axes.v = zero_axes.w = {0, 0, 0};
    const std::string not_a_number = "nan,0,0 0,1,0 1,0,0 0,0,1 100 30";
    const std::string infinite = "0,0,0 0,1,0 1,0,0 0,0,1 inf 30";
    const std::pair<std::string, std::string> cases[] = {
        {text_of(kFront), text_of(opposite)},          // mean direction is zero
        {text_of(kFront), text_of(flipped_up)},        // mean up vector is zero
        {text_of(up_along_view), text_of(other_up_along)},  // up vector along the view direction
        {text_of(zero_axes), text_of(zero_axes)},
        {text_of(kFront), not_a_number},
        {text_of(kFront), infinite},
    };
    bookmarkState.count = 3;
    for (const auto& [a, b] : cases) {
        put(0, bookmark("1,1,1", "---", "---", "---", a));
        put(2, bookmark("3,3,3", "---", "---", "---", b));
        ASSERT_EQ(InterpolateBookmark(1), 0);
        EXPECT_EQ(get(1), (Texts{"     :", "2,2,2", "---", "---", "---", "---"})) << a << " | " << b;
    }
}

}  // namespace
