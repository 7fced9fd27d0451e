#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "objects/qel_data_objects.h"

namespace {

void expect_point(const QelPoint3f* p, float x, float y, float z) {
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->x, x);
    EXPECT_EQ(p->y, y);
    EXPECT_EQ(p->z, z);
}

QelSphere* sphere_at(float x, float y, float z, float r) {
    QelPoint3f c{x, y, z};
    return QEL_NewSphere(&c, r);
}

}  // namespace

TEST(DataObjectGroup, CapacityAndAppend) {
    QelDataObjectGroup* g = QEL_NewDataObjectGroup(2);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->count, 0);
    EXPECT_EQ(g->capacity, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(g->objects[i], nullptr);
        EXPECT_EQ(g->types[i], 0);
        EXPECT_EQ(g->flags[i], 1);
        EXPECT_EQ(g->colours[i], nullptr);
    }
    QelSphere* a = QEL_NewSphere(nullptr, 1.0f);
    QelSphere* b = QEL_NewSphere(nullptr, 2.0f);
    QelSphere* c = QEL_NewSphere(nullptr, 3.0f);
    QelColor* red = QEL_NewColor(1, 0, 0, 1);
    g->flags[0] = 77;
    EXPECT_EQ(QEL_AddDataObjectToGroup(a, QEL_DATA_OBJECT_TYPE_SPHERE, nullptr, g), 0);
    EXPECT_EQ(QEL_AddDataObjectToGroup(b, QEL_DATA_OBJECT_TYPE_SPHERE, red, g), 0);
    EXPECT_EQ(QEL_AddDataObjectToGroup(c, QEL_DATA_OBJECT_TYPE_SPHERE, red, g), -1);
    EXPECT_EQ(g->count, 2);
    EXPECT_EQ(g->objects[0], a);
    EXPECT_EQ(g->flags[0], 1);
    EXPECT_EQ(g->colours[0], nullptr);
    // The group holds its own copy of the colour.
    ASSERT_NE(g->colours[1], nullptr);
    EXPECT_NE(g->colours[1], red);
    red->g = 0.5f;
    QEL_DeleteColor(red);
    EXPECT_EQ(g->colours[1]->r, 1.0f);
    EXPECT_EQ(g->colours[1]->g, 0.0f);

    // A count set beyond the capacity by hand is pulled back by the next append.
    g->count = 5;
    EXPECT_EQ(QEL_AddDataObjectToGroup(c, QEL_DATA_OBJECT_TYPE_SPHERE, nullptr, g), -1);
    EXPECT_EQ(g->count, 2);
    QEL_DeleteSphere(c);
    QEL_DeleteDataObjectGroup(g);

    EXPECT_EQ(QEL_NewDataObjectGroup(-1), nullptr);
    QelDataObjectGroup* none = QEL_NewDataObjectGroup(0);
    ASSERT_NE(none, nullptr);
    QelSphere* d = QEL_NewSphere(nullptr, 1.0f);
    EXPECT_EQ(QEL_AddDataObjectToGroup(d, QEL_DATA_OBJECT_TYPE_SPHERE, nullptr, none), -1);
    QEL_DeleteSphere(d);
    QEL_DeleteDataObjectGroup(none);
    QEL_DeleteDataObjectGroup(nullptr);
    EXPECT_EQ(QEL_AddDataObjectToGroup(nullptr, 11, nullptr, nullptr), -1);
}

