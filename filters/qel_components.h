// Connected components of one channel: labelling under 6-, 18- or 26-connectivity into an
// unsigned 32-bit label channel (0 background, components 1..n numbered in the order of their
// first voxel in storage order), a table of voxel counts per label, ranking by size, keeping,
// selecting and removing components, bounding boxes, and filling enclosed cavities.
#pragma once
#include <cstdint>

#include "volume/qel_geometry.h"
#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

struct QelComponentTable {
    QelRawVolumeData* volume;  // the labelled volume; not owned, must outlive the table
    int channel;               // the label channel
    int labelCount;            // n, the highest label
    uint32_t* counts;          // [n + 1] voxels per label; counts[0] is the background
    void* statistics[2];       // reserved for per-label statistics; always NULL
};

// Replaces the channel by its labels (unit 4, attribute 0) and returns n. The foreground is
// every voxel that is non-zero once converted to unit 4 through the identity map. 0 with the
// channel unchanged when the channel cannot be converted (packed RGBA, invalid unit), the
// connectivity is not 6, 18 or 26, memory runs out, or on "Too many components.".
int QEL_LabelComponents(QelRawVolumeData* vol, int channel, int connectivity);

// Labels the non-zero voxels of channel 0 (unit 4) of a volume whose outermost layer is
// background, linking voxels along the kernel's points 1..count-1 (each within one voxel of the
// centre; a point links both ways), and returns the number of components. The outermost layer
// is cleared. 0x7FFFFFFF when there would be too many labels; 0 with nothing changed for an
// unusable volume or kernel or when memory runs out.
int QEL_PropagateMinimumLabels(QelRawVolumeData* padded, const QelKernel* kernel);

// NULL for n <= 0 (silently), a channel that is not unit 4 with attribute 0 (with the line
// "Component volume must be UINT32 volume"), or no memory. Voxels above n are not counted.
QelComponentTable* QEL_NewComponentTable(QelRawVolumeData* vol, int channel, int n);
void QEL_DeleteComponentTable(QelComponentTable* table);

// Renumbers the components by decreasing size (statistic -1, the voxel count): label 1 is the
// largest; counts follow and counts[0] becomes 0. Equal sizes keep the order the sort below
// leaves them in. 0, or -1 with nothing changed (no memory, another statistic).
int QEL_RankComponentsBySize(QelComponentTable* table, int statistic);
// Ascending quicksort of keys[1..n] carrying values[1..n] along (both have n + 1 entries).
void QEL_SortKeysWithValues(unsigned n, float* keys, float* values);

// Select: the label becomes 1, everything else 0. Keep: voxels whose label is not listed
// become 0. Remove: voxels of the listed labels become 0. The counts are not updated.
// 0, or -1 with nothing changed (no table, a channel that no longer holds labels, no memory).
int QEL_SelectComponent(QelComponentTable* table, unsigned label);
int QEL_KeepComponents(QelComponentTable* table, unsigned k, const unsigned* labels);
int QEL_RemoveComponent(QelComponentTable* table, unsigned label);
int QEL_RemoveComponents(QelComponentTable* table, unsigned k, const unsigned* labels);

// Fills box in place with the bounding box of the label's voxels. Nothing happens for a label
// outside 0..n, a label counted 0, a NULL box, or a label with no voxel left.
void QEL_GetBoxOfComponent(const QelComponentTable* table, int label, QelBox3i* box);

// Fills the background of a binary channel that does not touch a face of the volume (6-linked
// cavities) with 1. 0 (also, unchanged, for a channel that is not binary); -1 with the channel
// unchanged when it cannot be converted or memory runs out.
int QEL_FillCavities(QelRawVolumeData* vol, int channel);
