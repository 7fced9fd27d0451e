#include "objects/qel_data_objects.h"

#include <cmath>
#include <cstdlib>

#include "objects/qel_object_alloc.hpp"

namespace {

// Every point a record holds is its own copy; a missing argument fails the constructor.
QelPoint3f* own_point(const QelPoint3f* p) { return p ? QEL_NewPoint3f(p->x, p->y, p->z) : nullptr; }

template <class T>
T* new_record() {
    return static_cast<T*>(std::calloc(1, sizeof(T)));
}

bool all_made(QelPoint3f* const* points, int n) {
    for (int i = 0; i < n; ++i)
        if (!points[i]) return false;
    return true;
}

void delete_points(QelPoint3f** points, int n) {
    for (int i = 0; i < n; ++i) QEL_DeletePoint3f(points[i]);
}

}  // namespace

// ---------------------------------------------------------------- fixed-size kinds

QelSphere* QEL_NewSphere(const QelPoint3f* centre, float radius) {
    auto* s = new_record<QelSphere>();
    if (!s) return nullptr;
    s->centre = centre ? own_point(centre) : QEL_NewPoint3f(0.0f, 0.0f, 0.0f);
    s->radius = radius;
    s->tail8 = 8;
    s->tail142 = 142;
    if (!s->centre) {
        QEL_DeleteSphere(s);
        return nullptr;
    }
    return s;
}

void QEL_DeleteSphere(QelSphere* s) {
    if (!s) return;
    QEL_DeletePoint3f(s->centre);
    std::free(s);
}

QelDataObject12* QEL_NewDataObject12(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3, const QelPoint3f* p4, int w1, int w2,
                                     int w3) {
    auto* o = new_record<QelDataObject12>();
    if (!o) return nullptr;
    const QelPoint3f* given[4] = {p1, p2, p3, p4};
    for (int i = 0; i < 4; ++i) o->points[i] = own_point(given[i]);
    o->words[0] = w1;
    o->words[1] = w2;
    o->words[2] = w3;
    o->tail8 = 8;
    o->tail142 = 142;
    if (!all_made(o->points, 4)) {
        QEL_DeleteDataObject12(o);
        return nullptr;
    }
    return o;
}

void QEL_DeleteDataObject12(QelDataObject12* o) {
    if (!o) return;
    delete_points(o->points, 4);
    std::free(o);
}

QelDataObject17* QEL_NewDataObject17(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3, const QelPoint3f* p4, int w1, int w2,
                                     int w3) {
    return QEL_NewDataObject12(p1, p2, p3, p4, w1, w2, w3);
}

void QEL_DeleteDataObject17(QelDataObject17* o) { QEL_DeleteDataObject12(o); }

QelCone* QEL_NewCone(const QelPoint3f* centre1, const QelPoint3f* centre2, float radius1,
                     float radius2) {
    auto* c = new_record<QelCone>();
    if (!c) return nullptr;
    c->centre1 = own_point(centre1);
    c->centre2 = own_point(centre2);
    c->radius1 = radius1;
    c->radius2 = radius2;
    c->tail8 = 8;
    c->tail142 = 142;
    if (!c->centre1 || !c->centre2) {
        QEL_DeleteCone(c);
        return nullptr;
    }
    return c;
}