// Leaks in the deletes below are reported by the leak detector of the sanitizer build.
TEST(DataObjectGroup, DeletesNestedGroupsAndEveryKind) {
    QelDataObjectGroup* inner = QEL_NewDataObjectGroup(1);
    QelDataObjectGroup* middle = QEL_NewDataObjectGroup(1);
    QelDataObjectGroup* outer = QEL_NewDataObjectGroup(20);
    QelColor grey{0.5f, 0.5f, 0.5f, 1};
    ASSERT_EQ(QEL_AddDataObjectToGroup(sphere_at(1, 2, 3, 4), 11, &grey, inner), 0);
    ASSERT_EQ(QEL_AddDataObjectToGroup(inner, 99, &grey, middle), 0);
    ASSERT_EQ(QEL_AddDataObjectToGroup(middle, 99, nullptr, outer), 0);

    QelPoint3f p{1, 2, 3};
    QelValuedPointSet* vset = QEL_NewValuedPointSet(5);
    ASSERT_EQ(QEL_AllocValuedPointSetColors(vset), 0);
    vset->count = 5;
    QelPointSet* set = QEL_NewPointSet(3);
    ASSERT_EQ(QEL_AllocPointSetColors(set), 0);
    QelPointPairList* pairs = QEL_NewPointPairList(4);
    pairs->a[0] = QEL_NewPoint3f(0, 0, 0);
    pairs->b[0] = QEL_NewPoint3f(1, 1, 1);
    pairs->count = 1;
    QelTriangularMesh* mesh = QEL_NewTriangularMesh(2, 3);
    ASSERT_EQ(QEL_AllocTriangularMeshColors(mesh), 0);
    mesh->nTriangles = 1;
    mesh->nVertices = 3;
    mesh->triangles[0][0] = 0;
    mesh->triangles[0][1] = 1;
    mesh->triangles[0][2] = 2;
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 3; ++k) mesh->vertices[v][k] = static_cast<float>(v == k);
    ASSERT_EQ(QEL_ComputeTriangleNormals(mesh), 0);
    ASSERT_EQ(QEL_ComputeTriangleNeighbours(mesh), 0);

    struct Member {
        void* object;
        int kind;
    } members[] = {
        {QEL_NewDataObject12(&p, &p, &p, &p, 1, 2, 3), 12},
        {QEL_NewCone(&p, &p, 1, 2), 13},
        {QEL_NewDataObject14(&p, &p, 1, 2, 3, 4, &p, &p, &p, &p), 14},
        {QEL_NewDataObject15(&p, &p, &p), 15},
        {QEL_NewDataObject16(&p, &p, &p, &p), 16},
        {QEL_NewDataObject17(&p, &p, &p, &p, 4, 5, 6), 17},
        {QEL_NewDataObject18(&p, &p, 7, 8), 18},
        {QEL_NewPointList(6), 21},
        {QEL_NewDataObject22(5), 22},
        {QEL_NewDataObject25(3, 2), 25},
        {pairs, 31},
        {set, 61},
        {vset, 62},
        {mesh, 71},
    };
    for (const Member& m : members) {
        ASSERT_NE(m.object, nullptr) << "kind " << m.kind;
        ASSERT_EQ(QEL_AddDataObjectToGroup(m.object, m.kind, &grey, outer), 0);
    }
    // NULL members, with and without colours, are skipped.
    ASSERT_EQ(QEL_AddDataObjectToGroup(nullptr, 71, &grey, outer), 0);
    ASSERT_EQ(QEL_AddDataObjectToGroup(nullptr, 11, nullptr, outer), 0);
    // A foreign kind is not freed by the group (its colour is): the caller frees it.
    void* foreign = std::malloc(16);
    ASSERT_EQ(QEL_AddDataObjectToGroup(foreign, 1234, &grey, outer), 0);
    QEL_DeleteDataObjectGroup(outer);
    std::free(foreign);
}

TEST(DataObjects, SphereAndFixedKindsOwnTheirPoints) {
    QelSphere* s = QEL_NewSphere(nullptr, 2.5f);
    ASSERT_NE(s, nullptr);
    expect_point(s->centre, 0, 0, 0);
    EXPECT_EQ(s->radius, 2.5f);
    EXPECT_EQ(s->tail8, 8);
    EXPECT_EQ(s->tail142, 142);
    QEL_DeleteSphere(s);

    QelPoint3f a{1, 2, 3}, b{4, 5, 6}, c{7, 8, 9}, d{-1, -2, -3};
    QelDataObject12* o12 = QEL_NewDataObject12(&a, &b, &c, &d, -1, 0x7fffffff, 5);
    ASSERT_NE(o12, nullptr);
    EXPECT_NE(o12->points[0], &a);
    a.x = 100;
    expect_point(o12->points[0], 1, 2, 3);
    expect_point(o12->points[3], -1, -2, -3);
    EXPECT_EQ(o12->words[0], -1);
    EXPECT_EQ(o12->words[1], 0x7fffffff);
    EXPECT_EQ(o12->words[2], 5);
    EXPECT_EQ(o12->tail8, 8);
    EXPECT_EQ(o12->tail142, 142);
    QEL_DeleteDataObject12(o12);

    QelDataObject14* o14 = QEL_NewDataObject14(&a, &b, 1, 2, 3, 4, &c, &d, &a, &b);
    ASSERT_NE(o14, nullptr);
    expect_point(o14->points[1], 4, 5, 6);
    expect_point(o14->morePoints[1], -1, -2, -3);
    EXPECT_EQ(o14->words[3], 4);
    QEL_DeleteDataObject14(o14);

    QelDataObject15* o15 = QEL_NewDataObject15(&a, &b, &c);
    ASSERT_NE(o15, nullptr);
    EXPECT_EQ(o15->tail142, 142);
    QEL_DeleteDataObject15(o15);
    QelDataObject16* o16 = QEL_NewDataObject16(&a, &b, &c, &d);
    ASSERT_NE(o16, nullptr);
    expect_point(o16->points[2], 7, 8, 9);
    EXPECT_EQ(o16->tail142, 142);
    QEL_DeleteDataObject16(o16);
    QelDataObject18* o18 = QEL_NewDataObject18(&a, &b, 9, 10);
    ASSERT_NE(o18, nullptr);
    EXPECT_EQ(o18->words[1], 10);
    EXPECT_EQ(o18->tail8, 8);
    QEL_DeleteDataObject18(o18);

    // Point arguments other than the sphere's centre are required.
    EXPECT_EQ(QEL_NewCone(&a, nullptr, 1, 1), nullptr);
    EXPECT_EQ(QEL_NewDataObject16(&a, &b, nullptr, &d), nullptr);
    QEL_DeleteCone(nullptr);
    QEL_DeleteDataObject12(nullptr);
    QEL_DeleteDataObject14(nullptr);
}

