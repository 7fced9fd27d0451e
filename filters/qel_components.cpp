// Connected components. Labelling is one raster pass of union-find over runs of foreground
// voxels (each new provisional label joins the sets of the runs it touches in earlier rows, the
// smaller label becoming the root), then a relabelling in increasing order of the roots. The
// root of a set is the label of the component's first run, which holds its first voxel in
// storage order, so the numbering is the one that repeated minimum propagation and compaction
// would give, without repeated passes and without a padded copy.
#include "filters/qel_components.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "volume/qel_huge_pages.hpp"
#include "filters/qel_region_grow.hpp"
#include "volume/qel_binary.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Block = std::unique_ptr<T, FreeDeleter>;

template <class T>
T* alloc_array(int64_t n, bool zeroed = false) {
    if (n < 0) return nullptr;
    const size_t count = n > 0 ? static_cast<size_t>(n) : 1;
    return static_cast<T*>(zeroed ? std::calloc(count, sizeof(T)) : std::malloc(count * sizeof(T)));
}

constexpr uint32_t kTooManyLabels = 0x7FFFFFFF;

// Union-find over provisional labels 1..count with the smallest label of a set as its root.
struct Labels {
    Block<uint32_t> parent;
    uint32_t count = 0;

    bool init(int64_t bound) {
        parent.reset(alloc_array<uint32_t>(bound + 1));
        if (parent) qel::advise_huge_pages(parent.get(), static_cast<size_t>(bound + 1) * sizeof(uint32_t));
        return parent != nullptr;
    }

    uint32_t find(uint32_t a) {
        uint32_t* p = parent.get();
        while (p[a] != a) {
            p[a] = p[p[a]];
            a = p[a];
        }
        return a;
    }
    uint32_t unite(uint32_t a, uint32_t b) {
        a = find(a);
        b = find(b);
        if (a == b) return a;
        uint32_t* p = parent.get();
        if (a < b) {
            p[b] = a;
            return a;
        }
        p[a] = b;
        return b;
    }
    // Final numbers in place: roots 1, 2, ... in increasing label order, every other label the
    // number of its root (its parent is smaller, so it is final already).
    uint32_t compact() {
        uint32_t* p = parent.get();
        uint32_t n = 0;
        p[0] = 0;
        for (uint32_t l = 1; l <= count; ++l) p[l] = p[l] == l ? ++n : p[p[l]];
        return n;
    }
};

// How runs of foreground voxels in a row connect to the runs of the rows already visited. The
// neighbours of a connectivity that a raster scan meets first lie in the row itself (x - 1) and
// in four earlier rows; per earlier row their x displacements form intervals [dmin, dmax], and a
// run [s, e) touches a run [a, b) of that row when a <= e - 1 + dmax and b - 1 >= s + dmin.
struct RunLinks {
    // Earlier rows, as (y, z) relative to the row: (-1, 0), (-1, -1), (0, -1), (1, -1).
    static constexpr int kRowDy[4] = {-1, -1, 0, 1};
    static constexpr int kRowDz[4] = {0, -1, -1, -1};
    struct Link {
        int row, dmin, dmax;
    };
    int count = 0;
    Link link[8];
    bool joinsLeft = false;  // x - 1 is a neighbour: a run is a maximal span, else one voxel
};

// Neighbours are taken both ways (q is a neighbour of p when p is one of q), which is what makes
// them components. False when a neighbour reaches further than one voxel.
bool run_links(const int (*d)[3], int n, RunLinks* links) {
    bool dx[4][3] = {};
    for (int i = 0; i < n; ++i) {
        int x = d[i][0], y = d[i][1], z = d[i][2];
        if (x < -1 || x > 1 || y < -1 || y > 1 || z < -1 || z > 1) return false;
        if (z > 0 || (z == 0 && (y > 0 || (y == 0 && x > 0)))) {
            x = -x;  // the same link, seen from the later voxel
            y = -y;
            z = -z;
        }
        if (z == 0 && y == 0) {
            if (x == -1) links->joinsLeft = true;
            continue;
        }
        for (int r = 0; r < 4; ++r)
            if (RunLinks::kRowDy[r] == y && RunLinks::kRowDz[r] == z) dx[r][x + 1] = true;
    }
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 3; ++x) {
            if (!dx[r][x] || (x > 0 && dx[r][x - 1])) continue;
            int end = x;
            while (end + 1 < 3 && dx[r][end + 1]) ++end;
            links->link[links->count++] = {r, x - 1, end - 1};
        }
    return true;
}

