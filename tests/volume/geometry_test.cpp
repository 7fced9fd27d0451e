// Geometry records, their predicates and the vector maths.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>

#include "support/capture.hpp"
#include "volume/qel_geometry.h"

namespace {

TEST(GeometryRecords, ConstructorsCopiesAndDestructors) {
    QelPoint2f* p2f = QEL_NewPoint2f(1.5f, -2.0f);
    QelPoint2i* p2i = QEL_NewPoint2i(3, -4);
    QelSize2f* s2f = QEL_NewSize2f(5.0f, 6.0f);
    QelSize2i* s2i = QEL_NewSize2i(7, 8);
    QelPoint3f* p3f = QEL_NewPoint3f(1.0f, 2.0f, 3.0f);
    QelPoint3i* p3i = QEL_NewPoint3i(4, 5, 6);
    QelSize3f* s3f = QEL_NewSize3f(7.0f, 8.0f, 9.0f);
    QelSize3i* s3i = QEL_NewSize3i(10, 11, 12);
    QelSize4i* s4i = QEL_NewSize4i(13, 14, 15, 16);
    ASSERT_TRUE(p2f && p2i && s2f && s2i && p3f && p3i && s3f && s3i && s4i);

    QelPoint2f* c2f = QEL_CopyPoint2f(p2f);
    QelPoint2i* c2i = QEL_CopyPoint2i(p2i);
    QelSize2f* cs2f = QEL_CopySize2f(s2f);
    QelSize2i* cs2i = QEL_CopySize2i(s2i);
    QelPoint3f* c3f = QEL_CopyPoint3f(p3f);
    QelPoint3i* c3i = QEL_CopyPoint3i(p3i);
    QelSize3f* cs3f = QEL_CopySize3f(s3f);
    QelSize3i* cs3i = QEL_CopySize3i(s3i);
    QelSize3i* ds3i = QEL_DuplicateSize3i(s3i);
    QelSize4i* cs4i = QEL_CopySize4i(s4i);
    ASSERT_TRUE(c2f && c2i && cs2f && cs2i && c3f && c3i && cs3f && cs3i && ds3i && cs4i);
    EXPECT_NE(c2f, p2f);
    EXPECT_EQ(c2f->x, 1.5f);
    EXPECT_EQ(c2f->y, -2.0f);
    EXPECT_EQ(c2i->x, 3);
    EXPECT_EQ(c2i->y, -4);
    EXPECT_EQ(cs2f->width, 5.0f);
    EXPECT_EQ(cs2f->height, 6.0f);
    EXPECT_EQ(cs2i->width, 7);
    EXPECT_EQ(cs2i->height, 8);
    EXPECT_EQ(c3f->z, 3.0f);
    EXPECT_EQ(QEL_IsEqualVector3i(c3i, p3i), 1);
    EXPECT_EQ(cs3f->y, 8.0f);
    EXPECT_EQ(QEL_IsEqualSize3i(cs3i, s3i), 1);
    EXPECT_EQ(QEL_IsEqualSize3i(ds3i, s3i), 1);
    EXPECT_EQ(QEL_IsEqualSize4i(cs4i, s4i), 1);
    EXPECT_EQ(QEL_CopyPoint3f(nullptr), nullptr);

    QEL_DeletePoint2f(p2f), QEL_DeletePoint2f(c2f), QEL_DeletePoint2i(p2i), QEL_DeletePoint2i(c2i);
    QEL_DeleteSize2f(s2f), QEL_DeleteSize2f(cs2f), QEL_DeleteSize2i(s2i), QEL_DeleteSize2i(cs2i);
    QEL_DeletePoint3f(p3f), QEL_DeletePoint3f(c3f), QEL_DeletePoint3i(p3i), QEL_DeletePoint3i(c3i);
    QEL_DeleteSize3f(s3f), QEL_DeleteSize3f(cs3f), QEL_DeleteSize3i(s3i), QEL_DeleteSize3i(cs3i);
    QEL_DeleteSize3i(ds3i), QEL_DeleteSize4i(s4i), QEL_DeleteSize4i(cs4i);
    QEL_DeletePoint3f(nullptr);
    QEL_DeleteSize4i(nullptr);
}

TEST(GeometryRecords, CompoundDefaultsAndOwnedCopies) {
    QelBox3i* b = QEL_NewBox3i(nullptr, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->origin->x, 0);
    EXPECT_EQ(b->origin->y, 0);
    EXPECT_EQ(b->origin->z, 0);
    EXPECT_EQ(b->size->nx, 1);
    EXPECT_EQ(b->size->ny, 1);
    EXPECT_EQ(b->size->nz, 1);
    QEL_DeleteBox3i(b);

    QelRect2f* rf = QEL_NewRect2f(nullptr, nullptr);
    ASSERT_NE(rf, nullptr);
    EXPECT_EQ(rf->origin->x, 0.0f);
    EXPECT_EQ(rf->origin->y, 0.0f);
    EXPECT_EQ(rf->size->width, 1.0f);
    EXPECT_EQ(rf->size->height, 1.0f);
    QEL_DeleteRect2f(rf);

    QelRect2i* ri = QEL_NewRect2i(nullptr, nullptr);
    ASSERT_NE(ri, nullptr);
    EXPECT_EQ(ri->origin->x + ri->origin->y, 0);
    EXPECT_EQ(ri->size->width * ri->size->height, 1);
    QEL_DeleteRect2i(ri);

    QelBox3f* bf = QEL_NewBox3f(nullptr, nullptr);
    ASSERT_NE(bf, nullptr);
    EXPECT_EQ(bf->origin->z, 0.0f);
    EXPECT_EQ(bf->size->x, 1.0f);
    EXPECT_EQ(bf->size->z, 1.0f);
    QEL_DeleteBox3f(bf);

    QelPointPair3f* pp = QEL_NewPointPair3f(nullptr, nullptr);
    QelPointPair3f* pa = QEL_NewPointPair3fAlt(nullptr, nullptr);
    ASSERT_TRUE(pp && pa);
    EXPECT_EQ(pp->first->x, 1.0f);
    EXPECT_EQ(pp->second->z, 2.0f);
    EXPECT_EQ(pa->first->y, 3.0f);
    EXPECT_EQ(pa->second->x, 4.0f);
    QEL_DeletePointPair3f(pp);
    QEL_DeletePointPair3fAlt(pa);

    // Members are copies: changing or freeing the arguments leaves the record alone.
    QelPoint3i o{2, 3, 4};
    QelSize3i s{5, 6, 7};
    b = QEL_NewBox3i(&o, &s);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b->origin, &o);
    o.x = 99;
    s.nz = 99;
    EXPECT_EQ(b->origin->x, 2);
    EXPECT_EQ(b->size->nz, 7);
    QelBox3i* c = QEL_CopyBox3i(b);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->origin, b->origin);
    EXPECT_EQ(QEL_IsBox3iInside(c, b), 1);
    EXPECT_EQ(QEL_IsBox3iInside(b, c), 1);
    QEL_DeleteBox3i(b);
    EXPECT_EQ(c->size->ny, 6);
    QEL_DeleteBox3i(c);

    QelPoint2f f{1.0f, 2.0f}, g{3.0f, 4.0f};
    QelPointPair2f* p2 = QEL_NewPointPair2f(&f, &g);
    ASSERT_NE(p2, nullptr);
    f.x = 9.0f;
    EXPECT_EQ(p2->first->x, 1.0f);
    EXPECT_EQ(p2->second->y, 4.0f);
    QEL_DeletePointPair2f(p2);
    EXPECT_EQ(QEL_NewPointPair2f(&f, nullptr), nullptr);

    // Destructors of compound records accept NULL.
    QEL_DeleteRect2f(nullptr);
    QEL_DeleteRect2i(nullptr);
    QEL_DeleteBox3f(nullptr);
    QEL_DeleteBox3i(nullptr);
    QEL_DeletePointPair2f(nullptr);
    QEL_DeletePointPair3f(nullptr);
    QEL_DeletePointPair3fAlt(nullptr);
}

