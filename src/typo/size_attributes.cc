#include "typo/size_attributes.h"

#include "typo/units.h"

namespace velkan {

void AppendSizeAttributes(std::string& tag, int16_t h, int16_t w, int16_t refH, int16_t refW, int16_t unit) {
  if (h == w && !(h == refH && w == refW)) {
    tag += " size=";
    AppendNumberWithUnit(tag, FormatSize(h), unit);
    return;
  }
  if (h != refH) {
    tag += " h=";
    AppendNumberWithUnit(tag, FormatSize(h), unit);
  }
  if (w != refW) {
    tag += " w=";
    AppendNumberWithUnit(tag, FormatSize(w), unit);
  }
}

}  // namespace velkan
