// Geometry records: points, sizes, rectangles, boxes and point pairs, and their predicates.
#include "volume/qel_geometry.h"

#include <cstdint>
#include <cstdlib>

#include "volume/qel_checked.hpp"

namespace {

template <class T>
T* new_record(const T& value) {
    T* p = static_cast<T*>(std::malloc(sizeof(T)));
    if (p) *p = value;
    return p;
}

template <class T>
T* copy_record(const T* p) {
    return p ? new_record(*p) : nullptr;
}

// A two-member record (rectangle, box, pair) holding copies of its members, or of the
// defaults where a member is not given.
template <class R, class A, class B>
R* new_pair_record(const A* first, const A& first_default, const B* second, const B& second_default) {
    R* r = static_cast<R*>(std::malloc(sizeof(R)));
    A* a = new_record(first ? *first : first_default);
    B* b = new_record(second ? *second : second_default);
    if (!r || !a || !b) {
        std::free(r);
        std::free(a);
        std::free(b);
        return nullptr;
    }
    *r = R{a, b};
    return r;
}

template <class R>
void delete_pair_record(R* r) {
    if (!r) return;
    std::free(r->origin);
    std::free(r->size);
    std::free(r);
}

template <class R>
void delete_point_pair(R* r) {
    if (!r) return;
    std::free(r->first);
    std::free(r->second);
    std::free(r);
}

bool equal_words(const int* a, const int* b, int n) {
    if (!a || !b) return false;
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Half-open containment of [ao, ao + as) in [bo, bo + bs), in 64 bits so no sum overflows.
bool span_inside(int64_t ao, int64_t as, int64_t bo, int64_t bs) { return ao >= bo && ao + as <= bo + bs; }

bool span_inside(float ao, float as, float bo, float bs) { return ao >= bo && ao + as <= bo + bs; }

}  // namespace

QelPoint2f* QEL_NewPoint2f(float x, float y) { return new_record(QelPoint2f{x, y}); }
QelPoint2f* QEL_CopyPoint2f(const QelPoint2f* p) { return copy_record(p); }
void QEL_DeletePoint2f(QelPoint2f* p) { std::free(p); }
QelPoint2i* QEL_NewPoint2i(int x, int y) { return new_record(QelPoint2i{x, y}); }
QelPoint2i* QEL_CopyPoint2i(const QelPoint2i* p) { return copy_record(p); }
void QEL_DeletePoint2i(QelPoint2i* p) { std::free(p); }
QelSize2f* QEL_NewSize2f(float width, float height) { return new_record(QelSize2f{width, height}); }
QelSize2f* QEL_CopySize2f(const QelSize2f* s) { return copy_record(s); }
void QEL_DeleteSize2f(QelSize2f* s) { std::free(s); }
QelSize2i* QEL_NewSize2i(int width, int height) { return new_record(QelSize2i{width, height}); }
QelSize2i* QEL_CopySize2i(const QelSize2i* s) { return copy_record(s); }
void QEL_DeleteSize2i(QelSize2i* s) { std::free(s); }
QelPoint3f* QEL_NewPoint3f(float x, float y, float z) { return new_record(QelPoint3f{x, y, z}); }
QelPoint3f* QEL_CopyPoint3f(const QelPoint3f* p) { return copy_record(p); }
void QEL_DeletePoint3f(QelPoint3f* p) { std::free(p); }
QelPoint3i* QEL_NewPoint3i(int x, int y, int z) { return new_record(QelPoint3i{x, y, z}); }
QelPoint3i* QEL_CopyPoint3i(const QelPoint3i* p) { return copy_record(p); }
void QEL_DeletePoint3i(QelPoint3i* p) { std::free(p); }
QelSize3f* QEL_NewSize3f(float x, float y, float z) { return new_record(QelSize3f{x, y, z}); }
QelSize3f* QEL_CopySize3f(const QelSize3f* s) { return copy_record(s); }
void QEL_DeleteSize3f(QelSize3f* s) { std::free(s); }
QelSize3i* QEL_NewSize3i(int nx, int ny, int nz) { return new_record(QelSize3i{nx, ny, nz}); }
QelSize3i* QEL_CopySize3i(const QelSize3i* s) { return copy_record(s); }
QelSize3i* QEL_DuplicateSize3i(const QelSize3i* s) { return copy_record(s); }
void QEL_DeleteSize3i(QelSize3i* s) { std::free(s); }
QelSize4i* QEL_NewSize4i(int nx, int ny, int nz, int nChannels) {
    return new_record(QelSize4i{nx, ny, nz, nChannels});
}
QelSize4i* QEL_CopySize4i(const QelSize4i* s) { return copy_record(s); }
void QEL_DeleteSize4i(QelSize4i* s) { std::free(s); }

QelRect2f* QEL_NewRect2f(const QelPoint2f* origin, const QelSize2f* size) {
    return new_pair_record<QelRect2f>(origin, QelPoint2f{0.0f, 0.0f}, size, QelSize2f{1.0f, 1.0f});
}
void QEL_DeleteRect2f(QelRect2f* r) { delete_pair_record(r); }

QelRect2i* QEL_NewRect2i(const QelPoint2i* origin, const QelSize2i* size) {
    return new_pair_record<QelRect2i>(origin, QelPoint2i{0, 0}, size, QelSize2i{1, 1});
}
void QEL_DeleteRect2i(QelRect2i* r) { delete_pair_record(r); }

QelBox3f* QEL_NewBox3f(const QelPoint3f* origin, const QelSize3f* size) {
    return new_pair_record<QelBox3f>(origin, QelPoint3f{0.0f, 0.0f, 0.0f}, size, QelSize3f{1.0f, 1.0f, 1.0f});
}
void QEL_DeleteBox3f(QelBox3f* b) { delete_pair_record(b); }

QelBox3i* QEL_NewBox3i(const QelPoint3i* origin, const QelSize3i* size) {
    return new_pair_record<QelBox3i>(origin, QelPoint3i{0, 0, 0}, size, QelSize3i{1, 1, 1});
}
QelBox3i* QEL_CopyBox3i(const QelBox3i* b) {
    if (!b || !b->origin || !b->size) return nullptr;
    return QEL_NewBox3i(b->origin, b->size);
}
void QEL_DeleteBox3i(QelBox3i* b) { delete_pair_record(b); }

QelPointPair2f* QEL_NewPointPair2f(const QelPoint2f* first, const QelPoint2f* second) {
    if (!first || !second) return nullptr;
    return new_pair_record<QelPointPair2f>(first, *first, second, *second);
}
void QEL_DeletePointPair2f(QelPointPair2f* p) { delete_point_pair(p); }

QelPointPair3f* QEL_NewPointPair3f(const QelPoint3f* first, const QelPoint3f* second) {
    return new_pair_record<QelPointPair3f>(first, QelPoint3f{1.0f, 1.0f, 1.0f}, second, QelPoint3f{2.0f, 2.0f, 2.0f});
}
QelPointPair3f* QEL_NewPointPair3fAlt(const QelPoint3f* first, const QelPoint3f* second) {
    return new_pair_record<QelPointPair3f>(first, QelPoint3f{3.0f, 3.0f, 3.0f}, second, QelPoint3f{4.0f, 4.0f, 4.0f});
}
void QEL_DeletePointPair3f(QelPointPair3f* p) { delete_point_pair(p); }
void QEL_DeletePointPair3fAlt(QelPointPair3f* p) { delete_point_pair(p); }

// A product that does not fit the int result is reported as -1 rather than wrapped.
int QEL_GetAreaOfSize2i(const QelSize2i* s) {
    if (!s) return -1;
    const int64_t a = static_cast<int64_t>(s->width) * s->height;
    return qel::fits_int32(a) ? static_cast<int>(a) : -1;
}

int QEL_GetVolumeOfSize3i(const QelSize3i* s) {
    if (!s) return -1;
    int64_t v = static_cast<int64_t>(s->nx) * s->ny;  // |v| <= 2^62: the next product is checked
    if (__builtin_mul_overflow(v, static_cast<int64_t>(s->nz), &v) || !qel::fits_int32(v)) return -1;
    return static_cast<int>(v);
}

int QEL_IsEqualSize3i(const QelSize3i* a, const QelSize3i* b) {
    return a && b && a->nx == b->nx && a->ny == b->ny && a->nz == b->nz ? 1 : 0;
}
int QEL_IsEqualVector3i(const QelPoint3i* a, const QelPoint3i* b) {
    return a && b && a->x == b->x && a->y == b->y && a->z == b->z ? 1 : 0;
}
int QEL_IsEqualInt2(const int* a, const int* b) { return equal_words(a, b, 2) ? 1 : 0; }
int QEL_IsEqualInt3(const int* a, const int* b) { return equal_words(a, b, 3) ? 1 : 0; }
int QEL_IsEqualInt4(const int* a, const int* b) { return equal_words(a, b, 4) ? 1 : 0; }
int QEL_IsEqualSize4i(const QelSize4i* a, const QelSize4i* b) {
    return a && b && a->nx == b->nx && a->ny == b->ny && a->nz == b->nz && a->nChannels == b->nChannels ? 1 : 0;
}

int QEL_IsRect2iInside(const QelRect2i* a, const QelRect2i* b) {
    if (!a || !b || !a->origin || !a->size || !b->origin || !b->size) return 0;
    return span_inside(int64_t{a->origin->x}, int64_t{a->size->width}, int64_t{b->origin->x}, int64_t{b->size->width}) &&
                   span_inside(int64_t{a->origin->y}, int64_t{a->size->height}, int64_t{b->origin->y},
                               int64_t{b->size->height})
               ? 1
               : 0;
}

int QEL_IsRect2fInside(const QelRect2f* a, const QelRect2f* b) {
    if (!a || !b || !a->origin || !a->size || !b->origin || !b->size) return 0;
    return span_inside(a->origin->x, a->size->width, b->origin->x, b->size->width) &&
                   span_inside(a->origin->y, a->size->height, b->origin->y, b->size->height)
               ? 1
               : 0;
}

int QEL_IsBox3iInside(const QelBox3i* a, const QelBox3i* b) {
    if (!a || !b || !a->origin || !a->size || !b->origin || !b->size) return 0;
    const QelPoint3i &ao = *a->origin, &bo = *b->origin;
    const QelSize3i &as = *a->size, &bs = *b->size;
    return span_inside(int64_t{ao.x}, int64_t{as.nx}, int64_t{bo.x}, int64_t{bs.nx}) &&
                   span_inside(int64_t{ao.y}, int64_t{as.ny}, int64_t{bo.y}, int64_t{bs.ny}) &&
                   span_inside(int64_t{ao.z}, int64_t{as.nz}, int64_t{bo.z}, int64_t{bs.nz})
               ? 1
               : 0;
}

int QEL_IsBox3fInside(const QelBox3f* a, const QelBox3f* b) {
    if (!a || !b || !a->origin || !a->size || !b->origin || !b->size) return 0;
    const QelPoint3f &ao = *a->origin, &bo = *b->origin;
    const QelSize3f &as = *a->size, &bs = *b->size;
    return span_inside(ao.x, as.x, bo.x, bs.x) && span_inside(ao.y, as.y, bo.y, bs.y) &&
                   span_inside(ao.z, as.z, bo.z, bs.z)
               ? 1
               : 0;
}

// Unlike the containment of regions, the far face counts as inside.
int QEL_IsPointInBox3i(const QelPoint3i* p, const QelBox3i* b) {
    if (!p || !b || !b->origin || !b->size) return 0;
    auto within = [](int64_t v, int64_t o, int64_t s) { return o <= v && v <= o + s; };
    return within(p->x, b->origin->x, b->size->nx) && within(p->y, b->origin->y, b->size->ny) &&
                   within(p->z, b->origin->z, b->size->nz)
               ? 1
               : 0;
}