// Foreground bits of the rows of two slices (the current one and the one before), 64 voxels
// to a word, bits past the row's end 0; and per row the bits of the first voxels of its runs.
struct RowBits {
    Block<uint64_t> words;
    int64_t perRow = 0, ny = 0;

    bool init(int64_t nx, int64_t rows) {
        ny = rows;
        perRow = (nx + 63) / 64;
        const auto n = qel::checked_product({4, rows, perRow});
        if (!n) return false;
        words.reset(alloc_array<uint64_t>(*n));
        return words != nullptr;
    }
    uint64_t* row(int64_t y, int64_t z) { return words.get() + 2 * perRow * (y + ny * (z & 1)); }
    static const uint64_t* starts(const uint64_t* row, int64_t perRow) { return row + perRow; }
    void set_starts(uint64_t* row) const {
        uint64_t carry = 0;
        for (int64_t w = 0; w < perRow; ++w) {
            const uint64_t b = row[w];
            row[perRow + w] = b & ~((b << 1) | carry);
            carry = b >> 63;
        }
    }
};

// Calls fn(p) once for every run of a row that meets [lo, hi], with p its first voxel in that
// range: the run's first voxel, or lo for a run already under way there.
template <class Fn>
inline void for_runs_meeting(const uint64_t* bits, const uint64_t* starts, int64_t lo, int64_t hi, Fn&& fn) {
    const int64_t w0 = lo >> 6, w1 = hi >> 6;
    const uint64_t from = ~uint64_t{0} << (lo & 63), upTo = ~uint64_t{0} >> (63 - (hi & 63));
    const uint64_t under = bits[w0] & (uint64_t{1} << (lo & 63));
    if (w0 == w1) {
        for (uint64_t m = (starts[w0] & from & upTo) | under; m; m &= m - 1) fn((w0 << 6) + __builtin_ctzll(m));
        return;
    }
    for (uint64_t m = (starts[w0] & from) | under; m; m &= m - 1) fn((w0 << 6) + __builtin_ctzll(m));
    for (int64_t w = w0 + 1; w < w1; ++w)
        for (uint64_t m = starts[w]; m; m &= m - 1) fn((w << 6) + __builtin_ctzll(m));
    for (uint64_t m = starts[w1] & upTo; m; m &= m - 1) fn((w1 << 6) + __builtin_ctzll(m));
}

// First set bit at or after x, or n.
inline int64_t next_set(const uint64_t* bits, int64_t x, int64_t n) {
    if (x >= n) return n;
    int64_t w = x >> 6;
    uint64_t b = bits[w] & (~uint64_t{0} << (x & 63));
    const int64_t last = (n - 1) >> 6;
    while (!b) {
        if (++w > last) return n;
        b = bits[w];
    }
    return std::min(n, (w << 6) + __builtin_ctzll(b));
}

// First clear bit at or after x, or n.
inline int64_t next_clear(const uint64_t* bits, int64_t x, int64_t n) {
    if (x >= n) return n;
    int64_t w = x >> 6;
    uint64_t b = ~bits[w] & (~uint64_t{0} << (x & 63));
    const int64_t last = (n - 1) >> 6;
    while (!b) {
        if (++w > last) return n;
        b = ~bits[w];
    }
    return std::min(n, (w << 6) + __builtin_ctzll(b));
}

// A row holds at most one new provisional label per run: (w + 1) / 2 for a row of w voxels when
// runs are maximal spans, w when every voxel is a run of its own. The table is allocated for
// that many but only touched as labels appear.
int64_t label_bound(int64_t nx, int64_t ny, int64_t nz, const RunLinks& links) {
    return ny * nz * (links.joinsLeft ? (nx + 1) / 2 : nx);
}

