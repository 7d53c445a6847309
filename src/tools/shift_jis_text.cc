#include "tools/shift_jis_text.h"

#include "io/encoding_converter.h"

namespace velkan {

namespace {

// Converts `in` with a fresh conversion descriptor; false on any byte that
// does not convert (an incomplete sequence at the end included).
bool Convert(const char* to, const char* from, std::string_view in, std::string& out) {
  EncodingConverter converter(to, from);
  return converter.Convert(in, out);
}

}  // namespace

bool ShiftJisToUtf8(std::string_view sjis, std::string& out) { return Convert("UTF-8", "CP932", sjis, out); }

bool Utf8ToShiftJis(std::string_view utf8, std::string& out) { return Convert("CP932", "UTF-8", utf8, out); }

bool RoundTripsThroughUtf8(std::string_view sjis) {
  std::string utf8, back;
  return ShiftJisToUtf8(sjis, utf8) && Utf8ToShiftJis(utf8, back) && back == sjis;
}

std::string ShiftJisCharacter(uint16_t code) {
  unsigned lead = code >> 8;
  // A double-byte code needs a lead byte, not two single bytes.
  if (code > 0xFF && !((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC))) return {};
  std::string bytes;
  if (code > 0xFF) bytes.push_back(static_cast<char>(lead));
  bytes.push_back(static_cast<char>(code & 0xFF));
  std::string utf8;
  if (!ShiftJisToUtf8(bytes, utf8)) return {};
  return utf8;
}

std::string JisCharacter(uint16_t jis) {
  unsigned j1 = jis >> 8, j2 = jis & 0xFF;
  if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) return {};
  unsigned s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
  unsigned s2 = (j1 & 1) != 0 ? j2 + (j2 >= 0x60 ? 0x20 : 0x1F) : j2 + 0x7E;
  return ShiftJisCharacter(static_cast<uint16_t>(s1 << 8 | s2));
}

}  // namespace velkan
