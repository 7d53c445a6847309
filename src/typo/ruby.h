// Ruby states and the closing of a manual ruby from the command side.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

// Each 0 (closed), 1 (base open) or 2 (ruby text open).
struct RubyState {
  int16_t groupA = 0;    // 0xD058
  int16_t groupB = 0;    // 0xD07C
  int16_t kinsoku = 0;   // 0xD0A3
  int16_t manual = 0;    // 0xD07E and the placement commands
};

// If the manual ruby's text is open, writes "</RUB>" and closes it. Called
// first by the handlers that write tags of their own.
void CloseManualRuby(Conversion& c);

}  // namespace velkan