TEST(GeometryRecords, MeasuresAndEquality) {
    QelSize2i a{6, 7};
    EXPECT_EQ(QEL_GetAreaOfSize2i(&a), 42);
    QelSize3i v{2, 3, 4};
    EXPECT_EQ(QEL_GetVolumeOfSize3i(&v), 24);
    QelSize3i huge{65536, 65536, 2};
    EXPECT_EQ(QEL_GetVolumeOfSize3i(&huge), -1);  // would not fit the int result
    QelSize2i wide{INT_MAX, 2};
    EXPECT_EQ(QEL_GetAreaOfSize2i(&wide), -1);
    QelSize3i big{INT_MAX, INT_MAX, INT_MAX};
    EXPECT_EQ(QEL_GetVolumeOfSize3i(&big), -1);

    const int w1[4] = {1, 2, 3, 4}, w2[4] = {1, 2, 3, 5};
    EXPECT_EQ(QEL_IsEqualInt2(w1, w2), 1);
    EXPECT_EQ(QEL_IsEqualInt3(w1, w2), 1);
    EXPECT_EQ(QEL_IsEqualInt4(w1, w2), 0);
    EXPECT_EQ(QEL_IsEqualInt4(w1, w1), 1);
    EXPECT_EQ(QEL_IsEqualInt2(nullptr, w1), 0);
    EXPECT_EQ(QEL_IsEqualInt3(w1, nullptr), 0);
    QelSize4i s{1, 2, 3, 4}, t{1, 2, 3, 5};
    EXPECT_EQ(QEL_IsEqualSize4i(&s, &t), 0);
    EXPECT_EQ(QEL_IsEqualSize4i(nullptr, &s), 0);
    EXPECT_EQ(QEL_IsEqualSize3i(&v, nullptr), 0);
    QelSize3i v2{2, 3, 5};
    EXPECT_EQ(QEL_IsEqualSize3i(&v, &v2), 0);
    QelPoint3i p{1, 2, 3}, q{1, 2, 3};
    EXPECT_EQ(QEL_IsEqualVector3i(&p, &q), 1);
    q.z = 4;
    EXPECT_EQ(QEL_IsEqualVector3i(&p, &q), 0);
    EXPECT_EQ(QEL_IsEqualVector3i(nullptr, nullptr), 0);
}

