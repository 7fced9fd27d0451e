#include "ipc/qel_board_group.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "ipc/qel_board_bytes.hpp"
#include "objects/qel_object_alloc.hpp"
#include "volume/qel_channel_list.hpp"
#include "volume/qel_checked.hpp"

namespace {

using Byte = unsigned char;

// ---------------------------------------------------------------- raw board access
// Packers write through a cursor that moves past each word.

using qel::read_f32;
using qel::read_i32;

QelPoint3f read_point(const Byte* p) { return {read_f32(p), read_f32(p + 4), read_f32(p + 8)}; }

void put_i32(Byte*& p, int32_t v) {
    qel::write_i32(p, v);
    p += 4;
}

void put_f32(Byte*& p, float v) {
    qel::write_f32(p, v);
    p += 4;
}

void put_bytes(Byte*& p, const void* src, int64_t n) {
    qel::copy_bytes(p, src, n);
    p += n;
}

// A missing point record travels as the origin rather than crashing the sender.
void put_point(Byte*& p, const QelPoint3f* q) {
    put_f32(p, q ? q->x : 0.0f);
    put_f32(p, q ? q->y : 0.0f);
    put_f32(p, q ? q->z : 0.0f);
}

void put_points(Byte*& p, QelPoint3f* const* points, int n) {
    for (int i = 0; i < n; ++i) put_point(p, points ? points[i] : nullptr);
}

// Sizes are worked out in 64 bits; -1 marks a record that cannot travel.
constexpr int64_t kInvalid = -1;

int to_size_result(int64_t s) {
    return (s < 0 || s > std::numeric_limits<int32_t>::max()) ? -1 : static_cast<int>(s);
}

// ---------------------------------------------------------------- body sizes

constexpr int64_t kSphereBytes = 24;
constexpr int64_t k12Bytes = 68;
constexpr int64_t kConeBytes = 40;
constexpr int64_t k14Bytes = 96;
constexpr int64_t k15Bytes = 40;
constexpr int64_t k16Bytes = 52;
constexpr int64_t k18Bytes = 40;

int64_t point_list_bytes(int64_t n) { return n < 0 ? kInvalid : 12 * n + 32; }
int64_t pair_list_bytes(int64_t n) { return n < 0 ? kInvalid : 24 * n + 4; }
int64_t point_set_bytes(int64_t n, bool colours) {
    return n < 0 ? kInvalid : 5 + 12 * n + (colours ? 16 * n : 0);
}
int64_t valued_set_bytes(int64_t n, bool colours) {
    return n < 0 ? kInvalid : 13 + 16 * n + (colours ? 16 * n : 0);
}
int64_t mesh_bytes(int64_t nT, int64_t nV, bool colours) {
    return nT < 0 || nV < 0 ? kInvalid : 9 + 12 * nT + 24 * nV + (colours ? 16 * nV : 0);
}

int64_t size_of_point_list(const QelPointList* l) {
    if (!l) return 0;
    return point_list_bytes(l->n);
}
int64_t size_of_pair_list(const QelPointPairList* l) {
    if (!l) return 0;
    return pair_list_bytes(l->count);
}
int64_t size_of_point_set(const QelPointSet* s) {
    if (!s) return 0;
    if (s->count > s->capacity) return kInvalid;
    return point_set_bytes(s->count, s->rgba != nullptr);
}
int64_t size_of_valued_set(const QelValuedPointSet* s) {
    if (!s) return 0;
    if (s->count > s->capacity) return kInvalid;
    return valued_set_bytes(s->count, s->rgba != nullptr);
}
int64_t size_of_mesh(const QelTriangularMesh* m) {
    if (!m) return 0;
    if (m->nTriangles > m->triangleCapacity || m->nVertices > m->vertexCapacity) return kInvalid;
    return mesh_bytes(m->nTriangles, m->nVertices, m->colours != nullptr);
}

int64_t size_of_group(const QelDataObjectGroup* g);

// Body size of a member as its record gives it; kinds without a body give 0.
int64_t size_of_member(const void* o, int kind) {
    if (!o) return 0;
    switch (kind) {
        case QEL_DATA_OBJECT_TYPE_SPHERE: return kSphereBytes;
        case QEL_DATA_OBJECT_TYPE_12:
        case QEL_DATA_OBJECT_TYPE_17: return k12Bytes;
        case QEL_DATA_OBJECT_TYPE_CONE: return kConeBytes;
        case QEL_DATA_OBJECT_TYPE_14: return k14Bytes;
        case QEL_DATA_OBJECT_TYPE_15: return k15Bytes;
        case QEL_DATA_OBJECT_TYPE_16: return k16Bytes;
        case QEL_DATA_OBJECT_TYPE_18: return k18Bytes;
        case QEL_DATA_OBJECT_TYPE_POINT_LIST: return size_of_point_list(static_cast<const QelPointList*>(o));
        case QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST:
            return size_of_pair_list(static_cast<const QelPointPairList*>(o));
        case QEL_DATA_OBJECT_TYPE_POINT_SET: return size_of_point_set(static_cast<const QelPointSet*>(o));
        case QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET:
            return size_of_valued_set(static_cast<const QelValuedPointSet*>(o));
        case QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH:
            return size_of_mesh(static_cast<const QelTriangularMesh*>(o));
        case QEL_DATA_OBJECT_TYPE_GROUP: return size_of_group(static_cast<const QelDataObjectGroup*>(o));
        default: return 0;
    }
}

bool kind_has_body(int kind) {
    switch (kind) {
        case QEL_DATA_OBJECT_TYPE_SPHERE:
        case QEL_DATA_OBJECT_TYPE_12:
        case QEL_DATA_OBJECT_TYPE_CONE:
        case QEL_DATA_OBJECT_TYPE_14:
        case QEL_DATA_OBJECT_TYPE_15:
        case QEL_DATA_OBJECT_TYPE_16:
        case QEL_DATA_OBJECT_TYPE_17:
        case QEL_DATA_OBJECT_TYPE_18:
        case QEL_DATA_OBJECT_TYPE_POINT_LIST:
        case QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST:
        case QEL_DATA_OBJECT_TYPE_POINT_SET:
        case QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET:
        case QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH:
        case QEL_DATA_OBJECT_TYPE_GROUP: return true;
        default: return false;
    }
}

bool group_counts_ok(const QelDataObjectGroup* g) {
    return g->count >= 0 && g->count <= g->capacity &&
           (g->count == 0 || (g->objects && g->types && g->flags && g->colours));
}

int64_t size_of_group(const QelDataObjectGroup* g) {
    if (!g) return 0;
    if (!group_counts_ok(g)) return kInvalid;
    int64_t total = 4 + 24 * static_cast<int64_t>(g->count);
    for (int i = 0; i < g->count; ++i) {
        int64_t s = size_of_member(g->objects[i], g->types[i]);
        if (s < 0) return kInvalid;
        total += s;
        // Stop early: a nested total beyond 32 bits can never travel.
        if (total > std::numeric_limits<int32_t>::max()) return kInvalid;
    }
    return total;
}

// ---------------------------------------------------------------- packers
// Each writes one body at p, whose validity its size operation has confirmed.

void pack_sphere(const QelSphere* s, Byte* p) {
    put_point(p, s->centre);
    put_f32(p, s->radius);
    put_i32(p, s->tail8);
    put_i32(p, s->tail142);
}

void pack_12(const QelDataObject12* o, Byte* p) {
    put_points(p, o->points, 4);
    for (int w : o->words) put_i32(p, w);
    put_i32(p, o->tail8);
    put_i32(p, o->tail142);
}

void pack_cone(const QelCone* c, Byte* p) {
    put_point(p, c->centre1);
    put_point(p, c->centre2);
    put_f32(p, c->radius1);
    put_f32(p, c->radius2);
    put_i32(p, c->tail8);
    put_i32(p, c->tail142);
}

void pack_14(const QelDataObject14* o, Byte* p) {
    put_points(p, o->points, 2);
    for (int w : o->words) put_i32(p, w);
    put_points(p, o->morePoints, 4);
    put_i32(p, o->tail8);
    put_i32(p, o->tail142);
}

void pack_16(const QelDataObject16* o, Byte* p) {
    put_points(p, o->points, 4);
    put_i32(p, o->tail142);
}

void pack_18(const QelDataObject18* o, Byte* p) {
    put_points(p, o->points, 2);
    for (int w : o->words) put_i32(p, w);
    put_i32(p, o->tail8);
    put_i32(p, o->tail142);
}

void pack_point_list(const QelPointList* l, Byte* p) {
    put_i32(p, l->n);
    put_points(p, l->points, l->n);
    put_point(p, l->extent ? l->extent->origin : nullptr);
    const QelSize3f* s = l->extent ? l->extent->size : nullptr;
    put_f32(p, s ? s->x : 0.0f);
    put_f32(p, s ? s->y : 0.0f);
    put_f32(p, s ? s->z : 0.0f);
    put_i32(p, l->tail142);
}

void pack_pair_list(const QelPointPairList* l, Byte* p) {
    put_i32(p, l->count);
    put_points(p, l->a, l->count);
    put_points(p, l->b, l->count);
}

void pack_point_set(const QelPointSet* s, Byte* p) {
    *p++ = s->rgba ? 1 : 0;
    put_i32(p, s->count);
    put_bytes(p, s->xyz, 12 * static_cast<int64_t>(s->count));
    if (s->rgba) put_bytes(p, s->rgba, 16 * static_cast<int64_t>(s->count));
}

void pack_valued_set(const QelValuedPointSet* s, Byte* p) {
    *p++ = s->rgba ? 1 : 0;
    put_i32(p, s->count);
    put_bytes(p, s->xyz, 12 * static_cast<int64_t>(s->count));
    put_bytes(p, s->values, 4 * static_cast<int64_t>(s->count));
    if (s->rgba) put_bytes(p, s->rgba, 16 * static_cast<int64_t>(s->count));
    put_i32(p, s->tail8);
    put_i32(p, s->tail142);
}

void pack_mesh(const QelTriangularMesh* m, Byte* p) {
    *p++ = m->colours ? 1 : 0;
    put_i32(p, m->nTriangles);
    put_i32(p, m->nVertices);
    put_bytes(p, m->triangles, 12 * static_cast<int64_t>(m->nTriangles));
    put_bytes(p, m->vertices, 12 * static_cast<int64_t>(m->nVertices));
    put_bytes(p, m->vertexNormals, 12 * static_cast<int64_t>(m->nVertices));
    if (m->colours) put_bytes(p, m->colours, 16 * static_cast<int64_t>(m->nVertices));
}

void pack_group(const QelDataObjectGroup* g, Byte* p);

void pack_member(const void* o, int kind, Byte* p) {
    switch (kind) {
        case QEL_DATA_OBJECT_TYPE_SPHERE: pack_sphere(static_cast<const QelSphere*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_12:
        case QEL_DATA_OBJECT_TYPE_17: pack_12(static_cast<const QelDataObject12*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_CONE: pack_cone(static_cast<const QelCone*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_14: pack_14(static_cast<const QelDataObject14*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_16: pack_16(static_cast<const QelDataObject16*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_18: pack_18(static_cast<const QelDataObject18*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_POINT_LIST: pack_point_list(static_cast<const QelPointList*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST:
            pack_pair_list(static_cast<const QelPointPairList*>(o), p);
            break;
        case QEL_DATA_OBJECT_TYPE_POINT_SET: pack_point_set(static_cast<const QelPointSet*>(o), p); break;
        case QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET:
            pack_valued_set(static_cast<const QelValuedPointSet*>(o), p);
            break;
        case QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH:
            pack_mesh(static_cast<const QelTriangularMesh*>(o), p);
            break;
        case QEL_DATA_OBJECT_TYPE_GROUP: pack_group(static_cast<const QelDataObjectGroup*>(o), p); break;
        default: break;  // kind 15 reserves its bytes unwritten; other kinds have no body
    }
}

void pack_group(const QelDataObjectGroup* g, Byte* p) {
    const int n = g->count;
    put_i32(p, n);
    // A NULL member keeps its header entry but travels with a kind that has no body, so
    // that the receiver never reads the next member's body as its own.
    for (int i = 0; i < n; ++i)
        put_i32(p, !g->objects[i] && kind_has_body(g->types[i]) ? 0 : g->types[i]);
    for (int i = 0; i < n; ++i) put_i32(p, g->flags[i]);
    for (int i = 0; i < n; ++i) {
        const QelColor* c = g->colours[i];
        put_f32(p, c ? c->r : 1.0f);
        put_f32(p, c ? c->g : 1.0f);
        put_f32(p, c ? c->b : 1.0f);
        put_f32(p, c ? c->a : 1.0f);
    }
    for (int i = 0; i < n; ++i) {
        if (!g->objects[i]) continue;
        pack_member(g->objects[i], g->types[i], p);
        p += size_of_member(g->objects[i], g->types[i]);
    }
}

// ---------------------------------------------------------------- body heads on a board
// The unpacker may be working on the shared mapping itself, which the host can rewrite at
// any moment. So the words that size a body (its counts and colour flag) are read from the
// board once (qel_board_bytes.hpp), into a BodyHead; the extent is checked on those values
// and the record is built from the same values, never from a second look at the board.

int64_t fits(int64_t need, int64_t avail) { return need >= 0 && need <= avail ? need : kInvalid; }

struct BodyHead {
    int64_t span = kInvalid;  // bytes the body takes, or kInvalid: negative counts or too few bytes
    bool colours = false;     // kinds 61, 62, 71: the has-colours byte is 1
    int n = 0;                // kinds 21, 31, 61, 62: the count; kind 71: the triangle count
    int nV = 0;               // kind 71: the vertex count
};

BodyHead read_head(int kind, const Byte* p, int64_t avail) {
    BodyHead h;
    switch (kind) {
        case QEL_DATA_OBJECT_TYPE_SPHERE: h.span = fits(kSphereBytes, avail); break;
        case QEL_DATA_OBJECT_TYPE_12:
        case QEL_DATA_OBJECT_TYPE_17: h.span = fits(k12Bytes, avail); break;
        case QEL_DATA_OBJECT_TYPE_CONE: h.span = fits(kConeBytes, avail); break;
        case QEL_DATA_OBJECT_TYPE_14: h.span = fits(k14Bytes, avail); break;
        case QEL_DATA_OBJECT_TYPE_15: h.span = fits(k15Bytes, avail); break;
        case QEL_DATA_OBJECT_TYPE_16: h.span = fits(k16Bytes, avail); break;
        case QEL_DATA_OBJECT_TYPE_18: h.span = fits(k18Bytes, avail); break;
        case QEL_DATA_OBJECT_TYPE_POINT_LIST:
            if (avail < 4) break;
            h.n = read_i32(p);
            h.span = fits(point_list_bytes(h.n), avail);
            break;
        case QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST:
            if (avail < 4) break;
            h.n = read_i32(p);
            h.span = fits(pair_list_bytes(h.n), avail);
            break;
        case QEL_DATA_OBJECT_TYPE_POINT_SET:
            if (avail < 5) break;
            h.colours = qel::read_u8(p) == 1;
            h.n = read_i32(p + 1);
            h.span = fits(point_set_bytes(h.n, h.colours), avail);
            break;
        case QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET:
            if (avail < 5) break;
            h.colours = qel::read_u8(p) == 1;
            h.n = read_i32(p + 1);
            h.span = fits(valued_set_bytes(h.n, h.colours), avail);
            break;
        case QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH:
            if (avail < 9) break;
            h.colours = qel::read_u8(p) == 1;
            h.n = read_i32(p + 1);
            h.nV = read_i32(p + 5);
            h.span = fits(mesh_bytes(h.n, h.nV, h.colours), avail);
            break;
        default: h.span = 0;  // 22, 25 and foreign kinds carry no body
    }
    return h;
}

// ---------------------------------------------------------------- unpackers
// Each builds from a body whose head read_head has read and checked against the board; the
// variable-size kinds take their counts and flag from that head.

QelSphere* unpack_sphere(const Byte* p) {
    QelPoint3f c = read_point(p);
    QelSphere* s = QEL_NewSphere(&c, read_f32(p + 12));
    if (!s) return nullptr;
    s->tail8 = read_i32(p + 16);
    s->tail142 = read_i32(p + 20);
    return s;
}

QelDataObject12* unpack_12(const Byte* p) {
    QelPoint3f q[4];
    for (int i = 0; i < 4; ++i) q[i] = read_point(p + 12 * i);
    QelDataObject12* o = QEL_NewDataObject12(&q[0], &q[1], &q[2], &q[3], read_i32(p + 48),
                                             read_i32(p + 52), read_i32(p + 56));
    if (!o) return nullptr;
    o->tail8 = read_i32(p + 60);
    o->tail142 = read_i32(p + 64);
    return o;
}

QelCone* unpack_cone(const Byte* p) {
    QelPoint3f c1 = read_point(p), c2 = read_point(p + 12);
    QelCone* c = QEL_NewCone(&c1, &c2, read_f32(p + 24), read_f32(p + 28));
    if (!c) return nullptr;
    c->tail8 = read_i32(p + 32);
    c->tail142 = read_i32(p + 36);
    return c;
}

QelDataObject14* unpack_14(const Byte* p) {
    QelPoint3f a = read_point(p), b = read_point(p + 12);
    QelPoint3f q[4];
    for (int i = 0; i < 4; ++i) q[i] = read_point(p + 40 + 12 * i);
    QelDataObject14* o = QEL_NewDataObject14(&a, &b, read_i32(p + 24), read_i32(p + 28),
                                             read_i32(p + 32), read_i32(p + 36), &q[0], &q[1],
                                             &q[2], &q[3]);
    if (!o) return nullptr;
    o->tail8 = read_i32(p + 88);
    o->tail142 = read_i32(p + 92);
    return o;
}

QelDataObject16* unpack_16(const Byte* p) {
    QelPoint3f q[4];
    for (int i = 0; i < 4; ++i) q[i] = read_point(p + 12 * i);
    QelDataObject16* o = QEL_NewDataObject16(&q[0], &q[1], &q[2], &q[3]);
    if (!o) return nullptr;
    o->tail142 = read_i32(p + 48);
    return o;
}

QelDataObject18* unpack_18(const Byte* p) {
    QelPoint3f a = read_point(p), b = read_point(p + 12);
    QelDataObject18* o = QEL_NewDataObject18(&a, &b, read_i32(p + 24), read_i32(p + 28));
    if (!o) return nullptr;
    o->tail8 = read_i32(p + 32);
    o->tail142 = read_i32(p + 36);
    return o;
}

// Keeps the points made before memory ran out (n says how many); NULL only when the
// record, its point array or its extent cannot be made.
QelPointList* unpack_point_list(const Byte* p, const BodyHead& h) {
    const int n = h.n;
    auto* l = static_cast<QelPointList*>(std::calloc(1, sizeof(QelPointList)));
    if (!l) return nullptr;
    l->points = qel::alloc_array<QelPoint3f*>(n, true);
    const Byte* q = p + 4 + 12 * static_cast<int64_t>(n);
    QelPoint3f origin = read_point(q);
    QelSize3f size{read_f32(q + 12), read_f32(q + 16), read_f32(q + 20)};
    l->extent = QEL_NewBox3f(&origin, &size);
    l->tail142 = read_i32(q + 24);
    if (!l->points || !l->extent) {
        QEL_DeletePointList(l);
        return nullptr;
    }
    for (; l->n < n; ++l->n) {
        QelPoint3f v = read_point(p + 4 + 12 * static_cast<int64_t>(l->n));
        l->points[l->n] = QEL_NewPoint3f(v.x, v.y, v.z);
        if (!l->points[l->n]) break;
    }
    return l;
}

QelPointPairList* unpack_pair_list(const Byte* p, const BodyHead& h) {
    const int n = h.n;
    QelPointPairList* l = QEL_NewPointPairList(n);
    if (!l) return nullptr;
    const Byte* pa = p + 4;
    const Byte* pb = p + 4 + 12 * static_cast<int64_t>(n);
    for (int i = 0; i < n; ++i) {
        QelPoint3f a = read_point(pa + 12 * static_cast<int64_t>(i));
        QelPoint3f b = read_point(pb + 12 * static_cast<int64_t>(i));
        l->a[i] = QEL_NewPoint3f(a.x, a.y, a.z);
        l->b[i] = QEL_NewPoint3f(b.x, b.y, b.z);
        if (!l->a[i] || !l->b[i]) {
            l->count = i + 1;  // the delete frees this pair's half that was made
            QEL_DeletePointPairList(l);
            return nullptr;
        }
        l->count = i + 1;
    }
    return l;
}

QelPointSet* unpack_point_set(const Byte* p, const BodyHead& h) {
    const bool colours = h.colours;
    const int n = h.n;
    QelPointSet* s = QEL_NewPointSet(n);
    if (!s) return nullptr;
    s->count = n;
    if (colours && QEL_AllocPointSetColors(s) != 0) {
        QEL_DeletePointSet(s);
        return nullptr;
    }
    const int64_t k = n;
    qel::copy_bytes(s->xyz, p + 5, 12 * k);
    if (colours) qel::copy_bytes(s->rgba, p + 5 + 12 * k, 16 * k);
    return s;
}

QelValuedPointSet* unpack_valued_set(const Byte* p, const BodyHead& h) {
    const bool colours = h.colours;
    const int n = h.n;
    QelValuedPointSet* s = QEL_NewValuedPointSet(n);
    if (!s) return nullptr;
    s->count = n;
    if (colours && QEL_AllocValuedPointSetColors(s) != 0) {
        QEL_DeleteValuedPointSet(s);
        return nullptr;
    }
    const int64_t k = n;
    const Byte* q = p + 5;
    qel::copy_bytes(s->xyz, q, 12 * k);
    q += 12 * k;
    qel::copy_bytes(s->values, q, 4 * k);
    q += 4 * k;
    if (colours) {
        qel::copy_bytes(s->rgba, q, 16 * k);
        q += 16 * k;
    }
    s->tail8 = read_i32(q);
    s->tail142 = read_i32(q + 4);
    return s;
}

QelTriangularMesh* unpack_mesh(const Byte* p, const BodyHead& h) {
    const bool colours = h.colours;
    const int nT = h.n;
    const int nV = h.nV;
    QelTriangularMesh* m = QEL_NewTriangularMesh(nT, nV);
    if (!m) {
        fprintf(stderr, "triangularMesh: NULL\n");
        return nullptr;
    }
    m->nTriangles = nT;
    m->nVertices = nV;
    const int64_t t = nT, v = nV;
    const Byte* q = p + 9;
    qel::copy_bytes(m->triangles, q, 12 * t);
    q += 12 * t;
    qel::copy_bytes(m->vertices, q, 12 * v);
    q += 12 * v;
    qel::copy_bytes(m->vertexNormals, q, 12 * v);
    q += 12 * v;
    if (colours) {
        if (QEL_AllocTriangularMeshColors(m) != 0) {
            fprintf(stderr, "Not enough memory for colors\n");
            return m;
        }
        qel::copy_bytes(m->colours, q, 16 * v);
    }
    return m;
}

void* unpack_body(int kind, const Byte* p, const BodyHead& h) {
    switch (kind) {
        case QEL_DATA_OBJECT_TYPE_SPHERE: return unpack_sphere(p);
        case QEL_DATA_OBJECT_TYPE_12:
        case QEL_DATA_OBJECT_TYPE_17: return unpack_12(p);
        case QEL_DATA_OBJECT_TYPE_CONE: return unpack_cone(p);
        case QEL_DATA_OBJECT_TYPE_14: return unpack_14(p);
        case QEL_DATA_OBJECT_TYPE_16: return unpack_16(p);
        case QEL_DATA_OBJECT_TYPE_18: return unpack_18(p);
        case QEL_DATA_OBJECT_TYPE_POINT_LIST: return unpack_point_list(p, h);
        case QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST: return unpack_pair_list(p, h);
        case QEL_DATA_OBJECT_TYPE_POINT_SET: return unpack_point_set(p, h);
        case QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET: return unpack_valued_set(p, h);
        case QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH: return unpack_mesh(p, h);
        default: return nullptr;  // 15, 22, 25 and foreign kinds never come back
    }
}

// Nesting beyond this is treated as unreadable, so that a hostile board cannot exhaust
// the stack through the recursion.
constexpr int kMaxGroupDepth = 64;

// Unpacks a group at p within avail bytes. *span receives the bytes the group occupies on
// the board, or kInvalid when a member's extent could not be read (the members from
// there on are then NULL, and so is whatever follows the group).
QelDataObjectGroup* unpack_group(const Byte* p, int64_t avail, int depth, int64_t* span) {
    *span = kInvalid;
    if (avail < 4) return nullptr;
    const int n = read_i32(p);
    if (n < 0 || 4 + 24 * static_cast<int64_t>(n) > avail) return nullptr;
    QelDataObjectGroup* g = QEL_NewDataObjectGroup(n);
    if (!g) return nullptr;
    g->count = n;
    const Byte* q = p + 4;
    for (int i = 0; i < n; ++i, q += 4) g->types[i] = read_i32(q);
    for (int i = 0; i < n; ++i, q += 4) g->flags[i] = read_i32(q);
    for (int i = 0; i < n; ++i, q += 16)
        g->colours[i] = QEL_NewColor(read_f32(q), read_f32(q + 4), read_f32(q + 8), read_f32(q + 12));
    int64_t pos = 4 + 24 * static_cast<int64_t>(n);
    for (int i = 0; i < n; ++i) {
        const int kind = g->types[i];
        int64_t s;
        if (kind == QEL_DATA_OBJECT_TYPE_GROUP) {
            if (depth >= kMaxGroupDepth) return g;
            g->objects[i] = unpack_group(p + pos, avail - pos, depth + 1, &s);
        } else {
            const BodyHead h = read_head(kind, p + pos, avail - pos);
            s = h.span;
            if (s >= 0) g->objects[i] = unpack_body(kind, p + pos, h);
        }
        if (s < 0) return g;
        pos += s;
    }
    *span = pos;
    return g;
}

// Board sizes beyond what 64-bit offsets reach cannot occur; they are capped to keep the
// arithmetic signed.
int64_t board_bytes(size_t boardSize) {
    return boardSize > static_cast<size_t>(std::numeric_limits<int64_t>::max())
               ? std::numeric_limits<int64_t>::max()
               : static_cast<int64_t>(boardSize);
}

// Public per-kind unpacker: the body must fit the board before anything is built.
template <class T>
T* unpack_checked(int kind, const void* board, size_t boardSize) {
    if (!board) return nullptr;
    const Byte* p = static_cast<const Byte*>(board);
    const BodyHead h = read_head(kind, p, board_bytes(boardSize));
    if (h.span < 0) return nullptr;
    return static_cast<T*>(unpack_body(kind, p, h));
}

template <class T>
int pack_checked(const T* record, int kind, void* board) {
    if (!record || !board || size_of_member(record, kind) < 0) return -1;
    pack_member(record, kind, static_cast<Byte*>(board));
    return 0;
}

}  // namespace

// ---------------------------------------------------------------- public operations

int QELipc_SizeOfSphere(const QelSphere* s) { return s ? static_cast<int>(kSphereBytes) : 0; }
int QELipc_PackSphere(const QelSphere* s, void* board) {
    return pack_checked(s, QEL_DATA_OBJECT_TYPE_SPHERE, board);
}
QelSphere* QELipc_UnpackSphere(const void* board, size_t boardSize) {
    return unpack_checked<QelSphere>(QEL_DATA_OBJECT_TYPE_SPHERE, board, boardSize);
}

int QELipc_SizeOfDataObject12(const QelDataObject12* o) { return o ? static_cast<int>(k12Bytes) : 0; }
int QELipc_PackDataObject12(const QelDataObject12* o, void* board) {
    return pack_checked(o, QEL_DATA_OBJECT_TYPE_12, board);
}
QelDataObject12* QELipc_UnpackDataObject12(const void* board, size_t boardSize) {
    return unpack_checked<QelDataObject12>(QEL_DATA_OBJECT_TYPE_12, board, boardSize);
}

int QELipc_SizeOfCone(const QelCone* c) { return c ? static_cast<int>(kConeBytes) : 0; }
int QELipc_PackCone(const QelCone* c, void* board) {
    return pack_checked(c, QEL_DATA_OBJECT_TYPE_CONE, board);
}
QelCone* QELipc_UnpackCone(const void* board, size_t boardSize) {
    return unpack_checked<QelCone>(QEL_DATA_OBJECT_TYPE_CONE, board, boardSize);
}

int QELipc_SizeOfDataObject14(const QelDataObject14* o) { return o ? static_cast<int>(k14Bytes) : 0; }
int QELipc_PackDataObject14(const QelDataObject14* o, void* board) {
    return pack_checked(o, QEL_DATA_OBJECT_TYPE_14, board);
}
QelDataObject14* QELipc_UnpackDataObject14(const void* board, size_t boardSize) {
    return unpack_checked<QelDataObject14>(QEL_DATA_OBJECT_TYPE_14, board, boardSize);
}

int QELipc_SizeOfDataObject15(const QelDataObject15* o) { return o ? static_cast<int>(k15Bytes) : 0; }
int QELipc_PackDataObject15(const QelDataObject15* o, void* board) {
    return o && board ? 0 : -1;
}
QelDataObject15* QELipc_UnpackDataObject15(const void*, size_t) { return nullptr; }

int QELipc_SizeOfDataObject16(const QelDataObject16* o) { return o ? static_cast<int>(k16Bytes) : 0; }
int QELipc_PackDataObject16(const QelDataObject16* o, void* board) {
    return pack_checked(o, QEL_DATA_OBJECT_TYPE_16, board);
}
QelDataObject16* QELipc_UnpackDataObject16(const void* board, size_t boardSize) {
    return unpack_checked<QelDataObject16>(QEL_DATA_OBJECT_TYPE_16, board, boardSize);
}

int QELipc_SizeOfDataObject17(const QelDataObject17* o) { return o ? static_cast<int>(k12Bytes) : 0; }
int QELipc_PackDataObject17(const QelDataObject17* o, void* board) {
    return pack_checked(o, QEL_DATA_OBJECT_TYPE_17, board);
}
QelDataObject17* QELipc_UnpackDataObject17(const void* board, size_t boardSize) {
    return unpack_checked<QelDataObject17>(QEL_DATA_OBJECT_TYPE_17, board, boardSize);
}

int QELipc_SizeOfDataObject18(const QelDataObject18* o) { return o ? static_cast<int>(k18Bytes) : 0; }
int QELipc_PackDataObject18(const QelDataObject18* o, void* board) {
    return pack_checked(o, QEL_DATA_OBJECT_TYPE_18, board);
}
QelDataObject18* QELipc_UnpackDataObject18(const void* board, size_t boardSize) {
    return unpack_checked<QelDataObject18>(QEL_DATA_OBJECT_TYPE_18, board, boardSize);
}

int QELipc_SizeOfPointList(const QelPointList* list) { return to_size_result(size_of_point_list(list)); }
int QELipc_PackPointList(const QelPointList* list, void* board) {
    return pack_checked(list, QEL_DATA_OBJECT_TYPE_POINT_LIST, board);
}
QelPointList* QELipc_UnpackPointList(const void* board, size_t boardSize) {
    return unpack_checked<QelPointList>(QEL_DATA_OBJECT_TYPE_POINT_LIST, board, boardSize);
}

int QELipc_SizeOfDataObject22(const QelDataObject22*) { return 0; }
int QELipc_PackDataObject22(const QelDataObject22*, void*) { return -1; }
QelDataObject22* QELipc_UnpackDataObject22(const void*, size_t) { return nullptr; }

int QELipc_SizeOfPointPairList(const QelPointPairList* list) {
    return to_size_result(size_of_pair_list(list));
}
int QELipc_PackPointPairList(const QelPointPairList* list, void* board) {
    return pack_checked(list, QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST, board);
}
QelPointPairList* QELipc_UnpackPointPairList(const void* board, size_t boardSize) {
    return unpack_checked<QelPointPairList>(QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST, board, boardSize);
}

int QELipc_SizeOfPointSet(const QelPointSet* set) { return to_size_result(size_of_point_set(set)); }
int QELipc_PackPointSet(const QelPointSet* set, void* board) {
    return pack_checked(set, QEL_DATA_OBJECT_TYPE_POINT_SET, board);
}
QelPointSet* QELipc_UnpackPointSet(const void* board, size_t boardSize) {
    return unpack_checked<QelPointSet>(QEL_DATA_OBJECT_TYPE_POINT_SET, board, boardSize);
}

int QELipc_SizeOfValuedPointSet(const QelValuedPointSet* set) {
    return to_size_result(size_of_valued_set(set));
}
int QELipc_PackValuedPointSet(const QelValuedPointSet* set, void* board) {
    return pack_checked(set, QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET, board);
}
QelValuedPointSet* QELipc_UnpackValuedPointSet(const void* board, size_t boardSize) {
    return unpack_checked<QelValuedPointSet>(QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET, board, boardSize);
}

int QELipc_SizeOfTriangularMesh(const QelTriangularMesh* mesh) {
    return to_size_result(size_of_mesh(mesh));
}
int QELipc_PackTriangularMesh(const QelTriangularMesh* mesh, void* board) {
    if (!mesh) {
        fprintf(stderr, "NULL??\n");
        return -1;
    }
    return pack_checked(mesh, QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH, board);
}
QelTriangularMesh* QELipc_UnpackTriangularMesh(const void* board, size_t boardSize) {
    return unpack_checked<QelTriangularMesh>(QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH, board, boardSize);
}

int QELipc_SizeOfDataObjectGroup(const QelDataObjectGroup* group) {
    return to_size_result(size_of_group(group));
}

int QELipc_PackDataObjectGroup(const QelDataObjectGroup* group, void* board) {
    if (!group || !board || QELipc_SizeOfDataObjectGroup(group) < 0) return -1;
    pack_group(group, static_cast<Byte*>(board));
    return 0;
}

QelDataObjectGroup* QELipc_UnpackDataObjectGroup(const void* board, size_t boardSize) {
    if (!board) return nullptr;
    int64_t span;
    return unpack_group(static_cast<const Byte*>(board), board_bytes(boardSize), 0, &span);
}