QelCone* QEL_NewConeBetweenSpheres(const QelSphere* sphere1, const QelSphere* sphere2) {
    if (!sphere1 || !sphere2 || !sphere1->centre || !sphere2->centre) return nullptr;
    const QelPoint3f c1 = *sphere1->centre;
    const QelPoint3f c2 = *sphere2->centre;
    const float r1 = sphere1->radius;
    const float r2 = sphere2->radius;
    QelPoint3f diff{c2.x - c1.x, c2.y - c1.y, c2.z - c1.z};
    const float d = QEL_Norm3f(&diff);
    // A tangent cone exists only while neither sphere holds the other (this also refuses
    // coinciding centres and NaN input).
    if (!(std::fabs(r1 - r2) < d)) return nullptr;
    const QelPoint3f u{diff.x / d, diff.y / d, diff.z / d};
    const float t1 = r1 * (r1 - r2) / d;
    const float t2 = r2 * (r1 - r2) / d;
    const float q1 = r1 * r1 - t1 * t1;
    const float q2 = r2 * r2 - t2 * t2;
    if (!(q1 >= 0.0f) || !(q2 >= 0.0f)) return nullptr;
    QelPoint3f e1{c1.x + t1 * u.x, c1.y + t1 * u.y, c1.z + t1 * u.z};
    QelPoint3f e2{c2.x + t2 * u.x, c2.y + t2 * u.y, c2.z + t2 * u.z};
    return QEL_NewCone(&e1, &e2, std::sqrt(q1), std::sqrt(q2));
}

void QEL_DeleteCone(QelCone* c) {
    if (!c) return;
    QEL_DeletePoint3f(c->centre1);
    QEL_DeletePoint3f(c->centre2);
    std::free(c);
}

QelDataObject18* QEL_NewDataObject18(const QelPoint3f* p1, const QelPoint3f* p2, int w1, int w2) {
    auto* o = new_record<QelDataObject18>();
    if (!o) return nullptr;
    o->points[0] = own_point(p1);
    o->points[1] = own_point(p2);
    o->words[0] = w1;
    o->words[1] = w2;
    o->tail8 = 8;
    o->tail142 = 142;
    if (!all_made(o->points, 2)) {
        QEL_DeleteDataObject18(o);
        return nullptr;
    }
    return o;
}

void QEL_DeleteDataObject18(QelDataObject18* o) {
    if (!o) return;
    delete_points(o->points, 2);
    std::free(o);
}

QelDataObject14* QEL_NewDataObject14(const QelPoint3f* p1, const QelPoint3f* p2, int w1, int w2,
                                     int w3, int w4, const QelPoint3f* p3, const QelPoint3f* p4,
                                     const QelPoint3f* p5, const QelPoint3f* p6) {
    auto* o = new_record<QelDataObject14>();
    if (!o) return nullptr;
    o->points[0] = own_point(p1);
    o->points[1] = own_point(p2);
    o->words[0] = w1;
    o->words[1] = w2;
    o->words[2] = w3;
    o->words[3] = w4;
    const QelPoint3f* more[4] = {p3, p4, p5, p6};
    for (int i = 0; i < 4; ++i) o->morePoints[i] = own_point(more[i]);
    o->tail8 = 8;
    o->tail142 = 142;
    if (!all_made(o->points, 2) || !all_made(o->morePoints, 4)) {
        QEL_DeleteDataObject14(o);
        return nullptr;
    }
    return o;
}

void QEL_DeleteDataObject14(QelDataObject14* o) {
    if (!o) return;
    delete_points(o->points, 2);
    delete_points(o->morePoints, 4);
    std::free(o);
}

QelDataObject15* QEL_NewDataObject15(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3) {
    auto* o = new_record<QelDataObject15>();
    if (!o) return nullptr;
    const QelPoint3f* given[3] = {p1, p2, p3};
    for (int i = 0; i < 3; ++i) o->points[i] = own_point(given[i]);
    o->tail142 = 142;
    if (!all_made(o->points, 3)) {
        QEL_DeleteDataObject15(o);
        return nullptr;
    }
    return o;
}

void QEL_DeleteDataObject15(QelDataObject15* o) {
    if (!o) return;
    delete_points(o->points, 3);
    std::free(o);
}

QelDataObject16* QEL_NewDataObject16(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3, const QelPoint3f* p4) {
    auto* o = new_record<QelDataObject16>();
    if (!o) return nullptr;
    const QelPoint3f* given[4] = {p1, p2, p3, p4};
    for (int i = 0; i < 4; ++i) o->points[i] = own_point(given[i]);
    o->tail142 = 142;
    if (!all_made(o->points, 4)) {
        QEL_DeleteDataObject16(o);
        return nullptr;
    }
    return o;
}

