// Brick meshes: the exposed faces of one voxel's cube with flat or corner-gradient normals.
#include <cstdint>

#include "brick_mesher.h"
#include "brick_scan.hpp"

namespace {

using voxelsurfacer::OpaqueWord;
using voxelsurfacer::SetByte;

// Cube corners are numbered cx | cy << 1 | cz << 2, each bit 0 for the low side, 1 for the high.
struct Face {
    int dx, dy, dz;   // the neighbour that hides the face
    int corners[4];   // in writing order
};

// Faces in writing order. Seen from outside every face turns clockwise, so by the right-hand
// rule the triangles face into the brick while the normals point out of it.
constexpr Face kFaces[6] = {
    {0, 0, -1, {0, 1, 3, 2}},
    {0, 0, 1, {4, 6, 7, 5}},
    {0, -1, 0, {0, 4, 5, 1}},
    {0, 1, 0, {2, 3, 7, 6}},
    {-1, 0, 0, {0, 2, 6, 4}},
    {1, 0, 0, {1, 5, 7, 3}},
};

// Exposed faces of (x, y, z) as bits 0..5 in kFaces order.
template <class Inside>
unsigned exposed_faces(void*** mask, int x, int y, int z, Inside inside) {
    using T = typename Inside::Elem;
    unsigned bits = 0;
    for (int f = 0; f < 6; ++f) {
        const Face& face = kFaces[f];
        const T v = static_cast<const T*>(mask[z + face.dz][y + face.dy])[x + face.dx];
        if (!inside(v)) bits |= 1u << f;
    }
    return bits;
}

}  // namespace

QelTriangularMesh* voxelsurfacer::build_brick(unsigned faces, int x, int y, int z, const float scale[3],
                                              const QelPoint3f* normals) {
    const int nFaces = __builtin_popcount(faces);
    QelTriangularMesh* mesh = QEL_NewTriangularMesh(2 * nFaces, 4 * nFaces);
    if (!mesh) return nullptr;
    mesh->nTriangles = 2 * nFaces;
    mesh->nVertices = 4 * nFaces;

    // Single precision on purpose, step by step: the host gets the same bits every time.
    const int c[3] = {x, y, z};
    float lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        const float centre = static_cast<float>(c[a]);
        lo[a] = ((centre - 0.5f) - 1.0f) * scale[a];
        hi[a] = ((centre + 0.5f) - 1.0f) * scale[a];
    }

    int k = 0;
    int t = 0;
    for (int f = 0; f < 6; ++f) {
        if (!(faces & (1u << f))) continue;
        const Face& face = kFaces[f];
        for (int v = 0; v < 4; ++v) {
            const int corner = face.corners[v];
            float* p = mesh->vertices[k + v];
            p[0] = (corner & 1) ? hi[0] : lo[0];
            p[1] = (corner & 2) ? hi[1] : lo[1];
            p[2] = (corner & 4) ? hi[2] : lo[2];
            float* nrm = mesh->vertexNormals[k + v];
            if (normals) {
                nrm[0] = normals[corner].x;
                nrm[1] = normals[corner].y;
                nrm[2] = normals[corner].z;
            } else {
                nrm[0] = static_cast<float>(face.dx);
                nrm[1] = static_cast<float>(face.dy);
                nrm[2] = static_cast<float>(face.dz);
            }
        }
        int* a = mesh->triangles[t];
        a[0] = k, a[1] = k + 1, a[2] = k + 2;
        int* b = mesh->triangles[t + 1];
        b[0] = k + 2, b[1] = k + 3, b[2] = k;
        k += 4;
        t += 2;
    }
    return mesh;
}

void voxelsurfacer::corner_normals(void*** normalSlices, int x, int y, int z, QelPoint3f out[8]) {
    for (int corner = 0; corner < 8; ++corner)
        CornerGradient(normalSlices, x - 1 + (corner & 1), y - 1 + ((corner >> 1) & 1), z - 1 + ((corner >> 2) & 1),
                       &out[corner]);
}

namespace {

template <class Inside>
QelTriangularMesh* make_brick(void*** mask, void*** normalSlices, int x, int y, int z, const float scale[3], int n,
                              Inside inside) {
    if (!mask || !scale) return nullptr;
    const unsigned faces = exposed_faces(mask, x, y, z, inside);
    if (__builtin_popcount(faces) != 6 - n) return nullptr;
    if (!normalSlices) return voxelsurfacer::build_brick(faces, x, y, z, scale, nullptr);
    QelPoint3f normals[8];
    voxelsurfacer::corner_normals(normalSlices, x, y, z, normals);
    return voxelsurfacer::build_brick(faces, x, y, z, scale, normals);
}

}  // namespace

int CountSetFaceNeighbours(void*** slices, int x, int y, int z) {
    return voxelsurfacer::count_inside_neighbours(slices, x, y, z, SetByte{});
}

int CountOpaqueFaceNeighbours(void*** slices, int x, int y, int z, uint8_t alphaThreshold) {
    return voxelsurfacer::count_inside_neighbours(slices, x, y, z, OpaqueWord{alphaThreshold});
}

void CornerGradient(void*** slices, int x, int y, int z, QelPoint3f* out) {
    int g[3] = {0, 0, 0};
    for (int k = 0; k < 2; ++k) {
        for (int j = 0; j < 2; ++j) {
            const uint8_t* row = static_cast<const uint8_t*>(slices[z + k][y + j]);
            for (int i = 0; i < 2; ++i) {
                const int v = row[x + i];
                // Low half adds, high half subtracts: the normal points from bright to dark.
                g[0] += i ? -v : v;
                g[1] += j ? -v : v;
                g[2] += k ? -v : v;
            }
        }
    }
    out->x = static_cast<float>(g[0]);
    out->y = static_cast<float>(g[1]);
    out->z = static_cast<float>(g[2]);
    QEL_Normalize3f(out);
}

QelTriangularMesh* MakeBrickMeshFlat(void*** mask, int x, int y, int z, const float scale[3], int n) {
    return make_brick(mask, nullptr, x, y, z, scale, n, SetByte{});
}

QelTriangularMesh* MakeBrickMeshFlatRgba(void*** mask, int x, int y, int z, const float scale[3], int n,
                                         uint8_t alphaThreshold) {
    return make_brick(mask, nullptr, x, y, z, scale, n, OpaqueWord{alphaThreshold});
}

QelTriangularMesh* MakeBrickMeshSmooth(void*** mask, void*** normalSlices, int x, int y, int z,
                                       const float scale[3], int n) {
    if (!normalSlices) return nullptr;
    return make_brick(mask, normalSlices, x, y, z, scale, n, SetByte{});
}

QelTriangularMesh* MakeBrickMeshSmoothRgba(void*** mask, void*** normalSlices, int x, int y, int z,
                                           const float scale[3], int n, uint8_t alphaThreshold) {
    if (!normalSlices) return nullptr;
    return make_brick(mask, normalSlices, x, y, z, scale, n, OpaqueWord{alphaThreshold});
}