enum class LabelResult { kDone, kTooMany, kNoMemory };

// Provisional labelling in storage order of a grid of nx * ny * nz cells, run by run: every
// run of foreground voxels takes a label joined with the sets of the runs it touches in earlier
// rows (found through their foreground bits, their labels read from the cells), or a new one,
// and its cells are set to it; other cells are left as they are (0). rowForeground(row, bits)
// fills the row's foreground bits before any cell of the row is written. labels.parent must
// hold label_bound + 1 entries. Links is the link count when it is fixed.
//
// SingleCells: every link reaches just the cell beside each voxel (dmin = dmax = 0, as under
// 6-connectivity), so that a run reads its neighbours' labels cell by cell, background cells
// reading 0 and missing rows a row of zeros, with no branch on where the neighbouring runs
// start.
template <int Links, bool SingleCells, class RowForeground>
LabelResult label_runs_n(uint32_t* cells, int64_t nx, int64_t ny, int64_t nz, const RunLinks& links,
                         Labels& labels, RowForeground rowForeground) {
    const int linkCount = Links < 0 ? links.count : Links;
    uint32_t* parent = labels.parent.get();
    uint32_t count = 0;
    RowBits bits;
    if (!bits.init(nx, ny)) return LabelResult::kNoMemory;
    Block<uint32_t> zeros(SingleCells ? alloc_array<uint32_t>(nx, true) : nullptr);
    if (SingleCells && !zeros) return LabelResult::kNoMemory;
    for (int64_t z = 0; z < nz; ++z)
        for (int64_t y = 0; y < ny; ++y) {
            // Bits and cells of the earlier row each link reads, or nothing.
            const uint64_t* linkBits[8];
            const uint32_t* linkCells[8];
            for (int i = 0; i < linkCount; ++i) {
                const int r = links.link[i].row;
                const int64_t yy = y + RunLinks::kRowDy[r], zz = z + RunLinks::kRowDz[r];
                const bool present = yy >= 0 && yy < ny && zz >= 0;
                linkBits[i] = present ? bits.row(yy, zz) : nullptr;
                linkCells[i] = present ? cells + nx * (yy + ny * zz) : zeros.get();
            }
            const int64_t row = y + ny * z;
            uint64_t* own = bits.row(y, z);
            rowForeground(row, own);
            bits.set_starts(own);
            uint32_t* cellRow = cells + nx * row;
            for (int64_t first = next_set(own, 0, nx); first < nx;) {
                const int64_t end = links.joinsLeft ? next_clear(own, first, nx) : first + 1;
                uint32_t lab = 0;
                if constexpr (SingleCells) {
                    // seen[i]: the link's last label, already joined; a neighbouring run is
                    // joined once however many voxels it shares with the run.
                    uint32_t seen[Links > 0 ? Links : 8] = {};
                    for (int64_t x = first; x < end; ++x)
                        for (int i = 0; i < linkCount; ++i) {
                            const uint32_t l = linkCells[i][x];
                            if (__builtin_expect((l != 0) & (lab != 0) & (l != lab) & (l != seen[i]), 0))
                                lab = labels.unite(lab, l);
                            else
                                lab = lab ? lab : l;
                            seen[i] = l;
                        }
                }
                for (int i = 0; i < linkCount && !SingleCells; ++i) {
                    if (!linkBits[i]) continue;
                    const int64_t lo = std::max<int64_t>(0, first + links.link[i].dmin);
                    const int64_t hi = std::min<int64_t>(nx - 1, end - 1 + links.link[i].dmax);
                    if (lo > hi) continue;
                    const uint32_t* neighbourCells = linkCells[i];
                    for_runs_meeting(linkBits[i], RowBits::starts(linkBits[i], bits.perRow), lo, hi, [&](int64_t p) {
                        const uint32_t l = neighbourCells[p];
                        lab = !lab ? l : l == lab ? lab : labels.unite(lab, l);
                    });
                }
                // A run that meets no earlier run opens a new set; the next free label is made
                // a root beforehand either way, which spares a branch that random masks mispredict.
                if (count >= kTooManyLabels - 1) return LabelResult::kTooMany;
                const uint32_t fresh = count + 1;
                parent[fresh] = fresh;
                count += lab == 0;
                lab = lab ? lab : fresh;
                for (int64_t x = first; x < end; ++x) cellRow[x] = lab;
                first = next_set(own, end, nx);
            }
        }
    labels.count = count;
    return LabelResult::kDone;
}

