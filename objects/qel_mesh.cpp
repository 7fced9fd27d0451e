#include "objects/qel_mesh.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "objects/qel_object_alloc.hpp"

namespace {

// Counts a producer set beyond the capacities (or below 0) would make every row loop read
// outside the arrays; such a mesh is refused by the operations.
bool counts_ok(const QelTriangularMesh* m) {
    return m && m->nTriangles >= 0 && m->nVertices >= 0 && m->nTriangles <= m->triangleCapacity &&
           m->nVertices <= m->vertexCapacity;
}

template <class Row>
Row* copy_rows(const Row* src, int64_t rows) {
    Row* dst = qel::alloc_array<Row>(rows);
    if (dst && rows > 0) std::memcpy(dst, src, sizeof(Row) * static_cast<size_t>(rows));
    return dst;
}

bool valid_vertex(const QelTriangularMesh* m, int v) { return v >= 0 && v < m->nVertices; }

}  // namespace

QelTriangularMesh* QEL_NewTriangularMesh(int triangleCapacity, int vertexCapacity) {
    if (triangleCapacity < 0 || vertexCapacity < 0) return nullptr;
    auto* m = static_cast<QelTriangularMesh*>(std::calloc(1, sizeof(QelTriangularMesh)));
    if (!m) return nullptr;
    m->triangleCapacity = triangleCapacity;
    m->vertexCapacity = vertexCapacity;
    m->triangles = qel::alloc_array<int[3]>(triangleCapacity);
    m->vertices = qel::alloc_array<float[3]>(vertexCapacity);
    m->vertexNormals = qel::alloc_array<float[3]>(vertexCapacity);
    if (!m->triangles || !m->vertices || !m->vertexNormals) {
        QEL_DeleteTriangularMesh(m);
        return nullptr;
    }
    return m;
}

QelTriangularMesh* QEL_CopyTriangularMesh(const QelTriangularMesh* mesh) {
    if (!counts_ok(mesh)) return nullptr;
    auto* c = static_cast<QelTriangularMesh*>(std::calloc(1, sizeof(QelTriangularMesh)));
    if (!c) return nullptr;
    c->triangleCapacity = mesh->triangleCapacity;
    c->vertexCapacity = mesh->vertexCapacity;
    c->nTriangles = mesh->nTriangles;
    c->nVertices = mesh->nVertices;
    c->maxTrianglesPerVertex = mesh->maxTrianglesPerVertex;
    bool ok = true;
    c->triangles = copy_rows(mesh->triangles, mesh->triangleCapacity);
    c->vertices = copy_rows(mesh->vertices, mesh->vertexCapacity);
    c->vertexNormals = copy_rows(mesh->vertexNormals, mesh->vertexCapacity);
    ok = c->triangles && c->vertices && c->vertexNormals;
    if (ok && mesh->colours) ok = (c->colours = copy_rows(mesh->colours, mesh->vertexCapacity));
    if (ok && mesh->triangleNormals)
        ok = (c->triangleNormals = copy_rows(mesh->triangleNormals, mesh->nTriangles));
    if (ok && mesh->neighbours) ok = (c->neighbours = copy_rows(mesh->neighbours, mesh->nTriangles));
    if (ok && mesh->vertexTriangles) {
        auto entries = qel::checked_product({mesh->nVertices, mesh->maxTrianglesPerVertex});
        ok = entries && (c->vertexTriangles = copy_rows(mesh->vertexTriangles, *entries));
    }
    if (!ok) {
        QEL_DeleteTriangularMesh(c);
        return nullptr;
    }
    return c;
}

int QEL_TrimTriangularMesh(QelTriangularMesh* mesh) {
    if (!counts_ok(mesh)) return -1;
    auto* triangles = copy_rows(mesh->triangles, mesh->nTriangles);
    auto* vertices = copy_rows(mesh->vertices, mesh->nVertices);
    auto* normals = copy_rows(mesh->vertexNormals, mesh->nVertices);
    float(*colours)[4] = nullptr;
    bool ok = triangles && vertices && normals;
    if (ok && mesh->colours) ok = (colours = copy_rows(mesh->colours, mesh->nVertices));
    if (!ok) {
        std::free(triangles);
        std::free(vertices);
        std::free(normals);
        std::free(colours);
        return -1;
    }
    std::free(mesh->triangles);
    std::free(mesh->vertices);
    std::free(mesh->vertexNormals);
    mesh->triangles = triangles;
    mesh->vertices = vertices;
    mesh->vertexNormals = normals;
    if (mesh->colours) {
        std::free(mesh->colours);
        mesh->colours = colours;
    }
    mesh->triangleCapacity = mesh->nTriangles;
    mesh->vertexCapacity = mesh->nVertices;
    return 0;
}

