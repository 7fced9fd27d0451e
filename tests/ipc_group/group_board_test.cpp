#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "ipc/qel_board_group.h"
#include "ipc_group/board_bytes.hpp"
#include "support/capture.hpp"
#include "support/records.hpp"

using boardtest::Bytes;
using boardtest::ExactBoard;
using boardtest::float_at;
using boardtest::word_at;

namespace {

using qeltest::GroupPtr;

std::vector<unsigned char> pack(const QelDataObjectGroup* g) {
    int size = QELipc_SizeOfDataObjectGroup(g);
    EXPECT_GE(size, 4);
    if (size < 4) return {};
    std::vector<unsigned char> board(static_cast<size_t>(size), 0xAB);
    EXPECT_EQ(QELipc_PackDataObjectGroup(g, board.data()), 0);
    return board;
}

GroupPtr unpack_exact(const std::vector<unsigned char>& bytes, size_t len) {
    ExactBoard board(bytes, len);
    return GroupPtr(QELipc_UnpackDataObjectGroup(board.data(), board.size()));
}
GroupPtr unpack_exact(const std::vector<unsigned char>& bytes) {
    return unpack_exact(bytes, bytes.size());
}

void expect_point(const QelPoint3f* p, const QelPoint3f* q) {
    ASSERT_NE(p, nullptr);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(p->x, q->x);
    EXPECT_EQ(p->y, q->y);
    EXPECT_EQ(p->z, q->z);
}

QelPoint3f P(float x, float y, float z) { return {x, y, z}; }

// A one-triangle mesh with three vertices, normals and (optionally) colours.
QelTriangularMesh* one_triangle(bool colours) {
    QelTriangularMesh* m = QEL_NewTriangularMesh(4, 5);  // capacities do not travel
    m->nTriangles = 1;
    m->nVertices = 3;
    m->triangles[0][0] = 0;
    m->triangles[0][1] = 1;
    m->triangles[0][2] = 2;
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 3; ++k) {
            m->vertices[v][k] = static_cast<float>(v * 3 + k) + 0.5f;
            m->vertexNormals[v][k] = static_cast<float>(k == 2);
        }
    if (colours) {
        QEL_AllocTriangularMeshColors(m);
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < 4; ++k) m->colours[v][k] = 0.25f * static_cast<float>(v + k);
    }
    return m;
}

// One member of every kind that comes back from a board, tails changed from their
// defaults, colours and flags on some of them.
QelDataObjectGroup* every_returning_kind() {
    QelDataObjectGroup* g = QEL_NewDataObjectGroup(16);
    auto a = P(1, 2, 3), b = P(-4, 5.5f, 6), c = P(7, -8, 9.25f), d = P(0.1f, 0.2f, 0.3f);
    auto e = P(10, 11, 12), f = P(-13, 14, -15);
    QelColor tint{0.2f, 0.4f, 0.6f, 0.8f};

    QelSphere* s = QEL_NewSphere(&a, 3.5f);
    s->tail8 = -8;
    s->tail142 = 0x0EADBEEF;
    QEL_AddDataObjectToGroup(s, 11, &tint, g);
    QelDataObject12* o12 = QEL_NewDataObject12(&a, &b, &c, &d, -1, 0x12345678, 0);
    o12->tail8 = 1;
    o12->tail142 = 2;
    QEL_AddDataObjectToGroup(o12, 12, nullptr, g);
    QelCone* cone = QEL_NewCone(&b, &c, 1.25f, -2.5f);
    cone->tail8 = 3;
    cone->tail142 = 4;
    QEL_AddDataObjectToGroup(cone, 13, nullptr, g);
    QelDataObject14* o14 = QEL_NewDataObject14(&a, &b, 5, 6, 7, 8, &c, &d, &e, &f);
    o14->tail8 = 9;
    o14->tail142 = 10;
    QEL_AddDataObjectToGroup(o14, 14, &tint, g);
    QelDataObject16* o16 = QEL_NewDataObject16(&f, &e, &d, &c);
    o16->tail142 = 11;
    QEL_AddDataObjectToGroup(o16, 16, nullptr, g);
    QelDataObject17* o17 = QEL_NewDataObject17(&d, &c, &b, &a, 12, 13, 14);
    o17->tail8 = 15;
    o17->tail142 = 16;
    QEL_AddDataObjectToGroup(o17, 17, nullptr, g);
    QelDataObject18* o18 = QEL_NewDataObject18(&e, &f, 17, -18);
    o18->tail8 = 19;
    o18->tail142 = 20;
    QEL_AddDataObjectToGroup(o18, 18, nullptr, g);
    QelPointList* list = QEL_NewPointList(3);
    for (int i = 0; i < 3; ++i) *list->points[i] = P(float(i), float(-i), float(i * i));
    *list->extent->origin = P(-1, -2, -3);
    *list->extent->size = QelSize3f{4, 5, 6};
    list->tail142 = 21;
    QEL_AddDataObjectToGroup(list, 21, nullptr, g);
    QelPointPairList* pairs = QEL_NewPointPairList(4);
    pairs->count = 2;
    pairs->a[0] = QEL_NewPoint3f(1, 1, 1);
    pairs->b[0] = QEL_NewPoint3f(2, 2, 2);
    pairs->a[1] = QEL_NewPoint3f(3, 3, 3);
    pairs->b[1] = QEL_NewPoint3f(4, 4, 4);
    QEL_AddDataObjectToGroup(pairs, 31, nullptr, g);
    QelPointSet* plain = QEL_NewPointSet(5);
    plain->count = 2;
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 3; ++k) plain->xyz[i][k] = float(10 * i + k);
    QEL_AddDataObjectToGroup(plain, 61, nullptr, g);
    QelPointSet* coloured = QEL_NewPointSet(3);
    QEL_AllocPointSetColors(coloured);
    coloured->count = 3;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) coloured->xyz[i][k] = float(i - k);
        for (int k = 0; k < 4; ++k) coloured->rgba[i][k] = 0.125f * float(i + k);
    }
    QEL_AddDataObjectToGroup(coloured, 61, nullptr, g);
    QelValuedPointSet* valued = QEL_NewValuedPointSet(4);
    QEL_AllocValuedPointSetColors(valued);
    valued->count = 2;
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 3; ++k) valued->xyz[i][k] = float(i * k);
        valued->values[i] = -1000 * (i + 1);
        for (int k = 0; k < 4; ++k) valued->rgba[i][k] = float(k);
    }
    valued->tail8 = 22;
    valued->tail142 = 23;
    QEL_AddDataObjectToGroup(valued, 62, nullptr, g);
    QelValuedPointSet* bare = QEL_NewValuedPointSet(1);
    bare->count = 1;
    bare->xyz[0][0] = bare->xyz[0][1] = bare->xyz[0][2] = 9.0f;
    bare->values[0] = 7;
    QEL_AddDataObjectToGroup(bare, 62, nullptr, g);
    QEL_AddDataObjectToGroup(one_triangle(true), 71, &tint, g);
    QEL_AddDataObjectToGroup(one_triangle(false), 71, nullptr, g);
    QelDataObjectGroup* nested = QEL_NewDataObjectGroup(2);
    QEL_AddDataObjectToGroup(QEL_NewSphere(&f, 0.5f), 11, &tint, nested);
    QEL_AddDataObjectToGroup(one_triangle(true), 71, nullptr, nested);
    nested->flags[1] = -7;
    QEL_AddDataObjectToGroup(nested, 99, nullptr, g);
    for (int i = 0; i < g->count; ++i) g->flags[i] = 100 + i;
    return g;
}

