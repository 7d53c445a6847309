// The commands that set up a line: character size and position, font and
// colour, line spacing and measure.
//
// These are in-group handlers: each reads its arguments with the readers and
// returns with `currentWord` at the first word it did not use, and fails when
// a reader failed. They only change the typographic settings;
// the tags follow at the next step of the main loop.
#pragma once

#include <cstddef>
#include <cstdint>

#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/flow.h"
#include "conversion/readers.h"
#include "typo/wrap.h"

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

namespace positioning_detail {

// What a size command sets: height = width = `size`, the pitch difference
// and the position.
inline void ApplySize(Conversion& c, int16_t size, int16_t jkr, int32_t position) {
  TypoState& t = c.ChangeTypo();
  t.height = size;
  t.width = size;
  t.jkr = jkr;
  t.position = position;
}

// ReadQuarters over the words at [p, end): an integer and, after a point
// separator, fraction digits. Returns where the first word after them lies.
inline const uint8_t* QuartersAt(const uint8_t* p, const uint8_t* end, int16_t& value) {
  uint32_t a = 0, b = 0, n = 0;
  p = ScanDigits(p, end, a, n);
  int16_t fraction = 0;  // RoundToQuarters(0)
  if (p < end && LoadBigEndian16(p) == kPointSeparator) {
    p = ScanDigits(p + 2, end, b, n);
    fraction = RoundToQuarters(Wrap16(static_cast<int32_t>(b)));
  }
  value = Wrap16(int32_t{Wrap16(static_cast<int32_t>(a))} * 4 + fraction);
  return p;
}

}  // namespace positioning_detail

// Runs the setting command `handler` (one of CmdFont, CmdColour, the size
// commands, CmdWidth and CmdLineSpacing), the current word inside a group,
// straight from the block read when its arguments and the 0xD004 closing
// the group lie there and hold no comma after a size: sets what `handler`
// would, takes the words through the 0xD004 and returns true. Returns false
// having done nothing otherwise (any other handler, a replay running, a
// word the group would skip, the block read ending first). Inline, so that
// the group's loop runs it without a call.
[[gnu::always_inline]] inline bool RunSettingInBlock(Conversion& c, Flow (*handler)(Conversion&)) {
  using positioning_detail::QuartersAt;
  size_t avail = 0;
  const uint8_t* const p = c.stream.PeekWords(avail);
  const uint8_t* const end = p + 2 * avail;
  const uint8_t* q = p;
  int16_t v = 0;
  if (handler == CmdFont || handler == CmdColour) {
    uint32_t a = 0, n = 0;
    q = ScanDigits(p, end, a, n);
    v = Wrap16(static_cast<int32_t>(a));
    if (q == end || LoadBigEndian16(q) != kGroupClose) return false;
    (handler == CmdFont ? c.ChangeTypo().font : c.ChangeTypo().colour) = v;
  } else if (handler == CmdLineSpacing) {
    q = QuartersAt(p, end, v);
    if (q == end || LoadBigEndian16(q) != kGroupClose) return false;
    c.ChangeTypo().lineSpacing = int32_t{v} * kQuarterUnits;
  } else if (handler == CmdWidth) {
    q = QuartersAt(p, end, v);
    if (q == end || LoadBigEndian16(q) != kGroupClose) return false;
    c.ChangeTypo().width = v;
    c.typo.jkr = 0;
  } else {
    int32_t position = handler == CmdSizeCenter ? 0
                       : handler == CmdSizeTop  ? 1
                       : handler == CmdSizeBottom ? 2
                       : handler == CmdSizeBase ? 3
                                                : -1;
    if (position < 0) return false;
    q = QuartersAt(p, end, v);
    if (q == end || LoadBigEndian16(q) != kGroupClose) return false;
    positioning_detail::ApplySize(c, v, 0, position);
  }
  c.stream.TakeWords(static_cast<size_t>(q - p) / 2 + 1);
  return true;
}

}  // namespace velkan
