#include "typo/ruby.h"

#include "driver/conversion.h"

namespace velkan {

void CloseManualRuby(Conversion& c) {
  if (c.ruby.manual == 2) {
    c.out.WriteText("</RUB>");
    c.ruby.manual = 0;
  }
}

}  // namespace velkan
