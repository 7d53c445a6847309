// The published rule that turns a JIS X 0208 row/cell code into Shift_JIS.
#pragma once

#include <cstdint>

namespace velkan {

// The Shift_JIS code (lead byte high) of a JIS X 0208 code whose two bytes
// both lie in 0x21-0x7E; 0 for any other code, which has no Shift_JIS form.
// Computed without branches on the code: a character's code is data, and a
// converter that guesses its row and cell wrong half of the time is slow.
constexpr uint16_t JisToShiftJis(uint16_t jis) {
  unsigned j1 = jis >> 8;
  unsigned j2 = jis & 0xFF;
  unsigned valid = static_cast<unsigned>(j1 - 0x21u <= 0x5Du) & static_cast<unsigned>(j2 - 0x21u <= 0x5Du);
  unsigned odd = j1 & 1;
  unsigned s1 = ((j1 + 1) >> 1) + 0x70 + (static_cast<unsigned>(j1 > 0x5E) << 6);
  // Odd rows: cells 0x21-0x5F move by 0x1F, 0x60-0x7E by 0x20; even rows by 0x7E.
  unsigned s2 = j2 + 0x7E - odd * (0x5F - static_cast<unsigned>(j2 >= 0x60));
  return static_cast<uint16_t>((s1 << 8 | s2) * valid);
}

static_assert(JisToShiftJis(0x2121) == 0x8140);
static_assert(JisToShiftJis(0x222E) == 0x81AC);
static_assert(JisToShiftJis(0x3021) == 0x889F);
static_assert(JisToShiftJis(0x5E7E) == 0x9FFC);
static_assert(JisToShiftJis(0x5F21) == 0xE040);
static_assert(JisToShiftJis(0x7E7E) == 0xEFFC);
static_assert(JisToShiftJis(0x2180) == 0);

}  // namespace velkan
