// The size attributes of a structure tag set at its own character size.
#pragma once

#include <cstdint>
#include <cstddef>

#include "typo/units.h"

namespace velkan {

// The most bytes PutSizeAttributes writes.
inline constexpr size_t kMostSizeAttributes = 2 * (3 + kMostNumberWithUnit);
// Compares a new height h and width w (quarter units) with a reference pair:
// when h equals w and the pair differs from the reference, writes " size="
// with h at `d`; otherwise " h=" with h when it differs from refH, then
// " w=" with w when it differs from refW. Each number is written with "%g"
// in units of the job followed by the unit name. Returns the end.
char* PutSizeAttributes(char* d, int16_t h, int16_t w, int16_t refH, int16_t refW, int16_t unit);

}  // namespace velkan
