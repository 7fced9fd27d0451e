// Geometry records and vector maths: points, sizes, rectangles, boxes and point pairs,
// each a small heap record with a constructor, usually a copy and a destructor.
#pragma once

struct QelPoint2f { float x, y; };
struct QelPoint2i { int x, y; };
struct QelSize2f { float width, height; };
struct QelSize2i { int width, height; };
struct QelPoint3f { float x, y, z; };
struct QelPoint3i { int x, y, z; };
struct QelSize3f { float x, y, z; };
struct QelSize3i { int nx, ny, nz; };
struct QelSize4i { int nx, ny, nz, nChannels; };
struct QelRect2f { QelPoint2f* origin; QelSize2f* size; };
struct QelRect2i { QelPoint2i* origin; QelSize2i* size; };
struct QelBox3f { QelPoint3f* origin; QelSize3f* size; };
struct QelBox3i { QelPoint3i* origin; QelSize3i* size; };
struct QelPointPair2f { QelPoint2f* first; QelPoint2f* second; };
struct QelPointPair3f { QelPoint3f* first; QelPoint3f* second; };

// The library's pi (single precision) and half pi (1.570796 as a float).
#define QEL_PI 3.1415927f
#define QEL_HALF_PI 1.570796f

QelPoint2f* QEL_NewPoint2f(float x, float y);
QelPoint2f* QEL_CopyPoint2f(const QelPoint2f* p);
void QEL_DeletePoint2f(QelPoint2f* p);
QelPoint2i* QEL_NewPoint2i(int x, int y);
QelPoint2i* QEL_CopyPoint2i(const QelPoint2i* p);
void QEL_DeletePoint2i(QelPoint2i* p);
QelSize2f* QEL_NewSize2f(float width, float height);
QelSize2f* QEL_CopySize2f(const QelSize2f* s);
void QEL_DeleteSize2f(QelSize2f* s);
QelSize2i* QEL_NewSize2i(int width, int height);
QelSize2i* QEL_CopySize2i(const QelSize2i* s);
void QEL_DeleteSize2i(QelSize2i* s);
QelPoint3f* QEL_NewPoint3f(float x, float y, float z);
QelPoint3f* QEL_CopyPoint3f(const QelPoint3f* p);
void QEL_DeletePoint3f(QelPoint3f* p);
QelPoint3i* QEL_NewPoint3i(int x, int y, int z);
QelPoint3i* QEL_CopyPoint3i(const QelPoint3i* p);
void QEL_DeletePoint3i(QelPoint3i* p);
QelSize3f* QEL_NewSize3f(float x, float y, float z);
QelSize3f* QEL_CopySize3f(const QelSize3f* s);
void QEL_DeleteSize3f(QelSize3f* s);
QelSize3i* QEL_NewSize3i(int nx, int ny, int nz);
QelSize3i* QEL_CopySize3i(const QelSize3i* s);
QelSize3i* QEL_DuplicateSize3i(const QelSize3i* s);
void QEL_DeleteSize3i(QelSize3i* s);
QelSize4i* QEL_NewSize4i(int nx, int ny, int nz, int nChannels);
QelSize4i* QEL_CopySize4i(const QelSize4i* s);
void QEL_DeleteSize4i(QelSize4i* s);

// Rectangles, boxes and pairs store copies of the members they are given (defaults for NULL).
QelRect2f* QEL_NewRect2f(const QelPoint2f* origin, const QelSize2f* size);
void QEL_DeleteRect2f(QelRect2f* r);
QelRect2i* QEL_NewRect2i(const QelPoint2i* origin, const QelSize2i* size);
void QEL_DeleteRect2i(QelRect2i* r);
QelBox3f* QEL_NewBox3f(const QelPoint3f* origin, const QelSize3f* size);
void QEL_DeleteBox3f(QelBox3f* b);
QelBox3i* QEL_NewBox3i(const QelPoint3i* origin, const QelSize3i* size);
QelBox3i* QEL_CopyBox3i(const QelBox3i* b);
void QEL_DeleteBox3i(QelBox3i* b);
QelPointPair2f* QEL_NewPointPair2f(const QelPoint2f* first, const QelPoint2f* second);
void QEL_DeletePointPair2f(QelPointPair2f* p);
QelPointPair3f* QEL_NewPointPair3f(const QelPoint3f* first, const QelPoint3f* second);
QelPointPair3f* QEL_NewPointPair3fAlt(const QelPoint3f* first, const QelPoint3f* second);
void QEL_DeletePointPair3f(QelPointPair3f* p);
void QEL_DeletePointPair3fAlt(QelPointPair3f* p);

int QEL_GetAreaOfSize2i(const QelSize2i* s);
int QEL_GetVolumeOfSize3i(const QelSize3i* s);
int QEL_IsEqualSize3i(const QelSize3i* a, const QelSize3i* b);
int QEL_IsEqualVector3i(const QelPoint3i* a, const QelPoint3i* b);
int QEL_IsEqualInt2(const int* a, const int* b);
int QEL_IsEqualInt3(const int* a, const int* b);
int QEL_IsEqualInt4(const int* a, const int* b);
int QEL_IsEqualSize4i(const QelSize4i* a, const QelSize4i* b);
int QEL_IsRect2iInside(const QelRect2i* a, const QelRect2i* b);
int QEL_IsRect2fInside(const QelRect2f* a, const QelRect2f* b);
int QEL_IsBox3iInside(const QelBox3i* a, const QelBox3i* b);
int QEL_IsBox3fInside(const QelBox3f* a, const QelBox3f* b);
int QEL_IsPointInBox3i(const QelPoint3i* p, const QelBox3i* b);

float QEL_Dot3f(const QelPoint3f* a, const QelPoint3f* b);
float QEL_Dot2f(const QelPoint2f* a, const QelPoint2f* b);
void QEL_Cross3f(const QelPoint3f* a, const QelPoint3f* b, QelPoint3f* out);
float QEL_Norm3f(const QelPoint3f* v);
float QEL_Norm2f(const QelPoint2f* v);
float QEL_Normalize3f(QelPoint3f* v);
float QEL_Normalize2f(QelPoint2f* v);
void QEL_GetAngle2f(const QelPoint2f* v, float* angle);
void QEL_GetDirectionAngles3f(const QelPoint3f* v, float* azimuth, float* elevation);
float QEL_RadianToDegree(float x);
float QEL_DegreeToRadian(float x);
QelPoint3f* QEL_GetPointOnLine3f(const QelPointPair3f* line, float t);
QelPoint3f* QEL_IntersectPlaneAndLine3f(const QelPointPair3f* plane, const QelPointPair3f* line,
                                        float* t);
