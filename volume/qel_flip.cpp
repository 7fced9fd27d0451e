#include "volume/qel_flip.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "volume/qel_checked.hpp"
#include "volume/qel_record_ops.hpp"
#include "volume/qel_region.hpp"

namespace {

// The row buffer shared by the y and z flips, and its length in bytes.
unsigned char* arraySwapBuffer = nullptr;
int64_t arraySwapBufferBytes = 0;

// The rows of one channel, volume or image alike (an image is one slice deep).
struct Rows {
    void*** slices = nullptr;
    void** rows = nullptr;
    int64_t n[3] = {0, 0, 0};
    int64_t elem = 0;

    unsigned char* row(int64_t z, int64_t y) const {
        return static_cast<unsigned char*>(slices ? slices[z][y] : rows[y]);
    }
};

bool volume_rows(const QelRawVolumeData* vol, int channel, Rows* r) {
    if (!qel::has_channel(vol, channel) || !vol->slices) return false;
    const int elem = QEL_GetVoxelUnitSize(vol->unit[channel]);
    if (elem <= 0 || !vol->slices[channel]) return false;
    r->slices = vol->slices[channel];
    r->n[0] = vol->size->nx;
    r->n[1] = vol->size->ny;
    r->n[2] = vol->size->nz;
    r->elem = elem;
    return true;
}

bool image_rows(const QelRawImageData* image, int channel, Rows* r) {
    if (!qel::has_channel(image, channel) || !image->rows) return false;
    const int elem = QEL_GetVoxelUnitSize(image->unit[channel]);
    if (elem <= 0 || !image->rows[channel]) return false;
    r->rows = image->rows[channel];
    r->n[0] = image->size->nx;
    r->n[1] = image->size->ny;
    r->n[2] = 1;
    r->elem = elem;
    return true;
}

// Copies the region (origin o, size s) of src so that o lands on p in dst, limited to the
// part inside both: the source interval is cut to [0, n) and, moved by p - o, to [0, m).
// Negative origins and positions thus shrink the extent instead of reaching past the box.
void copy_region(const Rows& src, const Rows& dst, const int64_t o[3], const int64_t s[3],
                 const int64_t p[3]) {
    int64_t from[3], to[3], extent[3];
    for (int a = 0; a < 3; ++a) {
        const int64_t shift = p[a] - o[a];
        const int64_t lo = std::max({o[a], int64_t{0}, -shift});
        const int64_t hi = std::min({o[a] + s[a], src.n[a], dst.n[a] - shift});
        if (hi <= lo) return;
        from[a] = lo;
        to[a] = lo + shift;
        extent[a] = hi - lo;
    }
    const size_t bytes = static_cast<size_t>(extent[0] * src.elem);
    for (int64_t k = 0; k < extent[2]; ++k)
        for (int64_t j = 0; j < extent[1]; ++j)
            // memmove: a caller may name one channel on both sides; overlapping rows then
            // stay defined, though the regions as a whole must still not overlap.
            std::memmove(dst.row(to[2] + k, to[1] + j) + to[0] * dst.elem,
                         src.row(from[2] + k, from[1] + j) + from[0] * src.elem, bytes);
}

int flip_x(const Rows& r, const int64_t o[3], const int64_t s[3]) {
    if (s[0] < 2) return 0;
    for (int64_t z = o[2]; z < o[2] + s[2]; ++z)
        for (int64_t y = o[1]; y < o[1] + s[1]; ++y)
            QEL_ReverseElements(static_cast<int>(s[0]), r.row(z, y) + o[0] * r.elem,
                                static_cast<int>(r.elem));
    return 0;
}

// Exchanges mirror row pairs along y (axis 1) or z (axis 2), working from the outside in.
int flip_rows(const Rows& r, const int64_t o[3], const int64_t s[3], int axis) {
    if (s[0] < 1 || s[1] < 1 || s[2] < 1 || s[axis] < 2) return 0;
    const int64_t bytes = s[0] * r.elem;
    if (!qel::fits_int32(bytes)) {
        fprintf(stderr, "arraySwapBuffer allocation fault\n");
        return -1;
    }
    if (QEL_AllocateArraySwapBuffer(static_cast<int>(bytes)) != 0) return -1;
    const int64_t x = o[0] * r.elem;
    const int64_t half = s[axis] / 2;
    if (axis == 1) {
        // Slice by slice, so that the rows exchanged lie close together.
        for (int64_t z = o[2]; z < o[2] + s[2]; ++z)
            for (int64_t k = 0; k < half; ++k)
                QEL_SwapBlocks(static_cast<int>(bytes), r.row(z, o[1] + k) + x,
                               r.row(z, o[1] + s[1] - 1 - k) + x);
    } else {
        for (int64_t k = 0; k < half; ++k)
            for (int64_t y = o[1]; y < o[1] + s[1]; ++y)
                QEL_SwapBlocks(static_cast<int>(bytes), r.row(o[2] + k, y) + x,
                               r.row(o[2] + s[2] - 1 - k, y) + x);
    }
    QEL_FreeArraySwapBuffer();
    return 0;
}

// Mirrors the region along axis 0 (x), 1 (y) or 2 (z).
int flip_region(const Rows& r, const int64_t o[3], const int64_t s[3], int axis) {
    return axis == 0 ? flip_x(r, o, s) : flip_rows(r, o, s, axis);
}

// The flip steps on a bare table, the slices of a volume channel or the rows of an image
// channel; hasRegion says whether o and s were read.
int flip_table(void*** slices, void** rows, int unit, bool hasRegion, const int64_t o[3], const int64_t s[3],
               int axis) {
    Rows r;
    r.slices = slices;
    r.rows = rows;
    r.elem = QEL_GetVoxelUnitSize(unit);
    if ((!slices && !rows) || !hasRegion || r.elem <= 0) return -1;
    return flip_region(r, o, s, axis);
}

bool rect_extent(const QelRect2i* rect, int64_t o[3], int64_t s[3]) {
    if (!rect || !rect->origin || !rect->size) return false;
    o[0] = rect->origin->x;
    o[1] = rect->origin->y;
    o[2] = 0;
    s[0] = rect->size->width;
    s[1] = rect->size->height;
    s[2] = 1;
    return true;
}

// Reverses the order of the N-byte elements inside one 64-bit word.
template <size_t N>
uint64_t reverse_in_word(uint64_t w) {
    if constexpr (N == 1) return __builtin_bswap64(w);
    if constexpr (N == 2) {
        w = (w << 32) | (w >> 32);
        return ((w >> 16) & 0x0000FFFF0000FFFFull) | ((w & 0x0000FFFF0000FFFFull) << 16);
    }
    if constexpr (N == 4) return (w << 32) | (w >> 32);
    return w;
}

// Reverses n elements of N bytes: 8-byte words from both ends while they do not meet
// (each word turned round inside), then element by element in the middle.
template <size_t N>
void reverse_fixed(unsigned char* a, int n) {
    unsigned char* b = a + static_cast<size_t>(n) * N;  // one past the last element
    for (; b - a >= 16; a += 8, b -= 8) {
        uint64_t front, back;
        std::memcpy(&front, a, 8);
        std::memcpy(&back, b - 8, 8);
        front = reverse_in_word<N>(front);
        back = reverse_in_word<N>(back);
        std::memcpy(a, &back, 8);
        std::memcpy(b - 8, &front, 8);
    }
    for (b -= N; a < b; a += N, b -= N) {
        unsigned char t[N];
        std::memcpy(t, a, N);
        std::memcpy(a, b, N);
        std::memcpy(b, t, N);
    }
}

}  // namespace

