#pragma once

#include <cstdint>

namespace rt {

// Sample values, row and column numbers, list indexes and lengths are 16-bit
// signed. Arithmetic on them is checked: a result that does not fit raises
// the overflow error instead of wrapping.
using Int16 = std::int16_t;

Int16 toInt16(long long value);
Int16 add(Int16 a, Int16 b);
Int16 subtract(Int16 a, Int16 b);

// Nearest integer with exact halves going to the even neighbour; anything
// outside -32768..32767 (NaN and infinities included) raises the overflow error.
Int16 roundToInt16(double value);

} // namespace rt
