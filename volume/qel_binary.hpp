// Internal: per-unit scans of a volume channel, shared by the binary-channel operations
// and the voxel lists and kernels built from channels.
#pragma once
#include <cstdint>
#include <optional>
#include <type_traits>

#include "volume/qel_checked.hpp"
#include "volume/qel_record_ops.hpp"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_volume.h"

namespace qel {

// Voxel count of every channel of vol; nullopt for dimensions no record can have.
inline std::optional<int64_t> voxel_count(const QelRawVolumeData* vol) {
    return checked_voxels({vol->size->nx, vol->size->ny, vol->size->nz});
}

// Binary means 0 or 1: integer units on the stored bits (so a signed -1 is not binary),
// float units by comparison (so -0.0 counts as 0).
template <class T>
inline bool is_binary_value(T v) {
    if constexpr (std::is_floating_point_v<T>) {
        return v == T(0) || v == T(1);
    } else {
        return (static_cast<std::make_unsigned_t<T>>(v) >> 1) == 0;
    }
}

// Calls fn(x, y, z) for every voxel of the channel equal to 1, in scan order (z slowest,
// x fastest). False when the unit is invalid or the dimensions are broken.
template <class Fn>
bool for_each_one(const QelRawVolumeData* vol, int channel, Fn&& fn) {
    if (!voxel_count(vol)) return false;
    const int nx = vol->size->nx, ny = vol->size->ny, nz = vol->size->nz;
    return dispatch_unit_void(vol->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* p = static_cast<const T*>(vol->data[channel]);
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x, ++p)
                    if (*p == T(1)) fn(x, y, z);
    });
}

}  // namespace qel
