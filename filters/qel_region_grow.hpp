// Internal: growing a region through a zero-bordered byte grid, shared by region growing and
// cavity filling.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qel {

// Cell values of the grid: the outermost layer must be kNotEligible, so that neighbours of
// the cells that are ever tested need no bounds checks.
constexpr uint8_t kNotEligible = 0;
constexpr uint8_t kCandidate = 1;
constexpr uint8_t kRegion = 255;

// The neighbours (the centre excluded) of a 6-, 18- or 26-neighbourhood in kernel order, as
// displacements and as linear offsets in a grid of rows of nx cells and slices of ny rows.
// count is 0 for any other connectivity.
struct Neighbours {
    int count = 0;
    int d[26][3];
    int64_t offset[26];
};
Neighbours neighbours_of(int connectivity, int64_t nx, int64_t ny);

// Obtains the candidate queue (4 bytes per candidate). Replaceable, so that tests can take
// the path that works without it.
extern void* (*grow_queue_alloc)(size_t bytes);

// Turns every candidate linked to a region cell by a chain of candidates into a region cell
// and returns how many it turned. With a queue of at least one entry per candidate the cells
// are visited breadth first; without one (NULL) alternating raster passes reach the same set.
int64_t grow_region(uint8_t* cells, int64_t count, const Neighbours& nb, uint32_t* queue);

}  // namespace qel
