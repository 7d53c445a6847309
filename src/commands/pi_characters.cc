#include "commands/pi_characters.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include "commands/ruby.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "tables/conversion_store.h"
#include "typo/definition_file.h"
#include "typo/units.h"

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

  // The tag is composed on the stack; a definition may give its code.
  constexpr std::string_view kHead = "<ZAN2 code=", kWidth = " \"PI\" wid=";
  std::optional<std::string_view> defined;
  if (c.session.settings.direction == 1) {
    const char key[3] = {static_cast<char>('0' + n / 100), static_cast<char>('0' + n / 10 % 10),
                         static_cast<char>('0' + n % 10)};
    defined = c.definitions.Find("PI", std::string_view(key, sizeof key));
  }
  char tag[kHead.size() + kMostDefinitionLine + kWidth.size() + 12];
  char* d = std::copy(kHead.begin(), kHead.end(), tag);
  if (defined) {
    // A value is part of one line of the file; never longer.
    const std::string_view code = defined->substr(0, kMostDefinitionLine);
    d = std::copy(code.begin(), code.end(), d);
  } else {
    d = PutHex4(d, PiTableCode(c, n));
  }
  d = std::copy(kWidth.begin(), kWidth.end(), d);
  d = std::to_chars(d, tag + sizeof tag - 1, int{c.pi.width[static_cast<size_t>(n)]}).ptr;
  *d++ = '>';
  c.out.WriteText(std::string_view(tag, static_cast<size_t>(d - tag)));
  return Flow::kGoOn;
}

}  // namespace velkan