void expect_same_mesh(const QelTriangularMesh* m, const QelTriangularMesh* w) {
    ASSERT_NE(m, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(m->nTriangles, w->nTriangles);
    EXPECT_EQ(m->nVertices, w->nVertices);
    EXPECT_EQ(m->triangleCapacity, w->nTriangles);
    EXPECT_EQ(m->vertexCapacity, w->nVertices);
    EXPECT_EQ(std::memcmp(m->triangles, w->triangles, 12 * size_t(w->nTriangles)), 0);
    EXPECT_EQ(std::memcmp(m->vertices, w->vertices, 12 * size_t(w->nVertices)), 0);
    EXPECT_EQ(std::memcmp(m->vertexNormals, w->vertexNormals, 12 * size_t(w->nVertices)), 0);
    ASSERT_EQ(m->colours != nullptr, w->colours != nullptr);
    if (w->colours) {
        EXPECT_EQ(std::memcmp(m->colours, w->colours, 16 * size_t(w->nVertices)), 0);
    }
    EXPECT_EQ(m->triangleNormals, nullptr);
    EXPECT_EQ(m->neighbours, nullptr);
    EXPECT_EQ(m->vertexTriangles, nullptr);
}

// Field-by-field comparison of an unpacked member with the one that was packed.
void expect_same_member(const void* got, const void* want, int kind) {
    ASSERT_NE(got, nullptr) << "kind " << kind;
    switch (kind) {
        case 11: {
            auto* g = static_cast<const QelSphere*>(got);
            auto* w = static_cast<const QelSphere*>(want);
            expect_point(g->centre, w->centre);
            EXPECT_EQ(g->radius, w->radius);
            EXPECT_EQ(g->tail8, w->tail8);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 12:
        case 17: {
            auto* g = static_cast<const QelDataObject12*>(got);
            auto* w = static_cast<const QelDataObject12*>(want);
            for (int i = 0; i < 4; ++i) expect_point(g->points[i], w->points[i]);
            for (int i = 0; i < 3; ++i) EXPECT_EQ(g->words[i], w->words[i]);
            EXPECT_EQ(g->tail8, w->tail8);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 13: {
            auto* g = static_cast<const QelCone*>(got);
            auto* w = static_cast<const QelCone*>(want);
            expect_point(g->centre1, w->centre1);
            expect_point(g->centre2, w->centre2);
            EXPECT_EQ(g->radius1, w->radius1);
            EXPECT_EQ(g->radius2, w->radius2);
            EXPECT_EQ(g->tail8, w->tail8);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 14: {
            auto* g = static_cast<const QelDataObject14*>(got);
            auto* w = static_cast<const QelDataObject14*>(want);
            for (int i = 0; i < 2; ++i) expect_point(g->points[i], w->points[i]);
            for (int i = 0; i < 4; ++i) EXPECT_EQ(g->words[i], w->words[i]);
            for (int i = 0; i < 4; ++i) expect_point(g->morePoints[i], w->morePoints[i]);
            EXPECT_EQ(g->tail8, w->tail8);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 16: {
            auto* g = static_cast<const QelDataObject16*>(got);
            auto* w = static_cast<const QelDataObject16*>(want);
            for (int i = 0; i < 4; ++i) expect_point(g->points[i], w->points[i]);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 18: {
            auto* g = static_cast<const QelDataObject18*>(got);
            auto* w = static_cast<const QelDataObject18*>(want);
            for (int i = 0; i < 2; ++i) expect_point(g->points[i], w->points[i]);
            EXPECT_EQ(g->words[0], w->words[0]);
            EXPECT_EQ(g->words[1], w->words[1]);
            EXPECT_EQ(g->tail8, w->tail8);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 21: {
            auto* g = static_cast<const QelPointList*>(got);
            auto* w = static_cast<const QelPointList*>(want);
            ASSERT_EQ(g->n, w->n);
            for (int i = 0; i < w->n; ++i) expect_point(g->points[i], w->points[i]);
            expect_point(g->extent->origin, w->extent->origin);
            EXPECT_EQ(g->extent->size->x, w->extent->size->x);
            EXPECT_EQ(g->extent->size->y, w->extent->size->y);
            EXPECT_EQ(g->extent->size->z, w->extent->size->z);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 31: {
            auto* g = static_cast<const QelPointPairList*>(got);
            auto* w = static_cast<const QelPointPairList*>(want);
            ASSERT_EQ(g->count, w->count);
            for (int i = 0; i < w->count; ++i) {
                expect_point(g->a[i], w->a[i]);
                expect_point(g->b[i], w->b[i]);
            }
            break;
        }
        case 61: {
            auto* g = static_cast<const QelPointSet*>(got);
            auto* w = static_cast<const QelPointSet*>(want);
            ASSERT_EQ(g->count, w->count);
            EXPECT_EQ(g->capacity, w->count);
            EXPECT_EQ(std::memcmp(g->xyz, w->xyz, 12 * size_t(w->count)), 0);
            ASSERT_EQ(g->rgba != nullptr, w->rgba != nullptr);
            if (w->rgba) {
                EXPECT_EQ(std::memcmp(g->rgba, w->rgba, 16 * size_t(w->count)), 0);
            }
            break;
        }
        case 62: {
            auto* g = static_cast<const QelValuedPointSet*>(got);
            auto* w = static_cast<const QelValuedPointSet*>(want);
            ASSERT_EQ(g->count, w->count);
            EXPECT_EQ(g->capacity, w->count);
            EXPECT_EQ(std::memcmp(g->xyz, w->xyz, 12 * size_t(w->count)), 0);
            EXPECT_EQ(std::memcmp(g->values, w->values, 4 * size_t(w->count)), 0);
            ASSERT_EQ(g->rgba != nullptr, w->rgba != nullptr);
            if (w->rgba) {
                EXPECT_EQ(std::memcmp(g->rgba, w->rgba, 16 * size_t(w->count)), 0);
            }
            EXPECT_EQ(g->tail8, w->tail8);
            EXPECT_EQ(g->tail142, w->tail142);
            break;
        }
        case 71:
            expect_same_mesh(static_cast<const QelTriangularMesh*>(got),
                             static_cast<const QelTriangularMesh*>(want));
            break;
        case 99: {
            auto* g = static_cast<const QelDataObjectGroup*>(got);
            auto* w = static_cast<const QelDataObjectGroup*>(want);
            ASSERT_EQ(g->count, w->count);
            EXPECT_EQ(g->capacity, w->count);
            for (int i = 0; i < w->count; ++i) {
                EXPECT_EQ(g->types[i], w->types[i]);
                EXPECT_EQ(g->flags[i], w->flags[i]);
                ASSERT_NE(g->colours[i], nullptr);
                const QelColor white{1, 1, 1, 1};
                const QelColor& wc = w->colours[i] ? *w->colours[i] : white;
                EXPECT_EQ(g->colours[i]->r, wc.r);
                EXPECT_EQ(g->colours[i]->g, wc.g);
                EXPECT_EQ(g->colours[i]->b, wc.b);
                EXPECT_EQ(g->colours[i]->a, wc.a);
                expect_same_member(g->objects[i], w->objects[i], w->types[i]);
            }
            break;
        }
        default: FAIL() << "unexpected kind " << kind;
    }
}

// Body size of one member, as the group sizes it.
int member_size(void* object, int kind) {
    QelDataObjectGroup* one = QEL_NewDataObjectGroup(1);
    one->count = 1;
    one->objects[0] = object;
    one->types[0] = kind;
    int size = QELipc_SizeOfDataObjectGroup(one) - 28;
    one->count = 0;  // the member is not the wrapper's to delete
    QEL_DeleteDataObjectGroup(one);
    return size;
}

}  // namespace

// ---------------------------------------------------------------- golden payloads

TEST(GroupBoard, EmptyGroup) {
    GroupPtr g(QEL_NewDataObjectGroup(3));
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), 4);
    EXPECT_EQ(pack(g.get()), Bytes().i32(0).b);
    GroupPtr back = unpack_exact(Bytes().i32(0).b);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->count, 0);
    EXPECT_EQ(back->capacity, 0);
}

TEST(GroupBoard, OneSphereWithoutColour) {
    GroupPtr g(QEL_NewDataObjectGroup(1));
    QelPoint3f c{1.5f, -2, 3};
    QEL_AddDataObjectToGroup(QEL_NewSphere(&c, 0.75f), 11, nullptr, g.get());
    Bytes want;
    want.i32(1).i32(11).i32(1).f32(1).f32(1).f32(1).f32(1);
    want.point(1.5f, -2, 3).f32(0.75f).i32(8).i32(142);
    ASSERT_EQ(want.size(), 52u);
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), 52);
    EXPECT_EQ(pack(g.get()), want.b);

    GroupPtr back = unpack_exact(want.b);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->count, 1);
    EXPECT_EQ(back->types[0], 11);
    EXPECT_EQ(back->flags[0], 1);
    ASSERT_NE(back->colours[0], nullptr);  // white and opaque, and the group's own
    EXPECT_EQ(back->colours[0]->r, 1.0f);
    EXPECT_EQ(back->colours[0]->a, 1.0f);
    expect_same_member(back->objects[0], g->objects[0], 11);
}

TEST(GroupBoard, NestedGroupOfTwoSpheres) {
    GroupPtr g(QEL_NewDataObjectGroup(1));
    QelDataObjectGroup* inner = QEL_NewDataObjectGroup(2);
    QelColor blue{0, 0, 1, 0.5f};
    QEL_AddDataObjectToGroup(QEL_NewSphere(nullptr, 1), 11, &blue, inner);
    QelPoint3f c{4, 5, 6};
    QEL_AddDataObjectToGroup(QEL_NewSphere(&c, 2), 11, nullptr, inner);
    inner->flags[1] = 9;
    QEL_AddDataObjectToGroup(inner, 99, nullptr, g.get());

    Bytes innerBody;
    innerBody.i32(2).i32(11).i32(11).i32(1).i32(9);
    innerBody.f32(0).f32(0).f32(1).f32(0.5f).f32(1).f32(1).f32(1).f32(1);
    innerBody.point(0, 0, 0).f32(1).i32(8).i32(142);
    innerBody.point(4, 5, 6).f32(2).i32(8).i32(142);
    ASSERT_EQ(innerBody.size(), 100u);
    Bytes want;
    want.i32(1).i32(99).i32(1).f32(1).f32(1).f32(1).f32(1).append(innerBody);
    ASSERT_EQ(want.size(), 128u);
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), 128);
    EXPECT_EQ(pack(g.get()), want.b);

    GroupPtr back = unpack_exact(want.b);
    ASSERT_TRUE(back);
    expect_same_member(back.get(), g.get(), 99);
}

