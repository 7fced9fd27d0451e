// The cost gate of the ANALYZE harnesses. A header may ask for up to 64 MiB of voxels that its
// data file lacks, and a volume one voxel wide takes eight bytes of row pointers per voxel on
// top (then again for the turn): reading that is allowed, but takes seconds and gigabytes under
// the sanitizers. The harnesses let such pairs through only where they are refused.
#pragma once
#include <cstdint>

#include "gui/qel_analyze.h"
#include "volume/qel_checked.hpp"

namespace fuzz {

constexpr int64_t kVolumeBudget = int64_t{16} << 20;

// Memory the header's volume takes: its voxels and its row and slice tables.
inline bool volume_within_budget(const AnalyzeHeader& hdr) {
    QelSize4i size;
    if (QEL_GetSizeOfAnalyzeHeader(&hdr, &size) != 0) return true;  // refused before anything is made
    const auto tables = qel::checked_product({int64_t{size.ny} + 1, size.nz, size.nChannels, 8});
    const int64_t data = QEL_GetAnalyzeDataSize(&hdr);
    return data < 0 || (tables && data + *tables <= kVolumeBudget);
}

}  // namespace fuzz