// The link counts of 6-, 18- and 26-connectivity get loops of fixed length.
template <class RowForeground>
LabelResult label_runs(uint32_t* cells, int64_t nx, int64_t ny, int64_t nz, const RunLinks& links, Labels& labels,
                       RowForeground rowForeground) {
    bool single = true;
    for (int i = 0; i < links.count; ++i) single = single && links.link[i].dmin == 0 && links.link[i].dmax == 0;
    switch (links.count) {
        case 2:
            if (single) return label_runs_n<2, true>(cells, nx, ny, nz, links, labels, rowForeground);
            return label_runs_n<2, false>(cells, nx, ny, nz, links, labels, rowForeground);
        case 4: return label_runs_n<4, false>(cells, nx, ny, nz, links, labels, rowForeground);
        default: return label_runs_n<-1, false>(cells, nx, ny, nz, links, labels, rowForeground);
    }
}

// Sets the row's foreground bits: bit x of word x / 64 for voxel x, the rest 0.
template <class Test>
inline void fill_row_bits(uint64_t* bits, int64_t nx, Test&& test) {
    for (int64_t w = 0, x = 0; x < nx; ++w) {
        uint64_t b = 0;
        const int64_t n = std::min<int64_t>(64, nx - x);
        for (int64_t k = 0; k < n; ++k) b |= uint64_t{test(x + k)} << k;
        bits[w] = b;
        x += n;
    }
}

// The same for bytes, eight at a time: a byte is foreground exactly when it is non-zero.
inline void fill_row_bits_of_bytes(uint64_t* bits, const void* row, int64_t nx) {
    const auto* bytes = static_cast<const unsigned char*>(row);
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    for (int64_t w = 0, x = 0; x < nx; ++w) {
        uint64_t b = 0;
        const int64_t n = std::min<int64_t>(64, nx - x);
        int64_t k = 0;
        for (; k + 8 <= n; k += 8) {
            uint64_t v;
            std::memcpy(&v, bytes + x + k, 8);
            // High bit of each byte set when the byte is non-zero, then the eight high bits
            // gathered into one byte (little endian: byte j of v is voxel x + k + j).
            const uint64_t high = (((v & kLow7) + kLow7) | v) & ~kLow7;
            b |= ((high >> 7) * 0x0102040810204080ull >> 56) << k;
        }
        for (; k < n; ++k) b |= uint64_t{bytes[x + k] != 0} << k;
        bits[w] = b;
        x += n;
    }
}

// Neighbour displacements of a kernel's points 1..count-1; false when one reaches further
// than the one-cell border.
bool kernel_displacements(const QelKernel* kernel, int (*d)[3], int* n) {
    *n = 0;
    if (!kernel || !kernel->points) return false;
    const QelVoxelList* pts = kernel->points;
    const int count = std::min(pts->count, pts->capacity);
    for (int k = 1; k < count; ++k) {
        const int x = pts->x[k], y = pts->y[k], z = pts->z[k];
        if (x < -1 || x > 1 || y < -1 || y > 1 || z < -1 || z > 1) return false;
        if ((x == 0 && y == 0 && z == 0) || *n >= 26) continue;
        d[*n][0] = x;
        d[*n][1] = y;
        d[*n][2] = z;
        ++*n;
    }
    return true;
}