TEST(GroupBoard, PointListOfTwoPoints) {
    QelPointList* list = QEL_NewPointList(2);
    *list->points[0] = QelPoint3f{1, 2, 3};
    *list->points[1] = QelPoint3f{4, 5, 6};
    *list->extent->origin = QelPoint3f{-1, -1, -1};
    *list->extent->size = QelSize3f{7, 8, 9};
    Bytes want;
    want.i32(2).point(1, 2, 3).point(4, 5, 6).point(-1, -1, -1).point(7, 8, 9).i32(142);
    ASSERT_EQ(want.size(), 56u);
    EXPECT_EQ(QELipc_SizeOfPointList(list), 56);
    std::vector<unsigned char> body(56);
    EXPECT_EQ(QELipc_PackPointList(list, body.data()), 0);
    EXPECT_EQ(body, want.b);
    EXPECT_EQ(float_at(body.data(), 28), -1.0f);  // extent origin
    EXPECT_EQ(float_at(body.data(), 40), 7.0f);   // extent size

    ExactBoard board(want.b);
    QelPointList* back = QELipc_UnpackPointList(board.data(), board.size());
    expect_same_member(back, list, 21);
    QEL_DeletePointList(back);
    ExactBoard shortBoard(want.b, 55);
    EXPECT_EQ(QELipc_UnpackPointList(shortBoard.data(), shortBoard.size()), nullptr);

    GroupPtr g(QEL_NewDataObjectGroup(1));
    QEL_AddDataObjectToGroup(list, 21, nullptr, g.get());
    Bytes group;
    group.i32(1).i32(21).i32(1).f32(1).f32(1).f32(1).f32(1).append(want);
    EXPECT_EQ(pack(g.get()), group.b);
}

