// The indent commands (group commands of a parameter group).
//
// An indent of the left or right side is given as a length followed by a
// selector word, 0xD034 for the left and 0xD035 for the right indent, and a
// number of lines that the output cannot use. A negative length or a
// missing selector skips the command's remaining arguments and changes
// nothing. Every handler fails when reading failed.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;


// 0xD02F: left or right indent given as a length.
Flow CmdIndent(Conversion& c);

// 0xD096: left or right indent given as a count of characters (ReadCharsFull).
Flow CmdIndentChars(Conversion& c);

// 0xD0D9: indent given as a percentage of the measure (quarter percent);
// cannot be expressed, so a well formed command warns "インデント％指定, %g％, %d行"
// with the resulting length and the lines.
Flow CmdIndentPercent(Conversion& c);

// 0xD031 / 0xD097: hanging indent as a length / a count of characters.
Flow CmdIndentHanging(Conversion& c);
Flow CmdIndentHangingChars(Conversion& c);

// 0xD032 / 0xD098: indent of the first line as a length / a count of
// characters.
Flow CmdIndentStart(Conversion& c);
Flow CmdIndentStartChars(Conversion& c);

// 0xD030: clears the left, right and hanging indents (not the first-line
// indent) and moves on to the next word.
Flow CmdIndentReset(Conversion& c);

// 0xD033: an indent at a position, which cannot be expressed. Followed by a
// selector and an integer, it is passed over silently; without a selector it
// warns "位置指定インデント" and skips its arguments.
Flow CmdPositionIndent(Conversion& c);

}  // namespace velkan
