// Internal: what "inside" means for the two kinds of mask, the scan for surface voxels and the
// brick meshes, shared by the public brick functions and the pipeline.
#pragma once
#include <cstdint>
#include <cstring>

#include "objects/qel_mesh.h"
#include "volume/qel_geometry.h"

namespace voxelsurfacer {

// Grey masks: 8-bit, non-zero is inside.
struct SetByte {
    using Elem = uint8_t;
    bool operator()(uint8_t v) const { return v != 0; }
};

// Packed RGBA masks: inside when the alpha byte is above the threshold.
struct OpaqueWord {
    using Elem = uint32_t;
    uint8_t threshold;
    bool operator()(uint32_t w) const { return (w & 0xFFu) > threshold; }
};

// Counts the inside face neighbours of (x, y, z).
template <class Inside>
int count_inside_neighbours(void*** slices, int x, int y, int z, Inside inside) {
    using T = typename Inside::Elem;
    auto at = [&](int i, int j, int k) { return static_cast<const T*>(slices[k][j])[i]; };
    return int(inside(at(x - 1, y, z))) + int(inside(at(x + 1, y, z))) + int(inside(at(x, y - 1, z))) +
           int(inside(at(x, y + 1, z))) + int(inside(at(x, y, z - 1))) + int(inside(at(x, y, z + 1)));
}

// Face bits of a brick, in writing order: -z, +z, -y, +y, -x, +x.
constexpr unsigned kFaceBits = 0x3F;

// Visits every surface voxel of the interior 1..n-2 of a padded 0/1 byte mask (x fastest), z
// outermost, x innermost: visit(x, y, z, faces) with faces the bits of its exposed faces (those
// whose neighbour is 0). Eight voxels are tested at once; a word of outside voxels costs one
// load.
template <class Visit>
void scan_surface_bytes(const uint8_t* mask, int64_t nx, int64_t ny, int64_t nz, Visit&& visit) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    auto load = [](const uint8_t* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    const int64_t sy = nx, sz = nx * ny;
    for (int64_t z = 1; z < nz - 1; ++z) {
        for (int64_t y = 1; y < ny - 1; ++y) {
            const uint8_t* row = mask + y * sy + z * sz;
            int64_t x = 1;
            // Words of eight voxels whose +x neighbours still lie in the row.
            for (; x + 8 <= nx - 1; x += 8) {
                const uint64_t centre = load(row + x);
                if (!centre) continue;
                // 1 in a byte where the neighbour is outside, moved to its face bit.
                const uint64_t code = ((load(row + x - sz) ^ kOnes)) | ((load(row + x + sz) ^ kOnes) << 1) |
                                      ((load(row + x - sy) ^ kOnes) << 2) | ((load(row + x + sy) ^ kOnes) << 3) |
                                      ((load(row + x - 1) ^ kOnes) << 4) | ((load(row + x + 1) ^ kOnes) << 5);
                // centre bytes are 0 or 1: times 0x3F keeps the codes of inside voxels only.
                for (uint64_t m = code & (centre * kFaceBits); m;) {
                    const int byte = __builtin_ctzll(m) >> 3;
                    visit(x + byte, y, z, static_cast<unsigned>((m >> (8 * byte)) & kFaceBits));
                    m &= ~(uint64_t{0xFF} << (8 * byte));
                }
            }
            for (; x < nx - 1; ++x) {
                if (!row[x]) continue;
                const unsigned faces = unsigned(!row[x - sz]) | unsigned(!row[x + sz]) << 1 |
                                       unsigned(!row[x - sy]) << 2 | unsigned(!row[x + sy]) << 3 |
                                       unsigned(!row[x - 1]) << 4 | unsigned(!row[x + 1]) << 5;
                if (faces) visit(x, y, z, faces);
            }
        }
    }
}

// The brick of voxel (x, y, z) with the given exposed faces, each 4 vertices of its own and the
// triangles (k, k+1, k+2) and (k+2, k+3, k). normals: the eight corner normals (corner
// cx | cy << 1 | cz << 2), or NULL for the faces' own axis normals. NULL without memory.
QelTriangularMesh* build_brick(unsigned faces, int x, int y, int z, const float scale[3], const QelPoint3f* normals);

// The CornerGradient of the eight corners of voxel (x, y, z) in an 8-bit channel.
void corner_normals(void*** normalSlices, int x, int y, int z, QelPoint3f out[8]);

}  // namespace voxelsurfacer
