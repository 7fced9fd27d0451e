// Internal: the row loop of the convolution, built once per vector width (VecPath); every
// path gives the same bits.
#pragma once
#include <cstdint>

#include "volume/qel_cpu.hpp"
#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

namespace qel {

struct ConvolvePoint {
    int64_t dx, dy, dz;
    double w;
};

// One channel of nx * ny * nz voxels of `unit`, convolved in place with `count` points. ring
// holds `window` rows of the channel's unit: one more than the rows a point reaches back; acc
// holds nx doubles; sources, dx and w hold `count` entries each.
struct ConvolveJob {
    void* data;
    int unit;
    int64_t nx, ny, nz;
    const ConvolvePoint* points;
    int count;
    void* ring;
    int64_t window;
    double* acc;
    const void** sources;
    int64_t* dx;
    double* w;
};

void convolve_rows(VecPath path, const ConvolveJob& job);

// QEL_ConvolveChannel on the given width.
void convolve_channel(VecPath path, QelRawVolumeData* vol, int channel, QelKernel* kernel);

namespace convolve_vec128 {
void convolve_rows(const ConvolveJob& job);
}
namespace convolve_vec256 {
void convolve_rows(const ConvolveJob& job);
}
namespace convolve_vec512 {
void convolve_rows(const ConvolveJob& job);
}

}  // namespace qel
