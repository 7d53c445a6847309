// The fill rule (<FIL>), the page-number, centering and baseline-jump
// commands reported as warnings, and the parameters of the split-line and
// box structures.
#pragma once

#include <array>
#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// The six values of the page-number command 0xD037. They live in the
// Session: zero at program start, kept from job to job.
using NumberValues = std::array<int16_t, 6>;

// 0xD01E, main: the fill rule. The word after the command selects the line;
// when no attribute could be given, nothing is written and a command word in
// that place is left pending for the main loop.
Flow CmdFillRule(Conversion& c);

// 0xD028, 0xD08E, 0xD092, main: the warnings "ノンブル０", "ノンブル１", "ノンブル２".
Flow CmdPageNumber0(Conversion& c);
Flow CmdPageNumber1(Conversion& c);
Flow CmdPageNumber2(Conversion& c);

// 0xD037, in-group: up to six comma-separated integers into NumberValues, then
// a warning with all six.
Flow CmdPageNumberValues(Conversion& c);

// 0xD070, in-group: a length, reported as "センタリング，長さ(%g)".
Flow CmdCentering(Conversion& c);

// 0xD036, in-group: a size, reported in quarter units as "ベースラインJUMP，サイズ(%d)".
Flow CmdBaselineJump(Conversion& c);

// 0xD064, in-group: two sizes and two integers, comma-separated, into
// SplitLineParameters; the values after a missing comma are 0 (nothing is
// stored when a read fails).
Flow CmdSplitLineParameters(Conversion& c);

// 0xD0A0, in-group: the line selector (none: 0) and, after a comma, the gap
// (no digits: one unit); without the comma the gap is 0.
Flow CmdBoxParameters(Conversion& c);

}  // namespace velkan
