// Internal: numbers read from program arguments.
#pragma once
#include <cstdint>

#include "volume/qel_units.h"

namespace qel {

// The leading decimal integer of text (after spaces, with an optional sign), read in 64 bits
// (out-of-range text saturates there), of which the low 32 bits are kept; 0 when the text
// starts with no number or is NULL.
int32_t parse_int32_low_bits(const char* text);

// Reads a shift for a channel of the given unit into *shift, in the unit's width: units 0..5
// as a decimal integer (parse_int32_low_bits) of which the unit keeps its low 8, 16 or 32
// bits, unit 6 as a float, unit 7 as a double. Text that is no number gives 0. The shift is zeroed first;
// for an invalid unit it stays 0 and false is returned.
bool parse_shift(const char* text, int unit, QelValue* shift);

}  // namespace qel
