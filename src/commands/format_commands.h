// The commands that define, call and steer user-defined formats.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// 0xD02C (in a group): reads the format number n and, when it is 0-399 and
// the group closes right after it, collects the body that follows the group
// and stores it as format n, in the cache and in the format file at once.
// The body ends at a 0xD004 that follows another 0xD004 with only 0xD003 and
// 0xD02C words between; a parameter group inside the body is kept whole, the
// bare 0xD004 of the end mark is not. A body longer than 512 words is
// dropped. Fails at the end of the input within the body, or when the write
// failed. Leaves `currentWord` on the 0xD004 of the header.
Flow CmdDefineFormat(Conversion& c);

// 0xD03F (in a group): reads the format number n; fails on a bad number or a
// group that does not close right after it. A play counter that ran out
// swallows this call; an undefined format plays nothing. Otherwise the
// replay of format n starts (replacing any replay in progress) once the
// group has closed. Fails when reading the format file failed or the calls
// go round without end.
Flow CmdCallFormat(Conversion& c);

// 0xD071 (in a group): format number n, a comma, count c. For n in 0-399 and c
// >= -1 the next c calls of format n play, the one after them is swallowed,
// and then calls play again (-1: every call plays).
Flow CmdPlayCount(Conversion& c);

// 0xD0B3 (pre-phase and main): consumes itself and moves the stream between
// the format being replayed and the input; the replay keeps its place while
// the input is read. Ends the pre-phase; fails when no format is being
// replayed.
Flow CmdSwitchSource(Conversion& c);

// 0xD03E (in a group): a count and, after a 0xD03F that only separates the
// two, a format number. Nothing is called.
Flow CmdCountWithFormat(Conversion& c);

// 0xD03C (in a group): a length and, after a 0xD03F that only separates the
// two, a format number. Nothing is called.
Flow CmdLengthWithFormat(Conversion& c);

}  // namespace velkan
