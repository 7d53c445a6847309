#include "tables/character_output.h"

#include <cstdio>

#include "driver/conversion.h"
#include "tables/tables_literals.h"

namespace velkan {

// Code words of pages 0x4000-0x7FFF are written as code tags; the forms of
// the other pages need the font tables and come with them. Until then every
// other word is reported as an invalid character.
void WriteCharacterRun(Conversion& c, const uint16_t* run, int16_t /*direction*/, int16_t /*font*/) {
  for (; *run != 0; ++run) {
    uint16_t w = *run;
    if (w >= 0x4000 && w <= 0x7FFF) {
      char tag[24];
      int n = std::snprintf(tag, sizeof tag, "<ZAN2 code=%04x>", w);
      c.out.WriteText(std::string_view(tag, static_cast<size_t>(n)));
    } else {
      c.out.WriteWarningF(lit::kWarnInvalidCharacter, w);
    }
  }
}

}  // namespace velkan