TEST(GeometryRecords, ContainmentIsHalfOpen) {
    QelPoint3i o{0, 0, 0}, o1{1, 0, 0};
    QelSize3i s{4, 4, 4}, s3{3, 4, 4}, s5{5, 4, 4};
    QelBox3i b{&o, &s}, moved{&o1, &s}, inner{&o1, &s3}, longer{&o, &s5};
    EXPECT_EQ(QEL_IsBox3iInside(&b, &b), 1);
    EXPECT_EQ(QEL_IsBox3iInside(&moved, &b), 0);
    EXPECT_EQ(QEL_IsBox3iInside(&inner, &b), 1);
    EXPECT_EQ(QEL_IsBox3iInside(&longer, &b), 0);
    EXPECT_EQ(QEL_IsBox3iInside(nullptr, &b), 0);
    // Far faces near the int limit are compared without overflow.
    QelPoint3i far{INT_MAX - 1, 0, 0};
    QelSize3i two{2, 1, 1};
    QelBox3i edge{&far, &two};
    EXPECT_EQ(QEL_IsBox3iInside(&edge, &b), 0);

    QelPoint3f fo{0.0f, 0.0f, 0.0f}, fo1{0.5f, 0.5f, 0.5f};
    QelSize3f fs{2.0f, 2.0f, 2.0f}, fs1{1.5f, 1.5f, 1.5f}, fs2{1.6f, 1.5f, 1.5f};
    QelBox3f fb{&fo, &fs}, fin{&fo1, &fs1}, fout{&fo1, &fs2};
    EXPECT_EQ(QEL_IsBox3fInside(&fin, &fb), 1);
    EXPECT_EQ(QEL_IsBox3fInside(&fout, &fb), 0);
    EXPECT_EQ(QEL_IsBox3fInside(&fb, &fin), 0);

    QelPoint2i ro{0, 0}, ro1{1, 0};
    QelSize2i rs{5, 3}, rs1{4, 3};
    QelRect2i r{&ro, &rs}, r1{&ro1, &rs1}, r2{&ro1, &rs};
    EXPECT_EQ(QEL_IsRect2iInside(&r, &r), 1);
    EXPECT_EQ(QEL_IsRect2iInside(&r1, &r), 1);
    EXPECT_EQ(QEL_IsRect2iInside(&r2, &r), 0);
    QelPoint2f rfo{0.0f, 0.0f}, rfo1{-0.5f, 0.0f};
    QelSize2f rfs{1.0f, 1.0f};
    QelRect2f rf{&rfo, &rfs}, rf1{&rfo1, &rfs};
    EXPECT_EQ(QEL_IsRect2fInside(&rf, &rf), 1);
    EXPECT_EQ(QEL_IsRect2fInside(&rf1, &rf), 0);

    // Points: the far face counts as inside.
    const int cases[][4] = {{4, 4, 4, 1}, {0, 0, 0, 1}, {5, 0, 0, 0}, {-1, 0, 0, 0}, {2, 4, 5, 0}, {3, 2, 1, 1}};
    for (auto& c : cases) {
        QelPoint3i p{c[0], c[1], c[2]};
        EXPECT_EQ(QEL_IsPointInBox3i(&p, &b), c[3]) << c[0] << "," << c[1] << "," << c[2];
    }
}

