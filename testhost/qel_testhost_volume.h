// Volumes and pictures for the test host: synthetic phantoms, raw voxel files, the one-line
// description of a volume, 8-bit pictures of a slice and the rendered projection.
#pragma once
#include <string>
#include <vector>

#include "ipc/qel_ipc.h"

namespace qel::testhost {

// Names of the phantoms: "sphere" (a smooth ball on a dim background) and "noisy" (the same
// ball with salt-and-pepper and uniform noise, what a median filter cleans).
std::vector<std::string> phantom_names();
// A one-channel cube of side size in unit, the same for every run; NULL for an unknown
// name or unit, or a side outside 1..1024.
QelRawVolumeData* new_phantom(const std::string& name, int unit, int size);

// A one-channel volume read from a file of exactly nx*ny*nz voxels of unit (x fastest, in
// this machine's byte order); NULL with *error set otherwise.
QelRawVolumeData* read_raw_volume(const std::string& path, int nx, int ny, int nz, int unit,
                                  std::string* error);
// Writes every channel's block in index order; false when the file cannot be written.
bool write_raw_volume(const QelRawVolumeData* volume, const std::string& path);
// "size NX NY NZ channels N units U... attributes A..."
std::string describe_volume(const QelRawVolumeData* volume);

// Slice z of a channel as an 8-bit grey image: 8-bit plain channels as they are, any other
// unit mapped linearly from the channel's value range onto 0..255, packed RGBA as the mean
// of R, G and B. NULL for an invalid channel or slice.
QelRawImageData* new_slice_picture(const QelRawVolumeData* volume, int channel, int z);
// The maximum of a channel along z, as new_slice_picture maps it, in one packed RGBA
// channel (grey, alpha 255). NULL for an invalid channel.
QelRawImageData* new_projection(const QelRawVolumeData* volume, int channel);

// "kind kind ..." of the group's members, in order.
std::string describe_members(const QelDataObjectGroup* group);

}  // namespace qel::testhost