void QEL_ReverseElements(int n, void* run, int elementSize) {
    if (n < 2 || !run || elementSize <= 0) return;
    auto* p = static_cast<unsigned char*>(run);
    switch (elementSize) {
        case 1: reverse_fixed<1>(p, n); return;
        case 2: reverse_fixed<2>(p, n); return;
        case 4: reverse_fixed<4>(p, n); return;
        case 8: reverse_fixed<8>(p, n); return;
        default:
            for (int64_t k = 0; k < n / 2; ++k) {
                unsigned char* a = p + k * elementSize;
                unsigned char* b = p + (n - 1 - k) * static_cast<int64_t>(elementSize);
                for (int i = 0; i < elementSize; ++i) std::swap(a[i], b[i]);
            }
    }
}

int QEL_AllocateArraySwapBuffer(int bytes) {
    QEL_FreeArraySwapBuffer();
    // A zero-length request still gets a block: only a missing block is a fault.
    if (bytes >= 0) arraySwapBuffer = static_cast<unsigned char*>(malloc(bytes > 0 ? bytes : 1));
    if (!arraySwapBuffer) {
        fprintf(stderr, "arraySwapBuffer allocation fault\n");
        return -1;
    }
    arraySwapBufferBytes = bytes;
    return 0;
}

void QEL_FreeArraySwapBuffer(void) {
    free(arraySwapBuffer);
    arraySwapBuffer = nullptr;
    arraySwapBufferBytes = 0;
}