// Reference direction angle: atan2 except that the negative x axis gives -pi.
float reference_angle(float x, float y) {
    if (y == 0.0f && x < 0.0f) return -static_cast<float>(M_PI);
    return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}

TEST(VectorMaths, ProductsAndLengths) {
    QelPoint3f a{1.0f, 2.0f, 3.0f}, b{4.0f, -5.0f, 6.0f}, out{};
    EXPECT_EQ(QEL_Dot3f(&a, &b), 12.0f);
    QEL_Cross3f(&a, &b, &out);
    EXPECT_EQ(out.x, 27.0f);
    EXPECT_EQ(out.y, 6.0f);
    EXPECT_EQ(out.z, -13.0f);
    EXPECT_EQ(QEL_Dot3f(&out, &a), 0.0f);  // orthogonal to both
    EXPECT_EQ(QEL_Dot3f(&out, &b), 0.0f);
    QelPoint2f c{3.0f, 4.0f}, d{-1.0f, 2.0f};
    EXPECT_EQ(QEL_Dot2f(&c, &d), 5.0f);
    EXPECT_EQ(QEL_Norm2f(&c), 5.0f);
    QelPoint3f e{2.0f, 3.0f, 6.0f};
    EXPECT_EQ(QEL_Norm3f(&e), 7.0f);

    QelPoint3f n{3.0f, 0.0f, 4.0f};
    EXPECT_EQ(QEL_Normalize3f(&n), 5.0f);
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_FLOAT_EQ(n.z, 0.8f);
    QelPoint3f z{0.0f, 0.0f, 0.0f};
    EXPECT_EQ(QEL_Normalize3f(&z), 0.0f);
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 0.0f);
    EXPECT_EQ(z.z, 0.0f);
    QelPoint2f m{0.0f, -2.0f};
    EXPECT_EQ(QEL_Normalize2f(&m), 2.0f);
    EXPECT_EQ(m.y, -1.0f);
    QelPoint2f z2{0.0f, 0.0f};
    EXPECT_EQ(QEL_Normalize2f(&z2), 0.0f);
    EXPECT_EQ(z2.x, 0.0f);
}

TEST(VectorMaths, PlaneAngleCases) {
    struct Case {
        float x, y, angle;
    };
    const Case cases[] = {{1.0f, 0.0f, 0.0f},
                          {0.0f, 2.0f, 1.570796f},
                          {0.0f, -2.0f, -1.570796f},
                          {-1.0f, 0.0f, -3.1415927f},
                          {1.0f, 1.0f, static_cast<float>(std::atan(1.0))}};
    for (const Case& c : cases) {
        QelPoint2f v{c.x, c.y};
        float angle = 99.0f;
        QEL_GetAngle2f(&v, &angle);
        EXPECT_EQ(angle, c.angle) << c.x << "," << c.y;
    }
    QelPoint2f near_pi{-1.0f, 1e-6f};
    float angle = 0.0f;
    QEL_GetAngle2f(&near_pi, &angle);
    EXPECT_LT(angle, QEL_PI);
    EXPECT_GT(angle, QEL_PI - 2e-6f);

    qeltest::StderrCapture capture;
    QelPoint2f zero{0.0f, 0.0f};
    angle = 5.0f;
    QEL_GetAngle2f(&zero, &angle);
    EXPECT_EQ(capture.stop(), "Warning: zero vector\n");
    EXPECT_EQ(angle, 0.0f);
}

TEST(VectorMaths, PlaneAngleAgainstAtan2) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-100.0f, 100.0f);
    for (int i = 0; i < 5000; ++i) {
        QelPoint2f v{dist(rng), dist(rng)};
        if (i % 7 == 0) v.x = 0.0f;
        if (i % 11 == 0) v.y = 0.0f;
        if (v.x == 0.0f && v.y == 0.0f) continue;
        float angle;
        QEL_GetAngle2f(&v, &angle);
        EXPECT_NEAR(angle, reference_angle(v.x, v.y), 2e-6f) << v.x << "," << v.y;
        EXPECT_GE(angle, -QEL_PI);
        EXPECT_LT(angle, QEL_PI);
    }
}

