// Typed 1-D to 4-D arrays: one zero-filled block of elements plus pointer tables into it.
#include <cstdlib>
#include <cstring>

#include "volume/qel_checked.hpp"
#include "volume/qel_huge_pages.hpp"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_units.h"

namespace {

// A zero-filled block of count elements; an invalid unit has element size 0 and gets an
// empty (but real) block, so that records holding such a channel stay consistent. A large block
// is filled right after, most often, so that huge pages spare most of its page faults.
void* allocate_block(int64_t count, int unit) {
    const auto bytes = qel::checked_product({count, QEL_GetVoxelUnitSize(unit)});
    if (!bytes || static_cast<uint64_t>(*bytes) > SIZE_MAX) return nullptr;
    void* block = std::calloc(*bytes > 0 ? static_cast<size_t>(*bytes) : 1, 1);
    qel::advise_huge_pages(block, static_cast<size_t>(*bytes));
    return block;
}

// A table of n pointers, zeroed so that a partly filled table can be released.
template <class P>
P* allocate_table(int64_t n) {
    return static_cast<P*>(std::calloc(static_cast<size_t>(n), sizeof(P)));
}

// Points the ny rows of one slice at consecutive runs of nx elements from first.
void fill_rows(void** rows, char* first, int64_t nx, int ny, int unit) {
    const int64_t row_bytes = nx * QEL_GetVoxelUnitSize(unit);
    for (int y = 0; y < ny; ++y) rows[y] = first + y * row_bytes;
}

void release_slices(void*** slices, int nz) {
    for (int z = 0; z < nz; ++z) std::free(slices[z]);
    std::free(slices);
}

}  // namespace

void* QEL_AllocateTypedArray(int n, int unit) {
    if (n <= 0) return nullptr;
    return allocate_block(n, unit);
}

void** QEL_NewTypedArray2D(int nx, int ny, int unit) {
    const auto count = qel::checked_voxels({nx, ny});
    if (!count) return nullptr;
    void* block = allocate_block(*count, unit);
    if (!block) return nullptr;
    void** rows = allocate_table<void*>(ny);
    if (!rows) {
        std::free(block);
        return nullptr;
    }
    fill_rows(rows, static_cast<char*>(block), nx, ny, unit);
    return rows;
}

void*** QEL_NewTypedArray3D(int nx, int ny, int nz, int unit) {
    const auto count = qel::checked_voxels({nx, ny, nz});
    if (!count) return nullptr;
    void* block = allocate_block(*count, unit);
    if (!block) return nullptr;
    void*** slices = allocate_table<void**>(nz);
    if (!slices) {
        std::free(block);
        return nullptr;
    }
    const int64_t slice_bytes = static_cast<int64_t>(nx) * ny * QEL_GetVoxelUnitSize(unit);
    for (int z = 0; z < nz; ++z) {
        slices[z] = allocate_table<void*>(ny);
        if (!slices[z]) {
            release_slices(slices, z);
            std::free(block);
            return nullptr;
        }
        fill_rows(slices[z], static_cast<char*>(block) + z * slice_bytes, nx, ny, unit);
    }
    return slices;
}

void**** QEL_NewTypedArray4D(int nx, int ny, int nz, int nw, int unit) {
    const auto count = qel::checked_voxels({nx, ny, nz, nw});
    if (!count) return nullptr;
    void* block = allocate_block(*count, unit);
    if (!block) return nullptr;
    void**** top = allocate_table<void***>(nw);
    bool ok = top != nullptr;
    for (int w = 0; ok && w < nw; ++w) ok = (top[w] = allocate_table<void**>(nz)) != nullptr;
    for (int w = 0; ok && w < nw; ++w)
        for (int z = 0; ok && z < nz; ++z) ok = (top[w][z] = allocate_table<void*>(ny)) != nullptr;
    if (!ok) {
        // Tables are zeroed, so exactly what was allocated is non-NULL.
        for (int w = 0; top && w < nw && top[w]; ++w) release_slices(top[w], nz);
        std::free(top);
        std::free(block);
        return nullptr;
    }
    const int64_t slice_bytes = static_cast<int64_t>(nx) * ny * QEL_GetVoxelUnitSize(unit);
    char* base = static_cast<char*>(block);
    for (int w = 0; w < nw; ++w)
        for (int z = 0; z < nz; ++z)
            fill_rows(top[w][z], base + (static_cast<int64_t>(w) * nz + z) * slice_bytes, nx, ny, unit);
    return top;
}

void* QEL_GetTypedArray2DBase(void** rows, int unit) {
    if (!rows || !QEL_IsValidVoxelUnit(unit)) return nullptr;
    return rows[0];
}

void* QEL_GetTypedArray3DBase(void*** slices, int unit) {
    if (!slices || !QEL_IsValidVoxelUnit(unit)) return nullptr;
    return slices[0][0];
}

void* QEL_GetTypedArray4DBase(void**** top, int unit) {
    if (!top || !QEL_IsValidVoxelUnit(unit)) return nullptr;
    return top[0][0][0];
}

void QEL_DeleteTypedArray1D(void* block) { std::free(block); }

// The deleters reach the block directly (every array has at least one row), so it is
// released whatever the unit.
void QEL_DeleteTypedArray2D(void** rows, int, int, int) {
    if (!rows) return;
    std::free(rows[0]);
    std::free(rows);
}

void QEL_DeleteTypedArray3D(void*** slices, int, int, int nz, int) {
    if (!slices) return;
    std::free(slices[0][0]);
    release_slices(slices, nz);
}

void QEL_DeleteTypedArray4D(void**** top, int, int, int nz, int nw, int) {
    if (!top) return;
    std::free(top[0][0][0]);
    for (int w = 0; w < nw; ++w) release_slices(top[w], nz);
    std::free(top);
}

void* QEL_GetRowOfTypedArray2D(void** rows, int unit, int y) {
    if (!rows || !QEL_IsValidVoxelUnit(unit)) return nullptr;
    return rows[y];
}

void* QEL_GetRowOfTypedArray3D(void*** slices, int unit, int z, int y) {
    if (!slices || !QEL_IsValidVoxelUnit(unit)) return nullptr;
    return slices[z][y];
}

void** QEL_GetSliceOfTypedArray4D(void**** top, int unit, int w, int z) {
    if (!top || !QEL_IsValidVoxelUnit(unit)) return nullptr;
    return top[w][z];
}

void* QEL_GetRowOfTypedArray4D(void**** top, int unit, int w, int z, int y) {
    if (!top || !QEL_IsValidVoxelUnit(unit)) return nullptr;
    return top[w][z][y];
}

void* QEL_GetTableEntry(void** table, int, int i) { return table[i]; }

void* QEL_GetChannelTable(void** table, int, int i) { return table[i]; }

double QEL_GetValueOfTypedArray(const void* data, int unit, int n, int i) {
    if (!data || i < 0 || i >= n) return 0.0;
    return qel::dispatch_unit<double>(unit, 0.0, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return static_cast<double>(static_cast<const T*>(data)[i]);
    });
}

void QEL_SwapBytes(char* a, char* b) {
    const char t = *a;
    *a = *b;
    *b = t;
}