TEST(GroupBoard, OneTriangleMeshWithColours) {
    QelTriangularMesh* mesh = one_triangle(true);
    Bytes body;
    body.u8(1).i32(1).i32(3).i32(0).i32(1).i32(2);
    for (int v = 0; v < 3; ++v) body.point(v * 3 + 0.5f, v * 3 + 1.5f, v * 3 + 2.5f);
    for (int v = 0; v < 3; ++v) body.point(0, 0, 1);
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 4; ++k) body.f32(0.25f * float(v + k));
    ASSERT_EQ(body.size(), 141u);
    EXPECT_EQ(QELipc_SizeOfTriangularMesh(mesh), 141);
    std::vector<unsigned char> packed(141);
    ASSERT_EQ(QELipc_PackTriangularMesh(mesh, packed.data()), 0);
    EXPECT_EQ(packed, body.b);
    EXPECT_EQ(float_at(packed.data(), 21), 0.5f);  // first vertex, unaligned
    EXPECT_EQ(float_at(packed.data(), 93), 0.0f);  // first colour
    EXPECT_EQ(float_at(packed.data(), 97), 0.25f);

    // Behind a one-byte-flagged body every later member sits unaligned.
    GroupPtr g(QEL_NewDataObjectGroup(2));
    QelColor yellow{1, 1, 0, 1};
    QEL_AddDataObjectToGroup(mesh, 71, &yellow, g.get());
    QEL_AddDataObjectToGroup(QEL_NewSphere(nullptr, 5), 11, nullptr, g.get());
    Bytes want;
    want.i32(2).i32(71).i32(11).i32(1).i32(1);
    want.f32(1).f32(1).f32(0).f32(1).f32(1).f32(1).f32(1).f32(1);
    want.append(body).point(0, 0, 0).f32(5).i32(8).i32(142);
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), 4 + 48 + 141 + 24);
    EXPECT_EQ(pack(g.get()), want.b);
    GroupPtr back = unpack_exact(want.b);
    ASSERT_TRUE(back);
    expect_same_member(back.get(), g.get(), 99);
}