void QEL_DeleteDataObject16(QelDataObject16* o) {
    if (!o) return;
    delete_points(o->points, 4);
    std::free(o);
}

// ---------------------------------------------------------------- lists

QelPointList* QEL_NewPointList(int n) {
    if (n < 0) return nullptr;
    auto* list = new_record<QelPointList>();
    if (!list) return nullptr;
    list->points = qel::alloc_array<QelPoint3f*>(n, true);
    list->extent = QEL_NewBox3f(nullptr, nullptr);
    list->tail142 = 142;
    if (!list->points || !list->extent) {
        QEL_DeletePointList(list);
        return nullptr;
    }
    for (; list->n < n; ++list->n) {
        list->points[list->n] = QEL_NewPoint3f(0.0f, 0.0f, 0.0f);
        if (!list->points[list->n]) {
            QEL_DeletePointList(list);
            return nullptr;
        }
    }
    return list;
}

void QEL_DeletePointList(QelPointList* list) {
    if (!list) return;
    if (list->points) delete_points(list->points, list->n);
    std::free(list->points);
    QEL_DeleteBox3f(list->extent);
    std::free(list);
}

QelPairList* QEL_NewPairList(int n) {
    if (n < 0) return nullptr;
    auto* list = new_record<QelPairList>();
    if (!list) return nullptr;
    list->points = qel::alloc_array<QelPoint2f*>(n, true);
    list->rect = QEL_NewRect2f(nullptr, nullptr);
    list->tail142 = 142;
    if (!list->points || !list->rect) {
        QEL_DeletePairList(list);
        return nullptr;
    }
    for (; list->n < n; ++list->n) {
        list->points[list->n] = QEL_NewPoint2f(0.0f, 0.0f);
        if (!list->points[list->n]) {
            QEL_DeletePairList(list);
            return nullptr;
        }
    }
    return list;
}

void QEL_DeletePairList(QelPairList* list) {
    if (!list) return;
    if (list->points)
        for (int i = 0; i < list->n; ++i) QEL_DeletePoint2f(list->points[i]);
    std::free(list->points);
    QEL_DeleteRect2f(list->rect);
    std::free(list);
}

QelDataObject22* QEL_NewDataObject22(int n) {
    if (n <= 2) return nullptr;
    auto* o = new_record<QelDataObject22>();
    if (!o) return nullptr;
    o->pointList = QEL_NewPointList(n);
    o->pairList = QEL_NewPairList(n);
    o->point = nullptr;
    o->axisU = QEL_NewPoint3f(1.0f, 0.0f, 0.0f);
    o->axisV = QEL_NewPoint3f(0.0f, 1.0f, 0.0f);
    o->word1 = 0;
    o->word2 = 0;
    o->size = QEL_NewSize2i(2, 2);
    o->tail142 = 142;
    if (!o->pointList || !o->pairList || !o->axisU || !o->axisV || !o->size) {
        QEL_DeleteDataObject22(o);
        return nullptr;
    }
    return o;
}

void QEL_DeleteDataObject22(QelDataObject22* o) {
    if (!o) return;
    QEL_DeletePointList(o->pointList);
    QEL_DeletePairList(o->pairList);
    QEL_DeletePoint3f(o->point);
    QEL_DeletePoint3f(o->axisU);
    QEL_DeletePoint3f(o->axisV);
    QEL_DeleteSize2i(o->size);
    std::free(o);
}

