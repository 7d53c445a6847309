// The size and length limits the commands check their arguments against.
#pragma once

#include <cstdint>

namespace velkan {

// Bounds of character sizes (quarter units) and lengths (internal units)
// that the checking commands accept; the same for pt and Q jobs.
struct SizeLimits {
  int16_t minSize = 0;
  int16_t maxSize = 0;
  int32_t minLength = 0;
  int32_t maxLength = 0;
};

// The limits every job starts with: 4.5 to 186 units for sizes, 0.25 to 1850
// units for lengths.
inline constexpr SizeLimits kJobSizeLimits{18, 744, 3240, 23976000};

}  // namespace velkan
