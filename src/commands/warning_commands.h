// Commands without a counterpart in the output: they read their arguments,
// so that the code stream stays in step, and report themselves as warnings.
#pragma once

#include <cstdint>
#include <string_view>

#include "conversion/flow.h"
#include "conversion/tag_writer.h"

namespace velkan {

class Conversion;

// For commands the output cannot express: writes the warning, consumes the
// command word and returns `result`.
Flow WarnAndConsume(Conversion& c, const WarningTag& warning, Flow result = Flow::kGoOn);

// 0xD0CB, main: two digit words v, reported as "倍数改行，値(%d)" only when both
// were present; otherwise the word that ended the reading stays pending for
// the main loop.
Flow CmdMultipleLineFeed(Conversion& c);

// 0xD043, in-group: an integer, reported as "国別ハイフン，値(%d)".
Flow CmdNationalHyphen(Conversion& c);

// 0xD077, main: the warning "見出し追い出し".
Flow CmdHeadingPushOut(Conversion& c);

// 0xD0BC, 0xD0BA, in-group: a length and, after a comma, a count. Reported as
// "空白命令，%g，値(%d)" when the count has digits and lies in 0..399; otherwise the
// remaining arguments are skipped silently.
Flow CmdSpaceCommand(Conversion& c);

// 0xD0BD, in-group: the warning "空白実効命令", then the arguments up to the group's
// closing word are skipped.
Flow CmdSpaceExecution(Conversion& c);

// 0xD0BE, 0xD0CA, in-group: a selector word (0xD02F: a length follows, 0xD096:
// a count of characters), a second length and an unused integer; reported as
// "不正変数命令" and "新インデント，%g，%g". Reading stops at the first command word in an
// argument's place, so the group's closing word is never passed; missing
// values are 0.
Flow CmdNewIndent(Conversion& c);

// 0xD08C, main: consumed without output.
Flow CmdIgnoredCommand(Conversion& c);

// 0xD057, main and in-group: fetches the next word and leaves it pending, so
// the command is consumed in the main loop and skipped in a group.
Flow CmdSkippedCommand(Conversion& c);

}  // namespace velkan
