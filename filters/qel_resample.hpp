// Internal: the sample tables of nearest-sample resizing, shared with code that samples the way
// a resize would without building the resized volume.
#pragma once
#include <vector>

namespace qel {

// Old sample index of every new index along one axis; at or past the end the last sample is
// taken.
std::vector<int> nearest_table(int nOld, int nNew);

// The z table of a nearest-sample volume resize: the last new slice repeats the one before it.
std::vector<int> nearest_slice_table(int nOld, int nNew);

}  // namespace qel
