// Vector maths on the float point records: products, lengths, angles, lines and planes.
// Everything is evaluated in single precision, in the written order, as the callers'
// bit-exact results expect; only the angle conversions use double factors.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "volume/qel_geometry.h"

namespace {

float atan_f(float x) { return static_cast<float>(std::atan(static_cast<double>(x))); }

void warn_zero_vector() { std::fprintf(stderr, "Warning: zero vector\n"); }

}  // namespace

float QEL_Dot3f(const QelPoint3f* a, const QelPoint3f* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

float QEL_Dot2f(const QelPoint2f* a, const QelPoint2f* b) { return a->x * b->x + a->y * b->y; }

void QEL_Cross3f(const QelPoint3f* a, const QelPoint3f* b, QelPoint3f* out) {
    out->x = a->y * b->z - a->z * b->y;
    out->y = a->z * b->x - a->x * b->z;
    out->z = a->x * b->y - a->y * b->x;
}

float QEL_Norm3f(const QelPoint3f* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }

float QEL_Norm2f(const QelPoint2f* v) { return std::sqrt(v->x * v->x + v->y * v->y); }

float QEL_Normalize3f(QelPoint3f* v) {
    const float r = QEL_Norm3f(v);
    if (r != 0.0f) {
        const float s = 1.0f / r;
        v->x *= s;
        v->y *= s;
        v->z *= s;
    }
    return r;
}

float QEL_Normalize2f(QelPoint2f* v) {
    const float r = QEL_Norm2f(v);
    if (r != 0.0f) {
        const float s = 1.0f / r;
        v->x *= s;
        v->y *= s;
    }
    return r;
}

void QEL_GetAngle2f(const QelPoint2f* v, float* angle) {
    if (!v || !angle) return;
    if (QEL_Norm2f(v) == 0.0f) {
        warn_zero_vector();
        *angle = 0.0f;
        return;
    }
    const float x = v->x, y = v->y;
    if (x == 0.0f) {
        *angle = y > 0.0f ? QEL_HALF_PI : -QEL_HALF_PI;
    } else if (x > 0.0f) {
        *angle = atan_f(y / x);
    } else {
        const float t = atan_f(y / -x);
        *angle = y > 0.0f ? QEL_PI - t : -QEL_PI - t;
    }
}

void QEL_GetDirectionAngles3f(const QelPoint3f* v, float* azimuth, float* elevation) {
    if (!v || !azimuth || !elevation) return;
    const float r = QEL_Norm3f(v);
    if (r == 0.0f) {
        warn_zero_vector();
        *azimuth = 0.0f;
        *elevation = 0.0f;
        return;
    }
    const float s = 1.0f / r;
    const QelPoint3f u{v->x * s, v->y * s, v->z * s};
    QelPoint2f h{u.x, u.y};
    if (QEL_Norm2f(&h) == 0.0f) {
        *azimuth = 0.0f;
        *elevation = u.z > 0.0f ? QEL_HALF_PI : -QEL_HALF_PI;
        return;
    }
    *elevation = atan_f(u.z / QEL_Norm2f(&h));
    QEL_Normalize2f(&h);
    QEL_GetAngle2f(&h, azimuth);
}

float QEL_RadianToDegree(float x) { return static_cast<float>(x * 57.29577951308232); }

float QEL_DegreeToRadian(float x) { return static_cast<float>(x * 0.017453292519943295); }

QelPoint3f* QEL_GetPointOnLine3f(const QelPointPair3f* line, float t) {
    if (!line || !line->first || !line->second) return nullptr;
    const QelPoint3f& p = *line->first;
    const QelPoint3f& d = *line->second;
    return QEL_NewPoint3f(t * d.x + p.x, t * d.y + p.y, t * d.z + p.z);
}

QelPoint3f* QEL_IntersectPlaneAndLine3f(const QelPointPair3f* plane, const QelPointPair3f* line, float* t) {
    if (!plane || !line || !t || !plane->first || !plane->second || !line->first || !line->second)
        return nullptr;
    const float d = QEL_Dot3f(plane->second, line->second);
    if (d == 0.0f) return nullptr;  // the line runs parallel to the plane
    const float at_plane = QEL_Dot3f(plane->second, plane->first);
    const float at_line = QEL_Dot3f(plane->second, line->first);
    *t = (at_plane - at_line) / d;
    return QEL_GetPointOnLine3f(line, *t);
}