// Every fixed-size kind, the pair list and both point sets (with and without colours), written
// out from the layout tables: a mistake made the same way by packer and unpacker shows here.
TEST(GroupBoard, BodiesOfEveryOtherKindMatchTheLayoutTables) {
    const QelPoint3f a = P(1, 2, 3), b = P(-4, 5.5f, 6), c = P(7, -8, 9.25f), d = P(0.1f, 0.2f, 0.3f);
    GroupPtr g(QEL_NewDataObjectGroup(11));
    Bytes bodies;
    auto point = [&](const QelPoint3f& p) { bodies.point(p.x, p.y, p.z); };

    QelDataObject12* o12 = QEL_NewDataObject12(&a, &b, &c, &d, -1, 0x12345678, 0);
    o12->tail8 = 1;
    o12->tail142 = 2;
    QEL_AddDataObjectToGroup(o12, 12, nullptr, g.get());
    for (const QelPoint3f& p : {a, b, c, d}) point(p);
    bodies.i32(-1).i32(0x12345678).i32(0).i32(1).i32(2);

    QEL_AddDataObjectToGroup(QEL_NewDataObject17(&d, &c, &b, &a, 12, 13, 14), 17, nullptr, g.get());
    for (const QelPoint3f& p : {d, c, b, a}) point(p);
    bodies.i32(12).i32(13).i32(14).i32(8).i32(142);

    QelCone* cone = QEL_NewCone(&b, &c, 1.25f, -2.5f);
    cone->tail8 = 3;
    const QelColor blue{0, 0, 1, 0.5f};
    QEL_AddDataObjectToGroup(cone, 13, &blue, g.get());
    point(b);
    point(c);
    bodies.f32(1.25f).f32(-2.5f).i32(3).i32(142);

    QEL_AddDataObjectToGroup(QEL_NewDataObject14(&a, &b, 5, 6, 7, 8, &c, &d, &b, &a), 14, nullptr, g.get());
    point(a);
    point(b);
    bodies.i32(5).i32(6).i32(7).i32(8);
    for (const QelPoint3f& p : {c, d, b, a}) point(p);
    bodies.i32(8).i32(142);

    QelDataObject16* o16 = QEL_NewDataObject16(&c, &a, &d, &b);
    o16->tail142 = -11;
    QEL_AddDataObjectToGroup(o16, 16, nullptr, g.get());
    for (const QelPoint3f& p : {c, a, d, b}) point(p);
    bodies.i32(-11);

    QEL_AddDataObjectToGroup(QEL_NewDataObject18(&d, &a, 17, -18), 18, nullptr, g.get());
    point(d);
    point(a);
    bodies.i32(17).i32(-18).i32(8).i32(142);

    QelPointPairList* pairs = QEL_NewPointPairList(3);
    pairs->count = 2;
    pairs->a[0] = QEL_NewPoint3f(a.x, a.y, a.z);
    pairs->b[0] = QEL_NewPoint3f(b.x, b.y, b.z);
    pairs->a[1] = QEL_NewPoint3f(c.x, c.y, c.z);
    pairs->b[1] = QEL_NewPoint3f(d.x, d.y, d.z);
    QEL_AddDataObjectToGroup(pairs, 31, nullptr, g.get());
    bodies.i32(2);
    for (const QelPoint3f& p : {a, c, b, d}) point(p);  // every a, then every b

    // Point sets: a flag byte, so the count and everything behind it is unaligned.
    QelPointSet* plain = QEL_NewPointSet(4);
    plain->count = 2;
    QEL_AddDataObjectToGroup(plain, 61, nullptr, g.get());
    bodies.u8(0).i32(2);
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 3; ++k) bodies.f32(plain->xyz[i][k] = float(10 * i + k) + 0.5f);

    QelPointSet* coloured = QEL_NewPointSet(2);
    ASSERT_EQ(QEL_AllocPointSetColors(coloured), 0);
    coloured->count = 2;
    QEL_AddDataObjectToGroup(coloured, 61, nullptr, g.get());
    bodies.u8(1).i32(2);
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 3; ++k) bodies.f32(coloured->xyz[i][k] = float(i - k));
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 4; ++k) bodies.f32(coloured->rgba[i][k] = 0.125f * float(i + k));

    QelValuedPointSet* valued = QEL_NewValuedPointSet(3);
    ASSERT_EQ(QEL_AllocValuedPointSetColors(valued), 0);
    valued->count = 2;
    valued->tail8 = 22;
    valued->tail142 = 23;
    QEL_AddDataObjectToGroup(valued, 62, nullptr, g.get());
    bodies.u8(1).i32(2);
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 3; ++k) bodies.f32(valued->xyz[i][k] = float(i * 3 + k) - 0.25f);
    for (int i = 0; i < 2; ++i) bodies.i32(valued->values[i] = -1000 * (i + 1));
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 4; ++k) bodies.f32(valued->rgba[i][k] = float(k) * 0.5f);
    bodies.i32(22).i32(23);

    QelValuedPointSet* bare = QEL_NewValuedPointSet(1);
    bare->count = 1;
    QEL_AddDataObjectToGroup(bare, 62, nullptr, g.get());
    bodies.u8(0).i32(1).point(9, 9, 9).i32(7).i32(8).i32(142);
    bare->xyz[0][0] = bare->xyz[0][1] = bare->xyz[0][2] = 9.0f;
    bare->values[0] = 7;

    const size_t sizes[] = {68, 68, 40, 96, 52, 40, 4 + 48, 5 + 24, 5 + 24 + 32, 13 + 32 + 32, 13 + 16};
    size_t total = 0;
    for (size_t s : sizes) total += s;
    ASSERT_EQ(bodies.size(), total);

    Bytes want;
    want.i32(g->count);
    for (int kind : {12, 17, 13, 14, 16, 18, 31, 61, 61, 62, 62}) want.i32(kind);
    for (int i = 0; i < g->count; ++i) want.i32(g->flags[i] = 100 + i);
    for (int i = 0; i < g->count; ++i)
        for (float v : i == 2 ? std::vector<float>{0, 0, 1, 0.5f} : std::vector<float>{1, 1, 1, 1}) want.f32(v);
    want.append(bodies);
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), static_cast<int>(want.size()));
    EXPECT_EQ(pack(g.get()), want.b);

    GroupPtr back = unpack_exact(want.b);
    ASSERT_TRUE(back);
    expect_same_member(back.get(), g.get(), 99);
}

// ---------------------------------------------------------------- round trips

TEST(GroupBoard, EveryKindRoundTripsByteForByte) {
    GroupPtr g(every_returning_kind());
    std::vector<unsigned char> bytes = pack(g.get());
    ASSERT_FALSE(bytes.empty());
    GroupPtr back = unpack_exact(bytes);
    ASSERT_TRUE(back);
    expect_same_member(back.get(), g.get(), 99);
    // Packing what came back gives the same board again.
    EXPECT_EQ(pack(back.get()), bytes);
}

