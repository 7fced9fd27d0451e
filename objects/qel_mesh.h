// Indexed triangle mesh (data-object kind 71) with per-vertex normals and optional
// per-vertex colours, triangle normals, edge neighbours and a vertex-to-triangle table.
#pragma once
#include "volume/qel_geometry.h"

// The producer fills rows 0..n-1 of the fixed arrays and sets nTriangles and nVertices
// (at most the capacities). The optional arrays are NULL until an operation makes them,
// sized by the counts of that moment. vertexTriangles holds nVertices rows of
// maxTrianglesPerVertex entries each (row i starts at i * maxTrianglesPerVertex), -1 for
// an empty slot.
struct QelTriangularMesh {
    int triangleCapacity;
    int vertexCapacity;
    int nTriangles;
    int nVertices;
    int (*triangles)[3];
    float (*triangleNormals)[3];
    float (*vertices)[3];
    float (*vertexNormals)[3];
    float (*colours)[4];
    int (*neighbours)[3];
    int maxTrianglesPerVertex;
    int* vertexTriangles;
};

QelTriangularMesh* QEL_NewTriangularMesh(int triangleCapacity, int vertexCapacity);
QelTriangularMesh* QEL_CopyTriangularMesh(const QelTriangularMesh* mesh);
int QEL_TrimTriangularMesh(QelTriangularMesh* mesh);
void QEL_DeleteTriangularMesh(QelTriangularMesh* mesh);
int QEL_AllocTriangularMeshColors(QelTriangularMesh* mesh);
int QEL_ComputeTriangleNormals(QelTriangularMesh* mesh);
int QEL_BuildVertexTriangleTable(QelTriangularMesh* mesh, int max);
void QEL_PrintVertexTriangleStats(const QelTriangularMesh* mesh);
int QEL_ComputeVertexNormals(QelTriangularMesh* mesh);
int QEL_FindEdgeNeighbour(const int (*triangles)[3], int nTriangles, int self, int a, int b);
int QEL_ComputeTriangleNeighbours(QelTriangularMesh* mesh);
QelBox3f* QEL_GetTriangularMeshBoundingBox(const QelTriangularMesh* mesh);
void QEL_FlipTriangleOrientation(QelTriangularMesh* mesh);
