// Pi characters: special symbols 000 to 999 given by the command 0xD05B and
// three digit words, each written as one code tag with the symbol's code and
// its pi width.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// The code of pi character n (0..999) in the font tables' pi table.
uint16_t PiTableCode(const Conversion& c, int16_t n);

// 0xD05B, main: closes an open manual ruby, reads exactly three digits n and
// writes "<ZAN2 code=%04x "PI" wid=%d>" with PiTableCode(n) and the width of
// pi character n. In vertical composition a value of key "%03d" in the
// definition file's "PI" section takes the place of the code. Fewer than
// three digits fail, which ends the conversion.
Flow CmdPiCharacter(Conversion& c);

}  // namespace velkan