TEST(DataObjects, ConeBetweenSpheres) {
    QelSphere* s1 = sphere_at(0, 0, 0, 1);
    QelSphere* s2 = sphere_at(4, 0, 0, 1);
    QelCone* c = QEL_NewConeBetweenSpheres(s1, s2);
    ASSERT_NE(c, nullptr);
    expect_point(c->centre1, 0, 0, 0);
    expect_point(c->centre2, 4, 0, 0);
    EXPECT_EQ(c->radius1, 1.0f);
    EXPECT_EQ(c->radius2, 1.0f);
    EXPECT_EQ(c->tail8, 8);
    EXPECT_EQ(c->tail142, 142);
    QEL_DeleteCone(c);
    QEL_DeleteSphere(s1);
    QEL_DeleteSphere(s2);

    s1 = sphere_at(0, 0, 0, 2);
    s2 = sphere_at(4, 0, 0, 1);
    c = QEL_NewConeBetweenSpheres(s1, s2);
    ASSERT_NE(c, nullptr);
    expect_point(c->centre1, 0.5f, 0, 0);
    expect_point(c->centre2, 4.25f, 0, 0);
    EXPECT_FLOAT_EQ(c->radius1, std::sqrt(3.75f));
    EXPECT_FLOAT_EQ(c->radius2, std::sqrt(0.9375f));
    QEL_DeleteCone(c);

    // Off-axis: the end circles are the tangency circles, so each lies on its sphere and
    // the cone's side line touches both spheres at the same slope (reference in double).
    QelSphere* t1 = sphere_at(1, -2, 3, 1.5f);
    QelSphere* t2 = sphere_at(-2, 2, 5, 0.5f);
    c = QEL_NewConeBetweenSpheres(t1, t2);
    ASSERT_NE(c, nullptr);
    double dx = -3, dy = 4, dz = 2, d = std::sqrt(dx * dx + dy * dy + dz * dz);
    double k1 = 1.5 * (1.5 - 0.5) / d, k2 = 0.5 * (1.5 - 0.5) / d;
    EXPECT_NEAR(c->centre1->x, 1 + k1 * dx / d, 1e-5);
    EXPECT_NEAR(c->centre2->z, 5 + k2 * dz / d, 1e-5);
    EXPECT_NEAR(c->radius1, std::sqrt(1.5 * 1.5 - k1 * k1), 1e-5);
    EXPECT_NEAR(c->radius2, std::sqrt(0.5 * 0.5 - k2 * k2), 1e-5);
    QEL_DeleteCone(c);
    QEL_DeleteSphere(t1);
    QEL_DeleteSphere(t2);

    // Same centre, and one sphere inside the other: no tangent cone.
    QelSphere* same = sphere_at(0, 0, 0, 1);
    EXPECT_EQ(QEL_NewConeBetweenSpheres(s1, same), nullptr);
    QelSphere* inside = sphere_at(0.5f, 0, 0, 0.5f);
    EXPECT_EQ(QEL_NewConeBetweenSpheres(s1, inside), nullptr);
    EXPECT_EQ(QEL_NewConeBetweenSpheres(s1, nullptr), nullptr);
    QEL_DeleteSphere(same);
    QEL_DeleteSphere(inside);
    QEL_DeleteSphere(s1);
    QEL_DeleteSphere(s2);
}

