// Helpers shared by the tests: owning pointers of the library's records, each released by the
// record's own Delete function.
#pragma once
#include <memory>

#include "objects/qel_data_objects.h"
#include "volume/qel_image.h"
#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

namespace qeltest {

template <auto Delete>
struct Deleter {
    template <class T>
    void operator()(T* p) const {
        Delete(p);
    }
};

template <class T, auto Delete>
using Owned = std::unique_ptr<T, Deleter<Delete>>;

using VolumePtr = Owned<QelRawVolumeData, QEL_DeleteRawVolumeData>;
using ImagePtr = Owned<QelRawImageData, QEL_DeleteRawImageData>;
using KernelPtr = Owned<QelKernel, QEL_DeleteKernel>;
using VoxelListPtr = Owned<QelVoxelList, QEL_DeleteVoxelList>;
using MeshPtr = Owned<QelTriangularMesh, QEL_DeleteTriangularMesh>;
using GroupPtr = Owned<QelDataObjectGroup, QEL_DeleteDataObjectGroup>;

}  // namespace qeltest
