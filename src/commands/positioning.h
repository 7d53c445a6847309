// The commands that set up a line: character size and position, font and
// colour, line spacing and measure.
//
// These are in-group handlers: each reads its arguments with the readers and
// returns with `currentWord` at the first word it did not use, and fails when
// a reader failed. They only change the typographic settings;
// the tags follow at the next step of the main loop.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// 0xD02D: font = the integer read.
Flow CmdFont(Conversion& c);

// 0xD084: colour = the integer read.
Flow CmdColour(Conversion& c);

// Size commands read a size pair: a size s1 in quarter units and, after a
// comma separator, a pitch s2 (s2 = s1 without one); jkr = s2 - s1.
// 0xD052, 0xD051, 0xD053, 0xD02E: height = width = s1, the pitch difference,
// and the position CENTER, TOP, BOTTOM or BASE respectively.
Flow CmdSizeCenter(Conversion& c);
Flow CmdSizeTop(Conversion& c);
Flow CmdSizeBottom(Conversion& c);
Flow CmdSizeBase(Conversion& c);

// 0xD041: width = s1 and the pitch difference; height and position stay.
Flow CmdWidth(Conversion& c);

// 0xD038: line spacing = a length in units of the job, read as quarters.
Flow CmdLineSpacing(Conversion& c);

// 0xD039: measure = a length (picas and points in a pt job, Q in a Q job).
Flow CmdMeasure(Conversion& c);

}  // namespace velkan
