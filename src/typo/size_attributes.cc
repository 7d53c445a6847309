#include "typo/size_attributes.h"

#include <cstring>
#include <string_view>

#include "typo/units.h"

namespace velkan {

char* PutSizeAttributes(char* d, int16_t h, int16_t w, int16_t refH, int16_t refW, int16_t unit) {
  auto put = [&d](std::string_view name, int16_t v, int16_t u) {
    std::memcpy(d, name.data(), name.size());
    d = PutNumberWithUnit(d + name.size(), FormatSize(v), u);
  };
  if (h == w && !(h == refH && w == refW)) {
    put(" size=", h, unit);
    return d;
  }
  if (h != refH) put(" h=", h, unit);
  if (w != refW) put(" w=", w, unit);
  return d;
}

void AppendSizeAttributes(std::string& tag, int16_t h, int16_t w, int16_t refH, int16_t refW, int16_t unit) {
  char buf[kMostSizeAttributes];
  tag.append(buf, static_cast<size_t>(PutSizeAttributes(buf, h, w, refH, refW, unit) - buf));
}

}  // namespace velkan
