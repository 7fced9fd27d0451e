// Data objects handed to the host as graphics, and the data-object group that carries
// them. Each record owns every geometry record it points to.
#pragma once
#include "objects/qel_color.h"
#include "objects/qel_mesh.h"
#include "volume/qel_geometry.h"

#define QEL_DATA_OBJECT_TYPE_SPHERE 11
#define QEL_DATA_OBJECT_TYPE_12 12
#define QEL_DATA_OBJECT_TYPE_CONE 13
#define QEL_DATA_OBJECT_TYPE_14 14
#define QEL_DATA_OBJECT_TYPE_15 15
#define QEL_DATA_OBJECT_TYPE_16 16
#define QEL_DATA_OBJECT_TYPE_17 17
#define QEL_DATA_OBJECT_TYPE_18 18
#define QEL_DATA_OBJECT_TYPE_POINT_LIST 21
#define QEL_DATA_OBJECT_TYPE_22 22
#define QEL_DATA_OBJECT_TYPE_25 25
#define QEL_DATA_OBJECT_TYPE_POINT_PAIR_LIST 31
#define QEL_DATA_OBJECT_TYPE_POINT_SET 61
#define QEL_DATA_OBJECT_TYPE_VALUED_POINT_SET 62
#define QEL_DATA_OBJECT_TYPE_TRIANGULAR_MESH 71
#define QEL_DATA_OBJECT_TYPE_GROUP 99

// tail8 and tail142 are set to 8 and 142 by the constructors and otherwise carried as
// they are; the 32-bit words belong to the host's drawing and are stored unchanged.
struct QelSphere {
    QelPoint3f* centre;
    float radius;
    int tail8;
    int tail142;
};

struct QelDataObject12 {
    QelPoint3f* points[4];
    int words[3];
    int tail8;
    int tail142;
};
typedef QelDataObject12 QelDataObject17;

struct QelCone {
    QelPoint3f* centre1;
    QelPoint3f* centre2;
    float radius1;
    float radius2;
    int tail8;
    int tail142;
};

struct QelDataObject14 {
    QelPoint3f* points[2];
    int words[4];
    QelPoint3f* morePoints[4];
    int tail8;
    int tail142;
};

struct QelDataObject15 {
    QelPoint3f* points[3];
    int tail142;
};

struct QelDataObject16 {
    QelPoint3f* points[4];
    int tail142;
};

struct QelDataObject18 {
    QelPoint3f* points[2];
    int words[2];
    int tail8;
    int tail142;
};

struct QelPointList {
    int n;
    QelPoint3f** points;
    QelBox3f* extent;
    int tail142;
};

struct QelPairList {
    int n;
    QelPoint2f** points;
    QelRect2f* rect;
    int tail142;
};

struct QelDataObject22 {
    QelPointList* pointList;
    QelPairList* pairList;
    QelPoint3f* point;
    QelPoint3f* axisU;
    QelPoint3f* axisV;
    int word1;
    int word2;
    QelSize2i* size;
    int tail142;
};

struct QelDataObject25 {
    int m;
    QelPointList** lists1;
    QelPointList** lists2;
    QelPoint3f* points[4];
    int word1;
    int word2;
    QelSize3i* size;
    int tail142;
};

// Pair i is (a[i], b[i]); the arrays have room for the n pairs given to the constructor
// (NULL entries at creation) and count says how many are in use.
struct QelPointPairList {
    int count;
    QelPoint3f** a;
    QelPoint3f** b;
};

struct QelPointSet {
    int count;
    int capacity;
    float (*xyz)[3];
    float (*rgba)[4];
};

struct QelValuedPointSet {
    int count;
    int capacity;
    float (*xyz)[3];
    int* values;
    float (*rgba)[4];
    int tail8;
    int tail142;
};

// Members 0..count-1 are in use. The group owns its members and their colours; a
// producer may fill the slots itself as long as count stays within the capacity.
struct QelDataObjectGroup {
    int count;
    int capacity;
    void** objects;
    int* types;
    int* flags;
    QelColor** colours;
};

QelSphere* QEL_NewSphere(const QelPoint3f* centre, float radius);
void QEL_DeleteSphere(QelSphere* s);
QelDataObject12* QEL_NewDataObject12(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3, const QelPoint3f* p4, int w1, int w2,
                                     int w3);
void QEL_DeleteDataObject12(QelDataObject12* o);
QelDataObject17* QEL_NewDataObject17(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3, const QelPoint3f* p4, int w1, int w2,
                                     int w3);
void QEL_DeleteDataObject17(QelDataObject17* o);
QelCone* QEL_NewCone(const QelPoint3f* centre1, const QelPoint3f* centre2, float radius1,
                     float radius2);
QelCone* QEL_NewConeBetweenSpheres(const QelSphere* sphere1, const QelSphere* sphere2);
void QEL_DeleteCone(QelCone* c);
QelDataObject18* QEL_NewDataObject18(const QelPoint3f* p1, const QelPoint3f* p2, int w1, int w2);
void QEL_DeleteDataObject18(QelDataObject18* o);
QelDataObject14* QEL_NewDataObject14(const QelPoint3f* p1, const QelPoint3f* p2, int w1, int w2,
                                     int w3, int w4, const QelPoint3f* p3, const QelPoint3f* p4,
                                     const QelPoint3f* p5, const QelPoint3f* p6);
void QEL_DeleteDataObject14(QelDataObject14* o);
QelDataObject15* QEL_NewDataObject15(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3);
void QEL_DeleteDataObject15(QelDataObject15* o);
QelDataObject16* QEL_NewDataObject16(const QelPoint3f* p1, const QelPoint3f* p2,
                                     const QelPoint3f* p3, const QelPoint3f* p4);
void QEL_DeleteDataObject16(QelDataObject16* o);
QelPointList* QEL_NewPointList(int n);
void QEL_DeletePointList(QelPointList* list);
QelPairList* QEL_NewPairList(int n);
void QEL_DeletePairList(QelPairList* list);
QelDataObject22* QEL_NewDataObject22(int n);
void QEL_DeleteDataObject22(QelDataObject22* o);
QelDataObject25* QEL_NewDataObject25(int n, int m);
void QEL_DeleteDataObject25(QelDataObject25* o);
QelPointPairList* QEL_NewPointPairList(int n);
void QEL_DeletePointPairList(QelPointPairList* list);
QelPointSet* QEL_NewPointSet(int capacity);
void QEL_DeletePointSet(QelPointSet* set);
// The colour arrays (capacity x 4 floats, contents undefined): 0, or -1 for NULL or no memory.
// A set that already has one keeps it (0): a second array would only lose the first.
int QEL_AllocPointSetColors(QelPointSet* set);
QelValuedPointSet* QEL_NewValuedPointSet(int capacity);
void QEL_DeleteValuedPointSet(QelValuedPointSet* set);
int QEL_AllocValuedPointSetColors(QelValuedPointSet* set);

QelDataObjectGroup* QEL_NewDataObjectGroup(int capacity);
int QEL_AddDataObjectToGroup(void* object, int kind, const QelColor* colour,
                             QelDataObjectGroup* group);
void QEL_DeleteDataObjectGroup(QelDataObjectGroup* group);
