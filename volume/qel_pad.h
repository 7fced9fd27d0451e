// Growing a volume by a border and cropping it to a box, in place. Neighbourhood
// operations grow by their reach, work without bounds tests and shrink back.
#pragma once
#include "volume/qel_geometry.h"
#include "volume/qel_volume.h"

// Border modes. Only 1 and 2 select a fill; every other value gives a zero border.
#define QEL_PAD_ZERO 0
#define QEL_PAD_MIRROR 1     // mirror with the edge voxel repeated: ... b a | a b c ... e | e d ...
#define QEL_PAD_REPLICATE 2  // the edge layer repeated outwards

// Grow every channel by w >= 0 voxels on all six sides, on the four x and y sides, or on the
// two z sides. Mirror borders wider than an extent keep reflecting (period 2n).
// 0 on success; -1 with the volume unchanged when w < 0, the grown size does not fit, or
// memory runs out.
int QEL_ExpandRawVolumeData(QelRawVolumeData* vol, int w, int mode);
int QEL_ExpandRawVolumeDataXY(QelRawVolumeData* vol, int w, int mode);
int QEL_ExpandRawVolumeDataZ(QelRawVolumeData* vol, int w, int mode);

// Replace the volume by the region of the box; parts of the box outside the volume get the
// border mode's values, as if the volume had been grown far enough first. The box is not
// changed. -1 with the volume unchanged when the box has a size <= 0 or memory runs out.
int QEL_CropRawVolumeData(QelRawVolumeData* vol, const QelBox3i* box, int mode);

// Remove w voxels from all six sides, from the x and y sides, or from the z sides.
// -1 with the volume unchanged when w < 0 or nothing would be left on an axis.
int QEL_ShrinkRawVolumeData(QelRawVolumeData* vol, int w);
int QEL_ShrinkRawVolumeDataXY(QelRawVolumeData* vol, int w);
int QEL_ShrinkRawVolumeDataZ(QelRawVolumeData* vol, int w);

// Border steps on a grown volume, every channel alike.
// Mirror: put the slab, turned round along the axis of the first non-zero offset (x, then
// y, then z), at slab.origin + (dx, dy, dz), and move the slab there.
// Replicate: copy the one-voxel-thick slab |count| times outwards along axis (0 x, 1 y,
// 2 z), in the direction of count's sign.
// Both return -1 without touching the volume when the slab or a target is not inside the
// volume or the two overlap.
int QEL_MirrorBorderSlab(int dx, int dy, int dz, QelBox3i* slab, QelRawVolumeData* vol);
int QEL_ReplicateBorderSlab(QelBox3i* slab, QelRawVolumeData* vol, int count, int axis);