// Foreground test of labelling: the voxel is non-zero once converted to unit 4 through the
// identity map (through single precision, truncated, low 32 bits kept).
template <class T>
inline bool labels_as_foreground(T v) {
    if constexpr (std::is_integral_v<T> && sizeof(T) <= 2) {
        return v != 0;  // exact in float, and a non-zero value keeps non-zero low bits
    } else {
        return qel::store_real<uint32_t>(static_cast<float>(v)) != 0;
    }
}

bool plain_channel(const QelRawVolumeData* vol, int channel) {
    return qel::has_channel(vol, channel) && vol->attribute[channel] == QEL_ATTRIBUTE_PLAIN &&
           QEL_IsValidVoxelUnit(vol->unit[channel]) && qel::voxel_count(vol);
}

// The table's channel must still be a readable label channel.
uint32_t* label_data(const QelComponentTable* table, int64_t* n) {
    if (!table || !qel::has_channel(table->volume, table->channel)) return nullptr;
    if (table->volume->unit[table->channel] != QEL_VOXEL_UNIT_UINT32) return nullptr;
    const auto voxels = qel::voxel_count(table->volume);
    if (!voxels) return nullptr;
    *n = *voxels;
    return static_cast<uint32_t*>(table->volume->data[table->channel]);
}

// A set of labels: a flag per label 0..n, and the rare labels above n in a list.
struct LabelSet {
    Block<uint8_t> flags;
    const unsigned* labels = nullptr;
    unsigned k = 0;
    uint32_t n = 0;

    bool build(uint32_t count, unsigned k_, const unsigned* labels_) {
        n = count;
        k = k_;
        labels = labels_;
        if (k > 0 && !labels) return false;
        flags.reset(alloc_array<uint8_t>(int64_t{n} + 1, true));
        if (!flags) return false;
        for (unsigned i = 0; i < k; ++i)
            if (labels[i] <= n) flags.get()[labels[i]] = 1;
        return true;
    }
    bool contains(uint32_t v) const {
        if (v <= n) return flags.get()[v] != 0;
        for (unsigned i = 0; i < k; ++i)
            if (labels[i] == v) return true;
        return false;
    }
};

// Ascending quicksort of keys[1..n] with values moved alongside: median of three, insertion
// sort below 7 elements, the larger part pushed so that the stack stays shallow.
template <class K, class V>
void sort_keys_with_values(int64_t n, K* key, V* value) {
    constexpr int64_t kShort = 7;
    // Depth never exceeds log2(n) <= 32 pairs for any unsigned n.
    int64_t stack[2 * 64 + 2];
    int top = 0;
    int64_t l = 1, r = n;
    auto swap_at = [&](int64_t a, int64_t b) {
        std::swap(key[a], key[b]);
        std::swap(value[a], value[b]);
    };
    for (;;) {
        if (r - l < kShort) {
            for (int64_t p = l + 1; p <= r; ++p) {
                const K a = key[p];
                const V b = value[p];
                int64_t i = p - 1;
                for (; i >= 1 && key[i] > a; --i) {
                    key[i + 1] = key[i];
                    value[i + 1] = value[i];
                }
                key[i + 1] = a;
                value[i + 1] = b;
            }
            if (top == 0) return;
            r = stack[--top];
            l = stack[--top];
            continue;
        }
        const int64_t mid = (l + r) / 2;
        swap_at(mid, l + 1);
        if (key[l + 1] > key[r]) swap_at(l + 1, r);
        if (key[l] > key[r]) swap_at(l, r);
        if (key[l + 1] > key[l]) swap_at(l + 1, l);
        int64_t i = l + 1, j = r;
        const K a = key[l];
        const V b = value[l];
        for (;;) {
            do ++i;
            while (key[i] < a);
            do --j;
            while (key[j] > a);
            if (j < i) break;
            swap_at(i, j);
        }
        key[l] = key[j];
        value[l] = value[j];
        key[j] = a;
        value[j] = b;
        if (r - i + 1 >= j - l) {
            stack[top++] = i;
            stack[top++] = r;
            r = j - 1;
        } else {
            stack[top++] = l;
            stack[top++] = j - 1;
            l = i;
        }
    }
}

}  // namespace

