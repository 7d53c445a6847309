// Ruby: reading characters set beside base characters. Every kind is written
// as "<RUB>", the base, "<RUB2 mode=...>", the ruby text and "</RUB>".
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// If the manual ruby's text is open, writes "</RUB>" and closes it. Called
// first by the handlers that write tags of their own.
void CloseManualRuby(Conversion& c);

// Three-mark ruby, main slot: CloseManualRuby, then by the kind's state
// "<RUB>" (0 -> 1), the middle tag (1 -> 2) or "</RUB>" (2 -> 0). The middle
// tag is "<RUB2 mode=GROUP>" for 0xD058 and 0xD07C, "<RUB2 mode=KINSOKU>" for
// 0xD0A3. Consumes the word.
Flow CmdGroupRubyA(Conversion& c);   // 0xD058
Flow CmdGroupRubyB(Conversion& c);   // 0xD07C
Flow CmdKinsokuRuby(Conversion& c);  // 0xD0A3

// 0xD07E, main slot: the start and end mark of a manual ruby. Closed: writes
// "<RUB>" and opens the base; ruby text open: writes "</RUB>" and closes; base
// open: nothing. Consumes the word.
Flow CmdManualRuby(Conversion& c);

// Placement of a manual ruby, main slot: a base that is open is first switched
// to the ruby text ("<RUB2 mode=MANUAL>"); then the command's own tag is
// written in every state. Consumes the word.
Flow CmdRubyRd2(Conversion& c);  // 0xD07F "<rd2>"
Flow CmdRubyRd4(Conversion& c);  // 0xD080 "<rd4>"
Flow CmdRubyRb2(Conversion& c);  // 0xD081 "<rb2>"
Flow CmdRubyRb4(Conversion& c);  // 0xD082 "<rb4>"
Flow CmdRubyRd(Conversion& c);   // 0xD06E "<rd>"

}  // namespace velkan