void QEL_SwapBlocks(int bytes, void* a, void* b) {
    if (!arraySwapBuffer || bytes < 0 || bytes > arraySwapBufferBytes || !a || !b) return;
    std::memcpy(arraySwapBuffer, a, bytes);
    std::memcpy(a, b, bytes);
    std::memcpy(b, arraySwapBuffer, bytes);
}

int QEL_FlipBoxX(void*** slices, const QelBox3i* box, int unit) {
    int64_t o[3], s[3];
    return flip_table(slices, nullptr, unit, qel::box_extent(box, o, s), o, s, 0);
}

int QEL_FlipBoxY(void*** slices, const QelBox3i* box, int unit) {
    int64_t o[3], s[3];
    return flip_table(slices, nullptr, unit, qel::box_extent(box, o, s), o, s, 1);
}

int QEL_FlipBoxZ(void*** slices, const QelBox3i* box, int unit) {
    int64_t o[3], s[3];
    return flip_table(slices, nullptr, unit, qel::box_extent(box, o, s), o, s, 2);
}

int QEL_FlipRectX(void** rows, const QelRect2i* rect, int unit) {
    int64_t o[3], s[3];
    return flip_table(nullptr, rows, unit, rect_extent(rect, o, s), o, s, 0);
}

int QEL_FlipRectY(void** rows, const QelRect2i* rect, int unit) {
    int64_t o[3], s[3];
    return flip_table(nullptr, rows, unit, rect_extent(rect, o, s), o, s, 1);
}

int QEL_FlipRawVolumeData(QelRawVolumeData* vol, int channel, const QelBox3i* box, const char* axis) {
    Rows r;
    const int a = qel::axis_of_name(axis);
    if (a < 0 || !volume_rows(vol, channel, &r)) return -1;
    int64_t o[3] = {0, 0, 0}, s[3] = {r.n[0], r.n[1], r.n[2]};
    if (box && (!qel::box_extent(box, o, s) || !qel::region_inside(o, s, r.n))) return -1;
    return flip_region(r, o, s, a);
}

int QEL_FlipRawImageData(QelRawImageData* image, int channel, const QelRect2i* rect, const char* axis) {
    Rows r;
    const int a = qel::axis_of_name(axis);
    if (a < 0 || a > 1 || !image_rows(image, channel, &r)) return -1;
    int64_t o[3] = {0, 0, 0}, s[3] = {r.n[0], r.n[1], 1};
    if (rect && (!rect_extent(rect, o, s) || !qel::region_inside(o, s, r.n))) return -1;
    return flip_region(r, o, s, a);
}

void QEL_CopyBoxOfRawVolumeData(const QelRawVolumeData* src, int srcChannel, QelRawVolumeData* dst,
                                int dstChannel, const QelBox3i* box, const QelPoint3i* position) {
    Rows from, to;
    int64_t o[3], s[3];
    if (!qel::box_extent(box, o, s) || !position) return;
    if (!volume_rows(src, srcChannel, &from) || !volume_rows(dst, dstChannel, &to)) return;
    // Attributes are not compared: packed RGBA and plain 32-bit words copy alike.
    if (src->unit[srcChannel] != dst->unit[dstChannel]) return;
    const int64_t p[3] = {position->x, position->y, position->z};
    copy_region(from, to, o, s, p);
}

void QEL_CopyRectOfRawImageData(const QelRawImageData* src, int srcChannel, QelRawImageData* dst,
                                int dstChannel, const QelRect2i* rect, const QelPoint2i* position) {
    Rows from, to;
    int64_t o[3], s[3];
    if (!rect_extent(rect, o, s) || !position) return;
    if (!image_rows(src, srcChannel, &from) || !image_rows(dst, dstChannel, &to)) return;
    if (src->unit[srcChannel] != dst->unit[dstChannel]) return;
    const int64_t p[3] = {position->x, position->y, 0};
    copy_region(from, to, o, s, p);
}
