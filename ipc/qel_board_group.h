// Data-board layout of data-object groups: for every kind a size, a pack and an unpack
// operation, and the group's own three, which dispatch on the members' kind codes.
//
// All words are 32-bit little-endian, with no alignment or padding. Pack operations write
// at board and expect room for the size that their size operation gives. Unpack
// operations read only the boardSize bytes that follow board; a body that the size cannot
// hold, or whose counts are negative, is refused (NULL).
#pragma once
#include <cstddef>

#include "objects/qel_data_objects.h"

int QELipc_SizeOfSphere(const QelSphere* s);
int QELipc_PackSphere(const QelSphere* s, void* board);
QelSphere* QELipc_UnpackSphere(const void* board, size_t boardSize);

int QELipc_SizeOfDataObject12(const QelDataObject12* o);
int QELipc_PackDataObject12(const QelDataObject12* o, void* board);
QelDataObject12* QELipc_UnpackDataObject12(const void* board, size_t boardSize);

int QELipc_SizeOfCone(const QelCone* c);
int QELipc_PackCone(const QelCone* c, void* board);
QelCone* QELipc_UnpackCone(const void* board, size_t boardSize);

int QELipc_SizeOfDataObject14(const QelDataObject14* o);
int QELipc_PackDataObject14(const QelDataObject14* o, void* board);
QelDataObject14* QELipc_UnpackDataObject14(const void* board, size_t boardSize);

// Kind 15 reserves 40 bytes that nothing writes; it never comes back from a board.
int QELipc_SizeOfDataObject15(const QelDataObject15* o);
int QELipc_PackDataObject15(const QelDataObject15* o, void* board);
QelDataObject15* QELipc_UnpackDataObject15(const void* board, size_t boardSize);

int QELipc_SizeOfDataObject16(const QelDataObject16* o);
int QELipc_PackDataObject16(const QelDataObject16* o, void* board);
QelDataObject16* QELipc_UnpackDataObject16(const void* board, size_t boardSize);

int QELipc_SizeOfDataObject17(const QelDataObject17* o);
int QELipc_PackDataObject17(const QelDataObject17* o, void* board);
QelDataObject17* QELipc_UnpackDataObject17(const void* board, size_t boardSize);

int QELipc_SizeOfDataObject18(const QelDataObject18* o);
int QELipc_PackDataObject18(const QelDataObject18* o, void* board);
QelDataObject18* QELipc_UnpackDataObject18(const void* board, size_t boardSize);

int QELipc_SizeOfPointList(const QelPointList* list);
int QELipc_PackPointList(const QelPointList* list, void* board);
QelPointList* QELipc_UnpackPointList(const void* board, size_t boardSize);

// Kind 22 has no body: its size is 0, its pack fails and its unpack gives NULL.
int QELipc_SizeOfDataObject22(const QelDataObject22* o);
int QELipc_PackDataObject22(const QelDataObject22* o, void* board);
QelDataObject22* QELipc_UnpackDataObject22(const void* board, size_t boardSize);

int QELipc_SizeOfPointPairList(const QelPointPairList* list);
int QELipc_PackPointPairList(const QelPointPairList* list, void* board);
QelPointPairList* QELipc_UnpackPointPairList(const void* board, size_t boardSize);

int QELipc_SizeOfPointSet(const QelPointSet* set);
int QELipc_PackPointSet(const QelPointSet* set, void* board);
QelPointSet* QELipc_UnpackPointSet(const void* board, size_t boardSize);

int QELipc_SizeOfValuedPointSet(const QelValuedPointSet* set);
int QELipc_PackValuedPointSet(const QelValuedPointSet* set, void* board);
QelValuedPointSet* QELipc_UnpackValuedPointSet(const void* board, size_t boardSize);

int QELipc_SizeOfTriangularMesh(const QelTriangularMesh* mesh);
int QELipc_PackTriangularMesh(const QelTriangularMesh* mesh, void* board);
QelTriangularMesh* QELipc_UnpackTriangularMesh(const void* board, size_t boardSize);

// Size operations give 0 for a NULL record and -1 for a record whose counts are negative,
// beyond its capacity, or whose payload would not fit 32 bits; pack operations then
// write nothing and give -1.
int QELipc_SizeOfDataObjectGroup(const QelDataObjectGroup* group);
int QELipc_PackDataObjectGroup(const QelDataObjectGroup* group, void* board);
QelDataObjectGroup* QELipc_UnpackDataObjectGroup(const void* board, size_t boardSize);
