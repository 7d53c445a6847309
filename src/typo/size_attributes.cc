#include "typo/size_attributes.h"

#include <cstring>

#include "typo/units.h"

namespace velkan {

char* PutSizeAttributes(char* d, int16_t h, int16_t w, int16_t refH, int16_t refW, int16_t unit) {
  // The names are copied with their lengths known here: a copy of a length
  // known only at run time is a call to memcpy.
  if (h == w && !(h == refH && w == refW)) {
    std::memcpy(d, " size=", 6);
    return PutNumberWithUnit(d + 6, SizeHundredths(h), unit);
  }
  if (h != refH) {
    std::memcpy(d, " h=", 3);
    d = PutNumberWithUnit(d + 3, SizeHundredths(h), unit);
  }
  if (w != refW) {
    std::memcpy(d, " w=", 3);
    d = PutNumberWithUnit(d + 3, SizeHundredths(w), unit);
  }
  return d;
}

}  // namespace velkan
