// The brick mesher: every inside voxel of the settings' channel that touches the outside gets
// its own small mesh, its brick (the exposed faces of the voxel's cube, two triangles per
// face), and the bricks form the group that is uploaded to the host.
//
// Coordinates are those of the padded working volumes: voxel (x, y, z) of the halved (or full)
// channel is (x + 1, y + 1, z + 1) there. A brick spans ((c - 0.5) - 1) * s to
// ((c + 0.5) - 1) * s on each axis, s being 2 on an axis that was halved and 1 otherwise.
#pragma once
#include <cstdint>

#include "mesher_settings.h"
#include "objects/qel_mesh.h"
#include "volume/qel_geometry.h"
#include "volume/qel_units.h"

// One mesher run with the grey window and volume of interest of settings->hostState, as
// MeshVolume. -1 without a host state.
int RunMesher(MesherSettings* settings);

// One mesher run on channel 0 of settings->volume with the host's grey window and volume of
// interest (NULL, or a size of 0 on some axis: the whole volume). On success the new group
// replaces settings->group and the result is 0; -1 leaves the previous group in place.
// The gradient mode chooses MeshSmooth (MESHER_GRADIENT_USE) or MeshFlat (MESHER_GRADIENT_UNUSE),
// the channel's attribute the grey (0) or RGBA (2, unit 4) pipeline.
int MeshVolume(MesherSettings* settings, const QelValueRange* greyscale, const QelBox3i* voi);
int MeshSmooth(MesherSettings* settings, const QelValueRange* greyscale, const QelBox3i* voi);
int MeshFlat(MesherSettings* settings, const QelValueRange* greyscale, const QelBox3i* voi);
int MeshGreySmooth(MesherSettings* settings, const QelValueRange* greyscale, const QelBox3i* voi);
int MeshRgbaSmooth(MesherSettings* settings, const QelValueRange* greyscale, const QelBox3i* voi);
int MeshGreyFlat(MesherSettings* settings, const QelValueRange* greyscale, const QelBox3i* voi);
int MeshRgbaFlat(MesherSettings* settings, const QelValueRange* greyscale, const QelBox3i* voi);

// Puts group in place of settings->group (deleting the old one) when the host can take its
// payload; otherwise prints one line, deletes group and returns -1, the old group kept.
int InstallMeshGroup(MesherSettings* settings, QelDataObjectGroup* group);

// Face neighbours (x +- 1, y +- 1, z +- 1) that are inside: a non-zero byte of an 8-bit
// channel, or an alpha byte (bits 0-7) above alphaThreshold of a packed channel.
// slices is the channel's slice table; the six neighbours must exist.
int CountSetFaceNeighbours(void*** slices, int x, int y, int z);
int CountOpaqueFaceNeighbours(void*** slices, int x, int y, int z, uint8_t alphaThreshold);

// Normal at the centre of the 2x2x2 cell of an 8-bit channel whose low corner is (x, y, z):
// (low half - high half) per axis, normalised (a zero vector stays zero).
void CornerGradient(void*** slices, int x, int y, int z, QelPoint3f* out);

// The brick of voxel (x, y, z), which has n inside face neighbours: 6 - n faces, in the order
// -z, +z, -y, +y, -x, +x, each 4 vertices of its own and the triangles (k, k+1, k+2) and
// (k+2, k+3, k). Flat bricks give every vertex its face's normal; smooth bricks the
// CornerGradient of its corner in normalSlices (the grey shade or the alpha bytes).
// NULL when the mesh cannot be made or n does not match the neighbours.
QelTriangularMesh* MakeBrickMeshFlat(void*** mask, int x, int y, int z, const float scale[3], int n);
QelTriangularMesh* MakeBrickMeshFlatRgba(void*** mask, int x, int y, int z, const float scale[3], int n,
                                         uint8_t alphaThreshold);
QelTriangularMesh* MakeBrickMeshSmooth(void*** mask, void*** normalSlices, int x, int y, int z,
                                       const float scale[3], int n);
QelTriangularMesh* MakeBrickMeshSmoothRgba(void*** mask, void*** normalSlices, int x, int y, int z,
                                           const float scale[3], int n, uint8_t alphaThreshold);
