// The commands that set up a line: character size and position, font and
// colour, line spacing and measure.
//
// These are in-group handlers: each reads its arguments with the readers and
// returns with `currentWord` at the first word it did not use, 1 on success
// or -1 when a reader failed. They only change the typographic settings;
// the tags follow at the next step of the main loop.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

// 0xD02D: font = the integer read.
int16_t CmdFont(Conversion& c);

// 0xD084: colour = the integer read.
int16_t CmdColour(Conversion& c);

// Size commands read a size pair: a size s1 in quarter units and, after a
// comma separator, a pitch s2 (s2 = s1 without one); jkr = s2 - s1.
// 0xD052, 0xD051, 0xD053, 0xD02E: height = width = s1, the pitch difference,
// and the position CENTER, TOP, BOTTOM or BASE respectively.
int16_t CmdSizeCenter(Conversion& c);
int16_t CmdSizeTop(Conversion& c);
int16_t CmdSizeBottom(Conversion& c);
int16_t CmdSizeBase(Conversion& c);

// 0xD041: width = s1 and the pitch difference; height and position stay.
int16_t CmdWidth(Conversion& c);

// 0xD038: line spacing = a length in units of the job, read as quarters.
int16_t CmdLineSpacing(Conversion& c);

// 0xD039: measure = a length (picas and points in a pt job, Q in a Q job).
int16_t CmdMeasure(Conversion& c);

}  // namespace velkan