int QEL_PropagateMinimumLabels(QelRawVolumeData* padded, const QelKernel* kernel) {
    if (!qel::has_channel(padded, 0) || padded->unit[0] != QEL_VOXEL_UNIT_UINT32) return 0;
    int d[26][3], n;
    RunLinks links;
    if (!kernel_displacements(kernel, d, &n) || !run_links(d, n, &links)) return 0;
    const auto voxels = qel::voxel_count(padded);
    if (!voxels) return 0;
    const int64_t nx = padded->size->nx, ny = padded->size->ny, nz = padded->size->nz;
    Labels labels;
    if (!labels.init(label_bound(nx, ny, nz, links))) return 0;
    auto* cells = static_cast<uint32_t*>(padded->data[0]);
    // The outermost layer is background: clearing it keeps stray values from becoming labels.
    for (int64_t z = 0; z < nz; ++z)
        for (int64_t y = 0; y < ny; ++y) {
            uint32_t* row = cells + nx * (y + ny * z);
            if (z == 0 || z == nz - 1 || y == 0 || y == ny - 1) {
                std::memset(row, 0, static_cast<size_t>(nx) * sizeof(uint32_t));
            } else {
                row[0] = 0;
                row[nx - 1] = 0;
            }
        }
    const auto rowForeground = [&](int64_t row, uint64_t* bits) {
        const uint32_t* r = cells + row * nx;
        fill_row_bits(bits, nx, [r](int64_t x) { return r[x] != 0; });
    };
    switch (label_runs(cells, nx, ny, nz, links, labels, rowForeground)) {
        case LabelResult::kTooMany: return static_cast<int>(kTooManyLabels);
        case LabelResult::kNoMemory: return 0;
        case LabelResult::kDone: break;
    }
    const uint32_t components = labels.compact();
    const uint32_t* map = labels.parent.get();
    for (int64_t i = 0; i < *voxels; ++i) cells[i] = map[cells[i]];
    return static_cast<int>(components);
}

int QEL_LabelComponents(QelRawVolumeData* vol, int channel, int connectivity) {
    if (!plain_channel(vol, channel)) return 0;
    const int64_t nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    const qel::Neighbours nb = qel::neighbours_of(connectivity, nx, ny);
    RunLinks links;
    if (nb.count == 0 || !run_links(nb.d, nb.count, &links)) return 0;
    Labels labels;
    if (!labels.init(label_bound(nx, ny, nz, links))) return 0;
    const QelSize3i dims{vol->size->nx, vol->size->ny, vol->size->nz};
    QelRawVolumeData* out = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_PLAIN);
    if (!out) return 0;
    auto* cells = static_cast<uint32_t*>(out->data[0]);
    qel::advise_huge_pages(cells, static_cast<size_t>(nx * ny * nz) * sizeof(uint32_t));
    const LabelResult result = qel::dispatch_unit<LabelResult>(vol->unit[channel], LabelResult::kNoMemory, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* v = static_cast<const T*>(vol->data[channel]);
        return label_runs(cells, nx, ny, nz, links, labels, [&](int64_t row, uint64_t* bits) {
            const T* r = v + row * nx;
            if constexpr (sizeof(T) == 1) {
                fill_row_bits_of_bytes(bits, r, nx);
            } else {
                fill_row_bits(bits, nx, [r](int64_t x) { return labels_as_foreground(r[x]); });
            }
        });
    });
    if (result != LabelResult::kDone) {
        QEL_DeleteRawVolumeData(out);
        if (result == LabelResult::kTooMany) fprintf(stderr, "Too many components.\n");
        return 0;
    }
    const uint32_t components = labels.compact();
    const uint32_t* map = labels.parent.get();
    const int64_t voxels = nx * ny * nz;
    for (int64_t i = 0; i < voxels; ++i) cells[i] = map[cells[i]];
    QEL_SwapChannelsOfRawVolumeData(vol, channel, out, 0);
    QEL_DeleteRawVolumeData(out);
    return static_cast<int>(components);
}