QelDataObject25* QEL_NewDataObject25(int n, int m) {
    if (n <= 2 || m <= 0) return nullptr;
    auto* o = new_record<QelDataObject25>();
    if (!o) return nullptr;
    o->m = m;
    o->lists1 = qel::alloc_array<QelPointList*>(m, true);
    o->lists2 = qel::alloc_array<QelPointList*>(m, true);
    o->points[0] = QEL_NewPoint3f(0.0f, 0.0f, 0.0f);
    o->points[1] = QEL_NewPoint3f(1.0f, 0.0f, 0.0f);
    o->points[2] = QEL_NewPoint3f(0.0f, 1.0f, 0.0f);
    o->points[3] = QEL_NewPoint3f(0.0f, 0.0f, 1.0f);
    o->word1 = 0;
    o->word2 = 0;
    o->size = QEL_NewSize3i(2, 2, 2);
    o->tail142 = 142;
    bool ok = o->lists1 && o->lists2 && all_made(o->points, 4) && o->size;
    for (int i = 0; ok && i < m; ++i) {
        o->lists1[i] = QEL_NewPointList(n);
        o->lists2[i] = QEL_NewPointList(n);
        ok = o->lists1[i] && o->lists2[i];
    }
    if (!ok) {
        QEL_DeleteDataObject25(o);
        return nullptr;
    }
    return o;
}

void QEL_DeleteDataObject25(QelDataObject25* o) {
    if (!o) return;
    for (int i = 0; i < o->m; ++i) {
        if (o->lists1) QEL_DeletePointList(o->lists1[i]);
        if (o->lists2) QEL_DeletePointList(o->lists2[i]);
    }
    std::free(o->lists1);
    std::free(o->lists2);
    delete_points(o->points, 4);
    QEL_DeleteSize3i(o->size);
    std::free(o);
}

QelPointPairList* QEL_NewPointPairList(int n) {
    if (n < 0) return nullptr;
    auto* list = new_record<QelPointPairList>();
    if (!list) return nullptr;
    list->a = qel::alloc_array<QelPoint3f*>(n, true);
    list->b = qel::alloc_array<QelPoint3f*>(n, true);
    if (!list->a || !list->b) {
        QEL_DeletePointPairList(list);
        return nullptr;
    }
    return list;
}

void QEL_DeletePointPairList(QelPointPairList* list) {
    if (!list) return;
    if (list->a) delete_points(list->a, list->count);
    if (list->b) delete_points(list->b, list->count);
    std::free(list->a);
    std::free(list->b);
    std::free(list);
}

// ---------------------------------------------------------------- point sets

QelPointSet* QEL_NewPointSet(int capacity) {
    if (capacity < 0) return nullptr;
    auto* set = new_record<QelPointSet>();
    if (!set) return nullptr;
    set->capacity = capacity;
    set->xyz = qel::alloc_array<float[3]>(capacity);
    if (!set->xyz) {
        QEL_DeletePointSet(set);
        return nullptr;
    }
    return set;
}

void QEL_DeletePointSet(QelPointSet* set) {
    if (!set) return;
    std::free(set->xyz);
    std::free(set->rgba);
    std::free(set);
}

int QEL_AllocPointSetColors(QelPointSet* set) {
    if (!set) return -1;
    if (set->rgba) return 0;  // already there: replacing it would only lose the old block
    set->rgba = qel::alloc_array<float[4]>(set->capacity);
    return set->rgba ? 0 : -1;
}

QelValuedPointSet* QEL_NewValuedPointSet(int capacity) {
    if (capacity < 0) return nullptr;
    auto* set = new_record<QelValuedPointSet>();
    if (!set) return nullptr;
    set->capacity = capacity;
    set->xyz = qel::alloc_array<float[3]>(capacity);
    set->values = qel::alloc_array<int>(capacity);
    set->tail8 = 8;
    set->tail142 = 142;
    if (!set->xyz || !set->values) {
        QEL_DeleteValuedPointSet(set);
        return nullptr;
    }
    return set;
}

void QEL_DeleteValuedPointSet(QelValuedPointSet* set) {
    if (!set) return;
    std::free(set->xyz);
    std::free(set->values);
    std::free(set->rgba);
    std::free(set);
}

