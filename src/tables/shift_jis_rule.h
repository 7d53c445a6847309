// The published rule that turns a JIS X 0208 row/cell code into Shift_JIS.
#pragma once

#include <cstdint>

namespace velkan {

// The Shift_JIS code (lead byte high) of a JIS X 0208 code whose two bytes
// both lie in 0x21-0x7E; 0 for any other code, which has no Shift_JIS form.
constexpr uint16_t JisToShiftJis(uint16_t jis) {
  unsigned j1 = jis >> 8;
  unsigned j2 = jis & 0xFF;
  if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) return 0;
  unsigned s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
  unsigned s2 = (j1 & 1) != 0 ? j2 + (j2 >= 0x60 ? 0x20 : 0x1F) : j2 + 0x7E;
  return static_cast<uint16_t>(s1 << 8 | s2);
}

static_assert(JisToShiftJis(0x2121) == 0x8140);
static_assert(JisToShiftJis(0x222E) == 0x81AC);
static_assert(JisToShiftJis(0x3021) == 0x889F);
static_assert(JisToShiftJis(0x5E7E) == 0x9FFC);
static_assert(JisToShiftJis(0x5F21) == 0xE040);
static_assert(JisToShiftJis(0x7E7E) == 0xEFFC);
static_assert(JisToShiftJis(0x2180) == 0);

}  // namespace velkan