QelComponentTable* QEL_NewComponentTable(QelRawVolumeData* vol, int channel, int n) {
    if (n <= 0 || !qel::has_channel(vol, channel)) return nullptr;
    if (vol->unit[channel] != QEL_VOXEL_UNIT_UINT32 || vol->attribute[channel] != QEL_ATTRIBUTE_PLAIN) {
        fprintf(stderr, "Component volume must be UINT32 volume\n");
        return nullptr;
    }
    const auto voxels = qel::voxel_count(vol);
    if (!voxels) return nullptr;
    auto* table = static_cast<QelComponentTable*>(std::calloc(1, sizeof(QelComponentTable)));
    if (!table) return nullptr;
    table->counts = alloc_array<uint32_t>(int64_t{n} + 1, true);
    if (!table->counts) {
        std::free(table);
        return nullptr;
    }
    table->volume = vol;
    table->channel = channel;
    table->labelCount = n;
    const uint32_t* v = static_cast<const uint32_t*>(vol->data[channel]);
    const uint32_t top = static_cast<uint32_t>(n);
    for (int64_t i = 0; i < *voxels; ++i)
        if (v[i] <= top) ++table->counts[v[i]];
    return table;
}

void QEL_DeleteComponentTable(QelComponentTable* table) {
    if (!table) return;
    std::free(table->counts);
    std::free(table);
}

int QEL_RankComponentsBySize(QelComponentTable* table, int statistic) {
    int64_t voxels;
    if (statistic != -1 || !table || !table->counts || table->labelCount < 0) return -1;
    uint32_t* v = label_data(table, &voxels);
    if (!v) return -1;
    const int64_t n = table->labelCount;
    // Keys in double and labels as integers: the same comparisons, hence the same order, as
    // single precision gives while every count is exact in it, and still exact beyond.
    Block<double> keys(alloc_array<double>(n + 1));
    Block<uint32_t> labels(alloc_array<uint32_t>(n + 1));
    Block<uint32_t> map(alloc_array<uint32_t>(n + 1));
    if (!keys || !labels || !map) return -1;
    for (int64_t k = 0; k <= n; ++k) {
        labels.get()[k] = static_cast<uint32_t>(k);
        keys.get()[k] = -static_cast<double>(table->counts[k]);
    }
    sort_keys_with_values(n, keys.get(), labels.get());
    map.get()[0] = 0;
    for (int64_t j = 1; j <= n; ++j) map.get()[labels.get()[j]] = static_cast<uint32_t>(j);
    const uint32_t top = static_cast<uint32_t>(n);
    for (int64_t i = 0; i < voxels; ++i)
        if (v[i] <= top) v[i] = map.get()[v[i]];
    table->counts[0] = 0;
    for (int64_t j = 1; j <= n; ++j) table->counts[j] = static_cast<uint32_t>(-keys.get()[j]);
    return 0;
}

void QEL_SortKeysWithValues(unsigned n, float* keys, float* values) {
    if (!keys || !values) return;
    sort_keys_with_values(static_cast<int64_t>(n), keys, values);
}

int QEL_SelectComponent(QelComponentTable* table, unsigned label) {
    int64_t voxels;
    uint32_t* v = label_data(table, &voxels);
    if (!v) return -1;
    for (int64_t i = 0; i < voxels; ++i) v[i] = v[i] == label ? 1u : 0u;
    return 0;
}

int QEL_KeepComponents(QelComponentTable* table, unsigned k, const unsigned* labels) {
    int64_t voxels;
    uint32_t* v = label_data(table, &voxels);
    LabelSet set;
    if (!v || table->labelCount < 0 || !set.build(static_cast<uint32_t>(table->labelCount), k, labels)) return -1;
    for (int64_t i = 0; i < voxels; ++i)
        if (!set.contains(v[i])) v[i] = 0;
    return 0;
}

int QEL_RemoveComponent(QelComponentTable* table, unsigned label) {
    int64_t voxels;
    uint32_t* v = label_data(table, &voxels);
    if (!v) return -1;
    for (int64_t i = 0; i < voxels; ++i)
        if (v[i] == label) v[i] = 0;
    return 0;
}

