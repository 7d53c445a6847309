// Commands next to the character stage that only skip or note input: the
// one-shot code character, the line-start kinsoku release, the mixed-setting
// marks and a few values that are read and have no effect on the output.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// 0xD093, main slot: CloseManualRuby; drops every 0xD004 that follows; the
// next character is written as a code tag. The first other word is left
// pending.
Flow CmdOneShotCode(Conversion& c);

// 0xD0B9, main slot: the warning "行頭禁則解除指定", then drops every word up to and
// including the next 0xD01C. When the input ends first, the end word is left
// pending for the main loop.
Flow CmdKinsokuRelease(Conversion& c);

// 0xD0C7, main slot: consumes the word and reads up to two digits, which are
// ignored; a word that is no digit is left pending.
Flow CmdIgnoredCount(Conversion& c);

// 0xD0DB and 0xD0DC, main slot: the warnings "混植（始）" and "混植（終）". Consume the
// word.
Flow CmdMixedSettingStart(Conversion& c);
Flow CmdMixedSettingEnd(Conversion& c);

// 0xD076, in-group: reads an integer (1..1000 is the meaningful range) that
// has no effect on the output.
Flow CmdIgnoredInteger(Conversion& c);

// 0xD074, in-group: reads a length (0.25 to 4000 units is the meaningful
// range) that has no effect on the output.
Flow CmdIgnoredLength(Conversion& c);

}  // namespace velkan