TEST(GroupBoard, PerKindOperationsRoundTrip) {
    GroupPtr g(every_returning_kind());
    for (int i = 0; i < g->count; ++i) {
        void* o = g->objects[i];
        const int kind = g->types[i];
        int size = -2;
        std::vector<unsigned char> board;
        auto run = [&](auto sizeOf, auto packer, auto unpacker, auto deleter, auto* rec) {
            size = sizeOf(rec);
            ASSERT_GT(size, 0);
            board.assign(size_t(size), 0);
            ASSERT_EQ(packer(rec, board.data()), 0);
            ExactBoard exact(board);
            auto* back = unpacker(exact.data(), exact.size());
            expect_same_member(back, rec, kind);
            deleter(back);
            ExactBoard shorter(board, board.size() - 1);
            auto* cut = unpacker(shorter.data(), shorter.size());
            if (kind != 99) {
                EXPECT_EQ(cut, nullptr) << "kind " << kind;
            } else {
                // A group keeps its readable members; the cut one comes back NULL.
                ASSERT_NE(cut, nullptr);
                auto* cg = reinterpret_cast<QelDataObjectGroup*>(cut);
                EXPECT_EQ(cg->objects[cg->count - 1], nullptr);
                expect_same_member(cg->objects[0], static_cast<QelDataObjectGroup*>(o)->objects[0],
                                   cg->types[0]);
            }
            deleter(cut);
        };
        switch (kind) {
            case 11: run(QELipc_SizeOfSphere, QELipc_PackSphere, QELipc_UnpackSphere, QEL_DeleteSphere, static_cast<QelSphere*>(o)); break;
            case 12: run(QELipc_SizeOfDataObject12, QELipc_PackDataObject12, QELipc_UnpackDataObject12, QEL_DeleteDataObject12, static_cast<QelDataObject12*>(o)); break;
            case 13: run(QELipc_SizeOfCone, QELipc_PackCone, QELipc_UnpackCone, QEL_DeleteCone, static_cast<QelCone*>(o)); break;
            case 14: run(QELipc_SizeOfDataObject14, QELipc_PackDataObject14, QELipc_UnpackDataObject14, QEL_DeleteDataObject14, static_cast<QelDataObject14*>(o)); break;
            case 16: run(QELipc_SizeOfDataObject16, QELipc_PackDataObject16, QELipc_UnpackDataObject16, QEL_DeleteDataObject16, static_cast<QelDataObject16*>(o)); break;
            case 17: run(QELipc_SizeOfDataObject17, QELipc_PackDataObject17, QELipc_UnpackDataObject17, QEL_DeleteDataObject17, static_cast<QelDataObject17*>(o)); break;
            case 18: run(QELipc_SizeOfDataObject18, QELipc_PackDataObject18, QELipc_UnpackDataObject18, QEL_DeleteDataObject18, static_cast<QelDataObject18*>(o)); break;
            case 21: run(QELipc_SizeOfPointList, QELipc_PackPointList, QELipc_UnpackPointList, QEL_DeletePointList, static_cast<QelPointList*>(o)); break;
            case 31: run(QELipc_SizeOfPointPairList, QELipc_PackPointPairList, QELipc_UnpackPointPairList, QEL_DeletePointPairList, static_cast<QelPointPairList*>(o)); break;
            case 61: run(QELipc_SizeOfPointSet, QELipc_PackPointSet, QELipc_UnpackPointSet, QEL_DeletePointSet, static_cast<QelPointSet*>(o)); break;
            case 62: run(QELipc_SizeOfValuedPointSet, QELipc_PackValuedPointSet, QELipc_UnpackValuedPointSet, QEL_DeleteValuedPointSet, static_cast<QelValuedPointSet*>(o)); break;
            case 71: run(QELipc_SizeOfTriangularMesh, QELipc_PackTriangularMesh, QELipc_UnpackTriangularMesh, QEL_DeleteTriangularMesh, static_cast<QelTriangularMesh*>(o)); break;
            case 99: run(QELipc_SizeOfDataObjectGroup, QELipc_PackDataObjectGroup, QELipc_UnpackDataObjectGroup, QEL_DeleteDataObjectGroup, static_cast<QelDataObjectGroup*>(o)); break;
            default: FAIL() << kind;
        }
    }
}

TEST(GroupBoard, BodilessAndReservedKindsKeepTheirPlace) {
    QelPoint3f p{1, 2, 3};
    GroupPtr g(QEL_NewDataObjectGroup(5));
    QelColor red{1, 0, 0, 1};
    QEL_AddDataObjectToGroup(QEL_NewDataObject15(&p, &p, &p), 15, nullptr, g.get());
    QEL_AddDataObjectToGroup(QEL_NewDataObject22(4), 22, &red, g.get());
    QEL_AddDataObjectToGroup(QEL_NewDataObject25(3, 1), 25, nullptr, g.get());
    QEL_AddDataObjectToGroup(QEL_NewSphere(&p, 9), 11, nullptr, g.get());
    g->flags[1] = 42;
    EXPECT_EQ(QELipc_SizeOfDataObject15(static_cast<QelDataObject15*>(g->objects[0])), 40);
    EXPECT_EQ(QELipc_SizeOfDataObject22(static_cast<QelDataObject22*>(g->objects[1])), 0);
    EXPECT_EQ(QELipc_PackDataObject22(static_cast<QelDataObject22*>(g->objects[1]), nullptr), -1);
    ASSERT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), 4 + 4 * 24 + 40 + 24);

    std::vector<unsigned char> bytes = pack(g.get());
    ASSERT_EQ(bytes.size(), 164u);
    // Kind 15's 40 bytes are left as they were.
    for (size_t i = 100; i < 140; ++i) EXPECT_EQ(bytes[i], 0xAB) << i;
    EXPECT_EQ(word_at(bytes.data(), 4 + 4), 22);
    EXPECT_EQ(word_at(bytes.data(), 4 + 16 + 4), 42);

    GroupPtr back = unpack_exact(bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->count, 4);
    EXPECT_EQ(back->objects[0], nullptr);
    EXPECT_EQ(back->objects[1], nullptr);
    EXPECT_EQ(back->objects[2], nullptr);
    EXPECT_EQ(back->types[1], 22);
    EXPECT_EQ(back->flags[1], 42);
    EXPECT_EQ(back->colours[1]->g, 0.0f);
    // The sphere behind them is read from its own place.
    expect_same_member(back->objects[3], g->objects[3], 11);
    EXPECT_EQ(QELipc_UnpackDataObject15(bytes.data() + 100, 40), nullptr);
    EXPECT_EQ(QELipc_UnpackDataObject22(bytes.data(), 164), nullptr);
}

TEST(GroupBoard, NullMembersAreSkippedWithoutShiftingTheRest) {
    GroupPtr g(QEL_NewDataObjectGroup(4));
    QelColor green{0, 1, 0, 1};
    QEL_AddDataObjectToGroup(nullptr, 71, &green, g.get());
    QEL_AddDataObjectToGroup(nullptr, 22, nullptr, g.get());
    QEL_AddDataObjectToGroup(nullptr, 99, nullptr, g.get());
    QelPoint3f p{7, 7, 7};
    QEL_AddDataObjectToGroup(QEL_NewSphere(&p, 1), 11, nullptr, g.get());
    g->flags[0] = 5;
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), 4 + 4 * 24 + 24);
    std::vector<unsigned char> bytes = pack(g.get());
    // A NULL member travels under a kind without a body; a bodiless kind keeps its code.
    EXPECT_EQ(word_at(bytes.data(), 4), 0);
    EXPECT_EQ(word_at(bytes.data(), 8), 22);
    EXPECT_EQ(word_at(bytes.data(), 12), 0);
    EXPECT_EQ(word_at(bytes.data(), 20), 5);
    EXPECT_EQ(float_at(bytes.data(), 36 + 4), 1.0f);

    GroupPtr back = unpack_exact(bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->count, 4);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(back->objects[i], nullptr);
    EXPECT_EQ(back->flags[0], 5);
    EXPECT_EQ(back->colours[0]->g, 1.0f);
    expect_same_member(back->objects[3], g->objects[3], 11);
}

