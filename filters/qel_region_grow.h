// Seeded region growing in place: seeds grow through the voxels of a channel whose values lie
// in a range, across 6-, 18- or 26-neighbourhoods, until nothing more can be reached. The
// channel then holds the region as a binary mask (1 at every seed and every reached voxel,
// 0 elsewhere) in its own unit. The result counts the grown voxels, never the seeds.
// Every refusal prints one line on stderr, returns 0 and leaves the channel unchanged;
// packed RGBA channels (attribute 2) and invalid units are refused.
#pragma once
#include "volume/qel_kernel.h"
#include "volume/qel_units.h"
#include "volume/qel_volume.h"

// Seeds: the voxels of seedChannel (same dimensions) whose value, converted to 8 bits, is 1.
// A seed lies in the region whether or not it is in range.
int QEL_GrowSeedRegion(QelRawVolumeData* vol, int channel, const QelRawVolumeData* seedVol, int seedChannel,
                       const QelTypedValueRange* range, int connectivity);
// Seeds at the listed positions; positions outside the volume are skipped.
int QEL_GrowRegionFromVoxelList(QelRawVolumeData* vol, int channel, const QelTypedValueRange* range,
                                int connectivity, const QelVoxelList* seeds);
// Seeds: the voxels in seedRange; they grow through growRange.
int QEL_GrowRegionBetweenRanges(QelRawVolumeData* vol, int channel, const QelTypedValueRange* seedRange,
                                const QelTypedValueRange* growRange, int connectivity);