void QEL_DeleteTriangularMesh(QelTriangularMesh* mesh) {
    if (!mesh) return;
    std::free(mesh->triangles);
    std::free(mesh->triangleNormals);
    std::free(mesh->vertices);
    std::free(mesh->vertexNormals);
    std::free(mesh->colours);
    std::free(mesh->neighbours);
    std::free(mesh->vertexTriangles);
    std::free(mesh);
}

int QEL_AllocTriangularMeshColors(QelTriangularMesh* mesh) {
    if (!mesh || mesh->colours || mesh->vertexCapacity < 0) return -1;
    mesh->colours = qel::alloc_array<float[4]>(mesh->vertexCapacity);
    return mesh->colours ? 0 : -1;
}

int QEL_ComputeTriangleNormals(QelTriangularMesh* mesh) {
    if (!counts_ok(mesh)) return -1;
    std::free(mesh->triangleNormals);
    mesh->triangleNormals = qel::alloc_array<float[3]>(mesh->nTriangles);
    if (!mesh->triangleNormals) return -1;
    for (int i = 0; i < mesh->nTriangles; ++i) {
        const int* t = mesh->triangles[i];
        float* out = mesh->triangleNormals[i];
        out[0] = out[1] = out[2] = 0.0f;
        // A triangle pointing outside the vertices, or one without area, has no direction.
        if (!valid_vertex(mesh, t[0]) || !valid_vertex(mesh, t[1]) || !valid_vertex(mesh, t[2]))
            continue;
        const float* p0 = mesh->vertices[t[0]];
        const float* p1 = mesh->vertices[t[1]];
        const float* p2 = mesh->vertices[t[2]];
        // (P0 - P2) x (P2 - P1): the normal points away from the side from which the
        // indices run counter-clockwise.
        QelPoint3f a{p0[0] - p2[0], p0[1] - p2[1], p0[2] - p2[2]};
        QelPoint3f b{p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
        QelPoint3f n;
        QEL_Cross3f(&a, &b, &n);
        float len = QEL_Norm3f(&n);
        if (len == 0.0f) continue;
        out[0] = n.x / len;
        out[1] = n.y / len;
        out[2] = n.z / len;
    }
    return 0;
}

int QEL_BuildVertexTriangleTable(QelTriangularMesh* mesh, int max) {
    if (!counts_ok(mesh) || max < 0) return -1;
    std::free(mesh->vertexTriangles);
    mesh->vertexTriangles = nullptr;
    mesh->maxTrianglesPerVertex = 0;
    auto entries = qel::checked_product({mesh->nVertices, max});
    if (!entries) return -1;
    int* table = qel::alloc_array<int>(*entries);
    if (!table) return -1;
    for (int64_t k = 0; k < *entries; ++k) table[k] = -1;
    mesh->vertexTriangles = table;
    mesh->maxTrianglesPerVertex = max;
    for (int i = 0; i < mesh->nTriangles; ++i) {
        for (int v : mesh->triangles[i]) {
            if (!valid_vertex(mesh, v)) continue;
            int* row = table + static_cast<int64_t>(v) * max;
            // A vertex in more than max triangles keeps its first max.
            for (int s = 0; s < max; ++s) {
                if (row[s] == -1) {
                    row[s] = i;
                    break;
                }
            }
        }
    }
    QEL_PrintVertexTriangleStats(mesh);
    return 0;
}

void QEL_PrintVertexTriangleStats(const QelTriangularMesh* mesh) {
    if (!mesh || !mesh->vertexTriangles) {
        fprintf(stderr, "vertex triangles NULL\n");
        return;
    }
    int max = mesh->maxTrianglesPerVertex;
    int fullest = 0;
    for (int v = 0; v < mesh->nVertices; ++v) {
        const int* row = mesh->vertexTriangles + static_cast<int64_t>(v) * max;
        int used = 0;
        for (int s = 0; s < max; ++s)
            if (row[s] >= 0) ++used;
        if (used > fullest) fullest = used;
    }
    fprintf(stderr, "vertex triangles max = %d (<%d)\n", fullest, max);
}

int QEL_ComputeVertexNormals(QelTriangularMesh* mesh) {
    if (!counts_ok(mesh) || !mesh->triangleNormals || !mesh->vertexTriangles) return -1;
    int max = mesh->maxTrianglesPerVertex;
    for (int v = 0; v < mesh->nVertices; ++v) {
        const int* row = mesh->vertexTriangles + static_cast<int64_t>(v) * max;
        QelPoint3f sum{0.0f, 0.0f, 0.0f};
        int k = 0;
        for (int s = 0; s < max && row[s] >= 0; ++s) {
            // A table older than the triangle count may name triangles that are gone.
            if (row[s] >= mesh->nTriangles) continue;
            const float* n = mesh->triangleNormals[row[s]];
            sum.x += n[0];
            sum.y += n[1];
            sum.z += n[2];
            ++k;
        }
        float* out = mesh->vertexNormals[v];
        out[0] = out[1] = out[2] = 0.0f;
        if (k == 0) continue;  // an unused vertex has no mean direction
        float inv = 1.0f / static_cast<float>(k);
        QelPoint3f mean{sum.x * inv, sum.y * inv, sum.z * inv};
        float len = QEL_Norm3f(&mean);
        if (len == 0.0f) continue;
        out[0] = -mean.x / len;
        out[1] = -mean.y / len;
        out[2] = -mean.z / len;
    }
    return 0;
}

int QEL_FindEdgeNeighbour(const int (*triangles)[3], int nTriangles, int self, int a, int b) {
    if (!triangles) return -1;
    for (int i = 0; i < nTriangles; ++i) {
        if (i == self) continue;
        const int* t = triangles[i];
        bool hasA = t[0] == a || t[1] == a || t[2] == a;
        bool hasB = t[0] == b || t[1] == b || t[2] == b;
        if (hasA && hasB) return i;
    }
    return -1;
}

int QEL_ComputeTriangleNeighbours(QelTriangularMesh* mesh) {
    if (!counts_ok(mesh)) return -1;
    std::free(mesh->neighbours);
    mesh->neighbours = qel::alloc_array<int[3]>(mesh->nTriangles);
    if (!mesh->neighbours) return -1;
    const int(*tri)[3] = mesh->triangles;
    for (int i = 0; i < mesh->nTriangles; ++i) {
        int a = tri[i][0], b = tri[i][1], c = tri[i][2];
        mesh->neighbours[i][0] = QEL_FindEdgeNeighbour(tri, mesh->nTriangles, i, a, b);
        mesh->neighbours[i][1] = QEL_FindEdgeNeighbour(tri, mesh->nTriangles, i, b, c);
        mesh->neighbours[i][2] = QEL_FindEdgeNeighbour(tri, mesh->nTriangles, i, c, a);
    }
    return 0;
}

QelBox3f* QEL_GetTriangularMeshBoundingBox(const QelTriangularMesh* mesh) {
    if (!counts_ok(mesh) || mesh->nVertices < 1) return nullptr;
    float lo[3], hi[3];
    for (int k = 0; k < 3; ++k) lo[k] = hi[k] = mesh->vertices[0][k];
    for (int v = 1; v < mesh->nVertices; ++v) {
        for (int k = 0; k < 3; ++k) {
            float c = mesh->vertices[v][k];
            if (c < lo[k])
                lo[k] = c;
            else if (c > hi[k])
                hi[k] = c;
        }
    }
    QelPoint3f origin{lo[0], lo[1], lo[2]};
    QelSize3f size{hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    return QEL_NewBox3f(&origin, &size);
}

void QEL_FlipTriangleOrientation(QelTriangularMesh* mesh) {
    if (!mesh || !mesh->triangles) return;
    int n = mesh->nTriangles < mesh->triangleCapacity ? mesh->nTriangles : mesh->triangleCapacity;
    for (int i = 0; i < n; ++i) {
        int t = mesh->triangles[i][0];
        mesh->triangles[i][0] = mesh->triangles[i][2];
        mesh->triangles[i][2] = t;
    }
}