TEST(DataObjects, ListDefaults) {
    QelPointList* list = QEL_NewPointList(3);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->n, 3);
    for (int i = 0; i < 3; ++i) expect_point(list->points[i], 0, 0, 0);
    expect_point(list->extent->origin, 0, 0, 0);
    EXPECT_EQ(list->extent->size->x, 1.0f);
    EXPECT_EQ(list->extent->size->z, 1.0f);
    EXPECT_EQ(list->tail142, 142);
    QEL_DeletePointList(list);
    QelPointList* none = QEL_NewPointList(0);
    ASSERT_NE(none, nullptr);
    QEL_DeletePointList(none);
    EXPECT_EQ(QEL_NewPointList(-1), nullptr);

    QelPairList* pl = QEL_NewPairList(2);
    ASSERT_NE(pl, nullptr);
    EXPECT_EQ(pl->points[1]->x, 0.0f);
    EXPECT_EQ(pl->rect->size->width, 1.0f);
    EXPECT_EQ(pl->rect->origin->y, 0.0f);
    EXPECT_EQ(pl->tail142, 142);
    QEL_DeletePairList(pl);

    EXPECT_EQ(QEL_NewDataObject22(2), nullptr);
    QelDataObject22* o22 = QEL_NewDataObject22(3);
    ASSERT_NE(o22, nullptr);
    EXPECT_EQ(o22->pointList->n, 3);
    EXPECT_EQ(o22->pairList->n, 3);
    EXPECT_EQ(o22->point, nullptr);
    expect_point(o22->axisU, 1, 0, 0);
    expect_point(o22->axisV, 0, 1, 0);
    EXPECT_EQ(o22->word1, 0);
    EXPECT_EQ(o22->size->width, 2);
    EXPECT_EQ(o22->size->height, 2);
    EXPECT_EQ(o22->tail142, 142);
    o22->point = QEL_NewPoint3f(5, 5, 5);  // a filled third point is freed too
    QEL_DeleteDataObject22(o22);

    EXPECT_EQ(QEL_NewDataObject25(2, 1), nullptr);
    EXPECT_EQ(QEL_NewDataObject25(3, 0), nullptr);
    QelDataObject25* o25 = QEL_NewDataObject25(4, 2);
    ASSERT_NE(o25, nullptr);
    EXPECT_EQ(o25->m, 2);
    EXPECT_EQ(o25->lists1[1]->n, 4);
    EXPECT_EQ(o25->lists2[0]->n, 4);
    expect_point(o25->points[0], 0, 0, 0);
    expect_point(o25->points[3], 0, 0, 1);
    EXPECT_EQ(o25->size->nz, 2);
    EXPECT_EQ(o25->tail142, 142);
    QEL_DeleteDataObject25(o25);

    QelPointPairList* pairs = QEL_NewPointPairList(3);
    ASSERT_NE(pairs, nullptr);
    EXPECT_EQ(pairs->count, 0);
    EXPECT_EQ(pairs->a[2], nullptr);
    QEL_DeletePointPairList(pairs);
    EXPECT_EQ(QEL_NewPointPairList(-2), nullptr);
}

TEST(DataObjects, PointSetsMakeColoursOnDemand) {
    QelPointSet* s = QEL_NewPointSet(4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->count, 0);
    EXPECT_EQ(s->capacity, 4);
    EXPECT_EQ(s->rgba, nullptr);
    ASSERT_EQ(QEL_AllocPointSetColors(s), 0);
    ASSERT_NE(s->rgba, nullptr);
    s->rgba[3][3] = 1.0f;
    ASSERT_EQ(QEL_AllocPointSetColors(s), 0);  // kept, not leaked
    EXPECT_EQ(s->rgba[3][3], 1.0f);
    QEL_DeletePointSet(s);

    QelValuedPointSet* v = QEL_NewValuedPointSet(2);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->tail8, 8);
    EXPECT_EQ(v->tail142, 142);
    EXPECT_EQ(v->rgba, nullptr);
    ASSERT_EQ(QEL_AllocValuedPointSetColors(v), 0);
    QEL_DeleteValuedPointSet(v);
    EXPECT_EQ(QEL_NewPointSet(-1), nullptr);
    EXPECT_EQ(QEL_NewValuedPointSet(-1), nullptr);
    EXPECT_EQ(QEL_AllocPointSetColors(nullptr), -1);
    QEL_DeletePointSet(nullptr);
    QEL_DeleteValuedPointSet(nullptr);
}