int QEL_AllocValuedPointSetColors(QelValuedPointSet* set) {
    if (!set) return -1;
    if (set->rgba) return 0;
    set->rgba = qel::alloc_array<float[4]>(set->capacity);
    return set->rgba ? 0 : -1;
}

// ---------------------------------------------------------------- group

QelDataObjectGroup* QEL_NewDataObjectGroup(int capacity) {
    if (capacity < 0) return nullptr;
    auto* g = new_record<QelDataObjectGroup>();
    if (!g) return nullptr;
    g->capacity = capacity;
    g->objects = qel::alloc_array<void*>(capacity, true);
    g->types = qel::alloc_array<int>(capacity, true);
    g->flags = qel::alloc_array<int>(capacity);
    g->colours = qel::alloc_array<QelColor*>(capacity, true);
    if (!g->objects || !g->types || !g->flags || !g->colours) {
        QEL_DeleteDataObjectGroup(g);
        return nullptr;
    }
    for (int i = 0; i < capacity; ++i) g->flags[i] = 1;
    return g;
}

int QEL_AddDataObjectToGroup(void* object, int kind, const QelColor* colour,
                             QelDataObjectGroup* group) {
    if (!group) return -1;
    if (group->count >= group->capacity) {
        group->count = group->capacity;
        return -1;
    }
    int i = group->count;
    if (colour) {
        QelColor* own = QEL_CopyColor(colour);
        if (!own) return -1;
        QEL_DeleteColor(group->colours[i]);  // a slot filled by hand and dropped again
        group->colours[i] = own;
    }
    group->objects[i] = object;
    group->types[i] = kind;
    group->flags[i] = 1;
    group->count = i + 1;
    return 0;
}

namespace {

void delete_member(void* object, int kind) {
    switch (kind) {
        case QEL_DATA_OBJECT_TYPE_SPHERE: QEL_DeleteSphere(static_cast<QelSphere*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_12: QEL_DeleteDataObject12(static_cast<QelDataObject12*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_CONE: QEL_DeleteCone(static_cast<QelCone*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_14: QEL_DeleteDataObject14(static_cast<QelDataObject14*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_15: QEL_DeleteDataObject15(static_cast<QelDataObject15*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_16: QEL_DeleteDataObject16(static_cast<QelDataObject16*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_17: QEL_DeleteDataObject17(static_cast<QelDataObject17*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_18: QEL_DeleteDataObject18(static_cast<QelDataObject18*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_POINT_LIST: QEL_DeletePointList(static_cast<QelPointList*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_22: QEL_DeleteDataObject22(static_cast<QelDataObject22*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_25: QEL_DeleteDataObject25(static_cast<QelDataObject25*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST:
            QEL_DeletePointPairList(static_cast<QelPointPairList*>(object));
            break;
        case QEL_DATA_OBJECT_TYPE_POINT_SET: QEL_DeletePointSet(static_cast<QelPointSet*>(object)); break;
        case QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET:
            QEL_DeleteValuedPointSet(static_cast<QelValuedPointSet*>(object));
            break;
        case QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH:
            QEL_DeleteTriangularMesh(static_cast<QelTriangularMesh*>(object));
            break;
        case QEL_DATA_OBJECT_TYPE_GROUP:
            QEL_DeleteDataObjectGroup(static_cast<QelDataObjectGroup*>(object));
            break;
        default: break;  // the host's own kinds are not ours to free
    }
}

}  // namespace

void QEL_DeleteDataObjectGroup(QelDataObjectGroup* group) {
    if (!group) return;
    int n = group->count < group->capacity ? group->count : group->capacity;
    for (int i = 0; i < n; ++i) {
        if (group->objects && group->types && group->objects[i])
            delete_member(group->objects[i], group->types[i]);
        if (group->colours) QEL_DeleteColor(group->colours[i]);
    }
    std::free(group->objects);
    std::free(group->types);
    std::free(group->colours);
    std::free(group->flags);
    std::free(group);
}