// ---------------------------------------------------------------- refusals

TEST(GroupBoard, NullAndInvalidRecords) {
    std::vector<unsigned char> board(64, 0xCD);
    EXPECT_EQ(QELipc_SizeOfSphere(nullptr), 0);
    EXPECT_EQ(QELipc_SizeOfPointList(nullptr), 0);
    EXPECT_EQ(QELipc_SizeOfTriangularMesh(nullptr), 0);
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(nullptr), 0);
    EXPECT_EQ(QELipc_SizeOfDataObject15(nullptr), 0);
    EXPECT_EQ(QELipc_PackSphere(nullptr, board.data()), -1);
    EXPECT_EQ(QELipc_PackPointList(nullptr, board.data()), -1);
    EXPECT_EQ(QELipc_PackDataObjectGroup(nullptr, board.data()), -1);
    qeltest::StderrCapture capture;
    EXPECT_EQ(QELipc_PackTriangularMesh(nullptr, board.data()), -1);
    EXPECT_EQ(capture.stop(), "NULL??\n");
    EXPECT_EQ(board, std::vector<unsigned char>(64, 0xCD));

    // A mesh whose counts exceed its capacities cannot travel, nor can its group.
    QelTriangularMesh* bad = QEL_NewTriangularMesh(1, 1);
    bad->nVertices = 2;
    EXPECT_EQ(QELipc_SizeOfTriangularMesh(bad), -1);
    EXPECT_EQ(QELipc_PackTriangularMesh(bad, board.data()), -1);
    GroupPtr g(QEL_NewDataObjectGroup(1));
    QEL_AddDataObjectToGroup(bad, 71, nullptr, g.get());
    EXPECT_EQ(QELipc_SizeOfDataObjectGroup(g.get()), -1);
    EXPECT_EQ(QELipc_PackDataObjectGroup(g.get(), board.data()), -1);
    EXPECT_EQ(board, std::vector<unsigned char>(64, 0xCD));
    bad->nVertices = 1;

    // A payload beyond 32 bits is refused rather than wrapped.
    QelTriangularMesh* huge = QEL_NewTriangularMesh(0, 0);
    huge->triangleCapacity = huge->nTriangles = 200000000;
    EXPECT_EQ(QELipc_SizeOfTriangularMesh(huge), -1);
    huge->triangleCapacity = huge->nTriangles = 0;
    QEL_DeleteTriangularMesh(huge);
    QelPointSet* set = QEL_NewPointSet(1);
    set->count = -1;
    EXPECT_EQ(QELipc_SizeOfPointSet(set), -1);
    set->count = 2;  // beyond its capacity
    EXPECT_EQ(QELipc_SizeOfPointSet(set), -1);
    QEL_DeletePointSet(set);
}

TEST(GroupBoard, HostileHeadersAreRefusedInsideTheBoard) {
    const int32_t big = std::numeric_limits<int32_t>::max();
    auto expect_null = [](const Bytes& b) {
        ExactBoard board(b.b);
        EXPECT_EQ(QELipc_UnpackDataObjectGroup(board.data(), board.size()), nullptr);
    };
    expect_null(Bytes().i32(big));
    expect_null(Bytes().i32(-1));
    expect_null(Bytes().i32(2).i32(11).i32(11).i32(1).i32(1));  // header cut short
    ExactBoard tiny(Bytes().i32(0).b, 3);
    EXPECT_EQ(QELipc_UnpackDataObjectGroup(tiny.data(), tiny.size()), nullptr);
    EXPECT_EQ(QELipc_UnpackDataObjectGroup(nullptr, 100), nullptr);

    // A member whose counts do not fit the board comes back NULL, as does everything
    // behind it, while the members before it stay whole.
    auto header = [](std::initializer_list<int> kinds) {
        Bytes b;
        b.i32(static_cast<int32_t>(kinds.size()));
        for (int k : kinds) b.i32(k);
        for (size_t i = 0; i < kinds.size(); ++i) b.i32(1);
        for (size_t i = 0; i < kinds.size(); ++i) b.f32(1).f32(1).f32(1).f32(1);
        return b;
    };
    Bytes sphere;
    sphere.point(1, 2, 3).f32(4).i32(8).i32(142);
    const std::vector<Bytes> hostileBodies = {
        Bytes().i32(big),                         // point list
        Bytes().i32(-3),                          // point list
        Bytes().i32(0x0AAAAAAB),                  // pair list: 24n + 4 past 2^32
        Bytes().u8(1).i32(big),                   // point set with colours
        Bytes().u8(0).i32(-1),                    // valued point set
        Bytes().u8(1).i32(1).i32(big),            // mesh: huge vertex count
        Bytes().u8(0).i32(-1).i32(0),             // mesh: negative triangle count
        Bytes().u8(1),                            // mesh: counts cut off
    };
    const int kinds[] = {21, 21, 31, 61, 62, 71, 71, 71};
    for (size_t h = 0; h < hostileBodies.size(); ++h) {
        Bytes b = header({11, kinds[h], 11});
        b.append(sphere).append(hostileBodies[h]).append(sphere);
        ExactBoard board(b.b);
        GroupPtr g(QELipc_UnpackDataObjectGroup(board.data(), board.size()));
        ASSERT_TRUE(g) << h;
        ASSERT_EQ(g->count, 3);
        ASSERT_NE(g->objects[0], nullptr);
        EXPECT_EQ(static_cast<QelSphere*>(g->objects[0])->radius, 4.0f);
        EXPECT_EQ(g->objects[1], nullptr) << h;
        EXPECT_EQ(g->objects[2], nullptr) << h;
        EXPECT_EQ(g->types[2], 11);
    }

    // Per-kind unpackers refuse the same bodies.
    ExactBoard list(Bytes().i32(big).b);
    EXPECT_EQ(QELipc_UnpackPointList(list.data(), list.size()), nullptr);
    ExactBoard mesh(Bytes().u8(0).i32(1).i32(1).b);
    EXPECT_EQ(QELipc_UnpackTriangularMesh(mesh.data(), mesh.size()), nullptr);
    ExactBoard set(Bytes().u8(1).i32(1).point(0, 0, 0).b);  // colours promised, missing
    EXPECT_EQ(QELipc_UnpackPointSet(set.data(), set.size()), nullptr);
}

