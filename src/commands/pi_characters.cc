#include "commands/pi_characters.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

#include "commands/ruby.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "tables/conversion_store.h"
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

  // The tag is composed on the stack unless a definition gives its code.
  constexpr std::string_view kHead = "<ZAN2 code=", kWidth = " \"PI\" wid=";
  std::optional<std::string> defined;
  if (c.session.settings.direction == 1) {
    const char key[3] = {static_cast<char>('0' + n / 100), static_cast<char>('0' + n / 10 % 10),
                         static_cast<char>('0' + n % 10)};
    defined = c.definitions.Lookup("PI", std::string_view(key, sizeof key));
  }
  char tail[4 + kWidth.size() + 12];
  char* d = tail;
  if (!defined) d = PutHex4(d, PiTableCode(c, n));
  d = std::copy(kWidth.begin(), kWidth.end(), d);
  d = std::to_chars(d, tail + sizeof tail - 1, int{c.pi.width[static_cast<size_t>(n)]}).ptr;
  *d++ = '>';
  std::string tag(kHead);
  if (defined) tag += *defined;
  tag.append(tail, static_cast<size_t>(d - tail));
  c.out.WriteText(tag);
  return Flow::kGoOn;
}

}  // namespace velkan