int QEL_RemoveComponents(QelComponentTable* table, unsigned k, const unsigned* labels) {
    int64_t voxels;
    uint32_t* v = label_data(table, &voxels);
    LabelSet set;
    if (!v || table->labelCount < 0 || !set.build(static_cast<uint32_t>(table->labelCount), k, labels)) return -1;
    for (int64_t i = 0; i < voxels; ++i)
        if (set.contains(v[i])) v[i] = 0;
    return 0;
}

void QEL_GetBoxOfComponent(const QelComponentTable* table, int label, QelBox3i* box) {
    int64_t voxels;
    if (!box || !box->origin || !box->size || !table || !table->counts) return;
    if (label < 0 || label > table->labelCount || table->counts[label] == 0) return;
    const uint32_t* v = label_data(table, &voxels);
    if (!v) return;
    const int nx = table->volume->size->nx, ny = table->volume->size->ny, nz = table->volume->size->nz;
    const uint32_t want = static_cast<uint32_t>(label);
    int lo[3] = {nx, ny, nz}, hi[3] = {-1, -1, -1};
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x, ++v) {
                if (*v != want) continue;
                lo[0] = std::min(lo[0], x);
                hi[0] = std::max(hi[0], x);
                lo[1] = std::min(lo[1], y);
                hi[1] = std::max(hi[1], y);
                lo[2] = std::min(lo[2], z);
                hi[2] = std::max(hi[2], z);
            }
    if (hi[0] < 0) return;
    *box->origin = QelPoint3i{lo[0], lo[1], lo[2]};
    *box->size = QelSize3i{hi[0] - lo[0] + 1, hi[1] - lo[1] + 1, hi[2] - lo[2] + 1};
}

int QEL_FillCavities(QelRawVolumeData* vol, int channel) {
    if (!QEL_IsBinaryChannel(vol, channel)) return 0;
    if (!plain_channel(vol, channel)) return -1;
    const int nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    // A grid grown by one zero cell on every side, so that growing needs no bounds tests.
    const int64_t px = int64_t{nx} + 2, py = int64_t{ny} + 2, pz = int64_t{nz} + 2;
    const auto cellCount = qel::checked_voxels({px, py, pz});
    if (!cellCount) return -1;
    const qel::Neighbours nb = qel::neighbours_of(6, px, py);
    Block<uint8_t> cells(alloc_array<uint8_t>(*cellCount, true));
    if (!cells) return -1;
    qel::advise_huge_pages(cells.get(), static_cast<size_t>(*cellCount));
    auto interior_row = [&](int y, int z) { return cells.get() + 1 + px * ((y + 1) + py * (z + 1)); };

    // Background on a face is outside; the rest of the background is outside only when a
    // chain of 6-neighbours links it to a face.
    int64_t candidates = 0;
    qel::dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* v = static_cast<const T*>(vol->data[channel]);
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y) {
                uint8_t* c = interior_row(y, z);
                const bool faceRow = z == 0 || z == nz - 1 || y == 0 || y == ny - 1;
                for (int x = 0; x < nx; ++x, ++v) {
                    if (*v != T(0)) continue;
                    const bool face = faceRow || x == 0 || x == nx - 1;
                    c[x] = face ? qel::kRegion : qel::kCandidate;
                    candidates += !face;
                }
            }
    });
    Block<uint32_t> queue(
        static_cast<uint32_t*>(qel::grow_queue_alloc(static_cast<size_t>(candidates) * sizeof(uint32_t))));
    qel::advise_huge_pages(queue.get(), static_cast<size_t>(candidates) * sizeof(uint32_t));
    qel::grow_region(cells.get(), *cellCount, nb, queue.get());

    qel::dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* v = static_cast<T*>(vol->data[channel]);
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y) {
                const uint8_t* c = interior_row(y, z);
                for (int x = 0; x < nx; ++x, ++v) *v = c[x] == qel::kRegion ? T(0) : T(1);
            }
    });
    return 0;
}
