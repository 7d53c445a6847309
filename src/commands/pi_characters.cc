#include "commands/pi_characters.h"

#include <cstdio>
#include <string>

#include "commands/ruby.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "tables/conversion_store.h"

namespace velkan {

uint16_t PiTableCode(const Conversion& c, int16_t n) {
  // Two code words per pi number; the second is the code of the tag.
  return c.fonts.store.Read(kPiTable, 2 * n + 1);
}

Flow CmdPiCharacter(Conversion& c) {
  CloseManualRuby(c);
  int16_t n;
  int16_t missing = ReadDigits(c, n, 3);
  if (missing != 0 || n < 0 || n > 999) return Flow::kFail;
  c.stream.Consume();

  char key[8];
  std::snprintf(key, sizeof key, "%03d", n);
  std::string tag = "<ZAN2 code=";
  std::optional<std::string> defined;
  if (c.session.settings.direction == 1) defined = c.definitions.Lookup("PI", key);
  if (defined) {
    tag += *defined;
  } else {
    char code[8];
    std::snprintf(code, sizeof code, "%04x", PiTableCode(c, n));
    tag += code;
  }
  char width[24];
  std::snprintf(width, sizeof width, " \"PI\" wid=%d>", c.pi.width[static_cast<size_t>(n)]);
  tag += width;
  c.out.WriteText(tag);
  return Flow::kGoOn;
}

}  // namespace velkan