TEST(GroupBoard, DeepNestingDoesNotExhaustTheStack) {
    // 100000 groups, each the single member of the one before.
    Bytes b;
    for (int i = 0; i < 100000; ++i) b.i32(1).i32(99).i32(1).f32(1).f32(1).f32(1).f32(1);
    b.i32(0);
    GroupPtr g = unpack_exact(b.b);
    ASSERT_TRUE(g);
    // The group is returned; below some depth the nesting is cut off as unreadable.
    int depth = 0;
    for (QelDataObjectGroup* q = g.get(); q && q->count == 1; ++depth)
        q = static_cast<QelDataObjectGroup*>(q->objects[0]);
    EXPECT_GE(depth, 8);
    EXPECT_LT(depth, 100000);
}

TEST(GroupBoard, EveryTruncationAndRandomDamageStaysInsideTheBoard) {
    GroupPtr g(every_returning_kind());
    std::vector<unsigned char> bytes = pack(g.get());
    ASSERT_FALSE(bytes.empty());
    // Every cut: the members whose bodies lie wholly before the cut come back whole.
    for (size_t len = 0; len <= bytes.size(); ++len) {
        GroupPtr back = unpack_exact(bytes, len);
        if (len < 4 + 24 * size_t(g->count)) {
            EXPECT_FALSE(back) << len;
            continue;
        }
        ASSERT_TRUE(back) << len;
        size_t end = 4 + 24 * size_t(g->count);
        for (int i = 0; i < g->count; ++i) {
            end += size_t(member_size(g->objects[i], g->types[i]));
            if (end <= len) {
                expect_same_member(back->objects[i], g->objects[i], g->types[i]);
            } else if (g->types[i] != 99) {  // a cut nested group may come back in part
                EXPECT_EQ(back->objects[i], nullptr) << "member " << i << " cut at " << len;
            }
        }
    }
    // Random damage: whatever comes back is deleted cleanly and nothing is read outside.
    std::mt19937 rng(2024);
    std::uniform_int_distribution<size_t> where(0, bytes.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<unsigned char> damaged = bytes;
        int hits = 1 + trial % 4;
        for (int h = 0; h < hits; ++h) damaged[where(rng)] = static_cast<unsigned char>(value(rng));
        GroupPtr back = unpack_exact(damaged);
        (void)back;
    }
}

TEST(GroupBoard, ABoardRewrittenDuringTheUnpackIsReadOnce) {
    // A hostile host keeps rewriting the board while the client unpacks it from the shared
    // mapping: the colour flags and counts of point sets, valued point sets and meshes flip
    // between what the board holds and far more. Whatever the unpacker sees, it must build
    // from the words it checked, so the group it returns never holds more than the board.
    const int kinds[] = {61, 62, 71, 61, 62, 71};
    const int n = 6;
    Bytes b;
    b.i32(n);
    for (int k : kinds) b.i32(k);
    for (int i = 0; i < n; ++i) b.i32(0);
    for (int i = 0; i < n; ++i) b.f32(1).f32(1).f32(1).f32(1);
    std::vector<size_t> flags, counts;  // offsets of each body's flag byte and largest count
    for (int k : kinds) {
        flags.push_back(b.size());
        counts.push_back(b.size() + (k == 71 ? 5 : 1));
        if (k == 61) b.u8(0).i32(2).point(1, 2, 3).point(4, 5, 6);
        if (k == 62) b.u8(0).i32(1).point(1, 2, 3).i32(7).i32(8).i32(142);
        if (k == 71) b.u8(0).i32(0).i32(1).point(1, 2, 3).point(0, 0, 1);
    }
    ExactBoard board(b.b);
    unsigned char* mapped = board.data();

    std::atomic<bool> stop{false};
    std::thread host([&] {
        for (unsigned round = 0; !stop.load(std::memory_order_relaxed); ++round) {
            const bool wild = round % 2 != 0;
            for (size_t i = 0; i < flags.size(); ++i) {
                __atomic_store_n(mapped + flags[i], static_cast<unsigned char>(wild), __ATOMIC_RELAXED);
                // 2 or 1 entries as packed, or 40000 (hundreds of kilobytes past the board).
                const unsigned char low = wild ? 0x40 : (kinds[i] == 61 ? 2 : 1);
                __atomic_store_n(mapped + counts[i], low, __ATOMIC_RELAXED);
                __atomic_store_n(mapped + counts[i] + 1, static_cast<unsigned char>(wild ? 0x9C : 0),
                                 __ATOMIC_RELAXED);
            }
        }
    });
    // Bounded: enough rounds to meet the rewrites many times over, and a time limit on a slow
    // machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int unpacked = 0;
    for (; unpacked < 20000 && std::chrono::steady_clock::now() < deadline; ++unpacked) {
        GroupPtr g(QELipc_UnpackDataObjectGroup(board.data(), board.size()));
        ASSERT_TRUE(g);
        ASSERT_EQ(g->count, n);
        const int size = QELipc_SizeOfDataObjectGroup(g.get());
        ASSERT_GE(size, 4 + 24 * n);
        ASSERT_LE(static_cast<size_t>(size), board.size()) << "after " << unpacked << " unpacks";
    }
    stop = true;
    host.join();
    EXPECT_GT(unpacked, 0);
}