TEST(VectorMaths, DirectionAngles) {
    float az = 9.0f, el = 9.0f;
    QelPoint3f down{0.0f, 0.0f, -5.0f};
    QEL_GetDirectionAngles3f(&down, &az, &el);
    EXPECT_EQ(az, 0.0f);
    EXPECT_EQ(el, -1.570796f);
    EXPECT_EQ(down.z, -5.0f);  // not changed
    QelPoint3f up{0.0f, 0.0f, 2.0f};
    QEL_GetDirectionAngles3f(&up, &az, &el);
    EXPECT_EQ(el, 1.570796f);
    QelPoint3f diag{1.0f, 0.0f, 1.0f};
    QEL_GetDirectionAngles3f(&diag, &az, &el);
    EXPECT_EQ(az, 0.0f);
    EXPECT_FLOAT_EQ(el, static_cast<float>(std::atan(1.0)));

    // Against spherical coordinates from atan2.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
    for (int i = 0; i < 2000; ++i) {
        QelPoint3f v{dist(rng), dist(rng), dist(rng)};
        QEL_GetDirectionAngles3f(&v, &az, &el);
        const double h = std::hypot(static_cast<double>(v.x), static_cast<double>(v.y));
        EXPECT_NEAR(el, std::atan2(static_cast<double>(v.z), h), 3e-6);
        EXPECT_NEAR(az, reference_angle(v.x, v.y), 3e-6);
    }

    qeltest::StderrCapture capture;
    QelPoint3f zero{0.0f, 0.0f, 0.0f};
    az = el = 4.0f;
    QEL_GetDirectionAngles3f(&zero, &az, &el);
    EXPECT_EQ(capture.stop(), "Warning: zero vector\n");
    EXPECT_EQ(az, 0.0f);
    EXPECT_EQ(el, 0.0f);
}

TEST(VectorMaths, AngleUnitConversions) {
    EXPECT_FLOAT_EQ(QEL_RadianToDegree(QEL_PI), 180.0f);
    EXPECT_FLOAT_EQ(QEL_DegreeToRadian(180.0f), QEL_PI);
    for (float x : {-720.0f, -33.3f, 0.0f, 1.0f, 45.0f, 359.9f})
        EXPECT_FLOAT_EQ(QEL_RadianToDegree(QEL_DegreeToRadian(x)), x);
}

TEST(VectorMaths, LinesAndPlanes) {
    QelPoint3f p0{0.0f, 0.0f, 2.0f}, n{0.0f, 0.0f, 1.0f}, l0{0.0f, 0.0f, 0.0f}, d{0.0f, 0.0f, 4.0f};
    QelPointPair3f plane{&p0, &n}, line{&l0, &d};
    float t = -1.0f;
    QelPoint3f* hit = QEL_IntersectPlaneAndLine3f(&plane, &line, &t);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(t, 0.5f);
    EXPECT_EQ(hit->x, 0.0f);
    EXPECT_EQ(hit->y, 0.0f);
    EXPECT_EQ(hit->z, 2.0f);
    QEL_DeletePoint3f(hit);

    QelPoint3f sideways{1.0f, 0.0f, 0.0f};
    QelPointPair3f parallel{&l0, &sideways};
    t = -1.0f;
    EXPECT_EQ(QEL_IntersectPlaneAndLine3f(&plane, &parallel, &t), nullptr);
    EXPECT_EQ(t, -1.0f);
    EXPECT_EQ(QEL_IntersectPlaneAndLine3f(nullptr, &line, &t), nullptr);
    EXPECT_EQ(QEL_IntersectPlaneAndLine3f(&plane, &line, nullptr), nullptr);

    // A tilted plane: the hit point lies on the plane and on the line.
    QelPoint3f q0{1.0f, 2.0f, 3.0f}, qn{1.0f, 1.0f, 1.0f}, m0{-1.0f, 0.5f, 0.0f}, md{0.5f, 1.0f, 2.0f};
    QelPointPair3f tilted{&q0, &qn}, ray{&m0, &md};
    hit = QEL_IntersectPlaneAndLine3f(&tilted, &ray, &t);
    ASSERT_NE(hit, nullptr);
    EXPECT_NEAR(hit->x + hit->y + hit->z, 6.0f, 1e-5f);
    EXPECT_NEAR(hit->x, m0.x + t * md.x, 1e-6f);
    QEL_DeletePoint3f(hit);

    QelPoint3f* on = QEL_GetPointOnLine3f(&ray, 2.0f);
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(on->x, 0.0f);
    EXPECT_EQ(on->y, 2.5f);
    EXPECT_EQ(on->z, 4.0f);
    QEL_DeletePoint3f(on);
    EXPECT_EQ(QEL_GetPointOnLine3f(nullptr, 1.0f), nullptr);
}

}  // namespace
