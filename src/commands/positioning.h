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

// The pitch difference of a size and its pitch: the difference of two
// 16-bit values, kept as the 16-bit field wraps it.
inline int16_t PitchDifference(int16_t size, int16_t pitch) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint16_t>(pitch) - static_cast<uint16_t>(size)));
}

// ReadQuarters over the words at [p, end): an integer and, after a point
// separator, fraction digits. Returns where the first word after them lies.
[[gnu::always_inline]] inline const uint8_t* QuartersAt(const uint8_t* p, const uint8_t* end, int16_t& value) {
  uint32_t a = 0;
  p = DigitsAt(p, end, a);
  int16_t fraction = 0;  // RoundToQuarters(0)
  if (p < end && LoadBigEndian16(p) == kPointSeparator) [[unlikely]] {
    uint32_t b = 0;
    p = DigitsAt(p + 2, end, b);
    fraction = RoundToQuarters(Wrap16(static_cast<int32_t>(b)));
  }
  value = Wrap16(int32_t{Wrap16(static_cast<int32_t>(a))} * 4 + fraction);
  return p;
}

// The size pair of the size commands and CmdWidth over the words at [p,
// end), closed by the group's 0xD004: a size and, after a comma separator,
// a pitch; `jkr` is the pitch less the size, 0 without a pitch. Returns
// where the word after the 0xD004 lies, or nullptr when another word
// follows the pair or the words end first.
[[gnu::always_inline]] inline const uint8_t* ClosedSizePairAt(const uint8_t* p, const uint8_t* end, int16_t& size,
                                                              int16_t& jkr) {
  p = QuartersAt(p, end, size);
  if (p == end) return nullptr;
  const uint16_t next = LoadBigEndian16(p);
  if (next == kGroupClose) [[likely]] {
    jkr = 0;
    return p + 2;
  }
  if (next != kCommaSeparator) return nullptr;
  int16_t pitch = 0;
  p = QuartersAt(p + 2, end, pitch);
  if (p == end || LoadBigEndian16(p) != kGroupClose) return nullptr;
  jkr = PitchDifference(size, pitch);
  return p + 2;
}

// True for the setting commands SetFromBlock runs.
constexpr bool IsSettingWord(uint16_t word) {
  switch (word) {
    case kFontWord:
    case kColourWord:
    case kSizeCentre:
    case kSizeTop:
    case kSizeBottom:
    case kSizeBase:
    case kLineSpacingWord:
    case kWidthWord:
      return true;
    default:
      return false;
  }
}

// SetFromBlock for a group of one or more setting commands, each with its
// arguments, up to the 0xD004 (at most four commands): sets what the
// handlers would and returns where the word after the 0xD004 lies, with
// `last` set to the last command word when there are several (left as it
// is otherwise); nullptr having done nothing otherwise. Apart from
// SetFromBlock, which runs a group of one command inline.
const uint8_t* SetSeveralFromBlock(Conversion& c, uint16_t word, const uint8_t* p, const uint8_t* end,
                                   const uint8_t*& last);

}  // namespace positioning_detail

// Runs the setting command `word` inside a group (font, colour, the four
// sizes, width, line spacing: the words whose in-group handlers are CmdFont,
// CmdColour, the size commands, CmdWidth and CmdLineSpacing) straight from
// the block read: `p` is the word after it and `end` the end of the words
// the block shows. When its arguments and the 0xD004 closing the group lie
// there, sets what the handler would and returns where the word after the
// 0xD004 lies; returns nullptr having done nothing otherwise (any other
// word, a word the group would skip, the block ending first). Inline, so
// that the group's loop runs it without a call.
[[gnu::always_inline]] inline const uint8_t* SetFromBlock(Conversion& c, uint16_t word, const uint8_t* p,
                                                          const uint8_t* end) {
  using positioning_detail::QuartersAt;
  using positioning_detail::ClosedSizePairAt;
  // Where the group's 0xD004 stands right behind the arguments, the word
  // after it; else nullptr.
  auto closed = [end](const uint8_t* q) -> const uint8_t* {
    return q != end && LoadBigEndian16(q) == kGroupClose ? q + 2 : nullptr;
  };
  int16_t v = 0, jkr = 0;
  const uint8_t* q = nullptr;
  switch (word) {
    case kFontWord:
    case kColourWord: {
      uint32_t a = 0;
      q = closed(DigitsAt(p, end, a));
      if (q == nullptr) return nullptr;
      (word == kFontWord ? c.ChangeTypo().font : c.ChangeTypo().colour) = Wrap16(static_cast<int32_t>(a));
      return q;
    }
    case kSizeCentre:
    case kSizeTop:
    case kSizeBottom:
    case kSizeBase:
      q = ClosedSizePairAt(p, end, v, jkr);
      if (q == nullptr) return nullptr;
      positioning_detail::ApplySize(c, v, jkr, word == kSizeCentre ? 0 : word == kSizeTop ? 1 : word == kSizeBottom ? 2 : 3);
      return q;
    case kLineSpacingWord:
      q = closed(QuartersAt(p, end, v));
      if (q == nullptr) return nullptr;
      c.ChangeTypo().lineSpacing = int32_t{v} * kQuarterUnits;
      return q;
    case kWidthWord:
      q = ClosedSizePairAt(p, end, v, jkr);
      if (q == nullptr) return nullptr;
      c.ChangeTypo().width = v;
      c.typo.jkr = jkr;
      return q;
    default:
      return nullptr;
  }
}

// SetFromBlock for the setting command `word`, the current word inside a
// group, over the words of the block read, or SetSeveralFromBlock when more
// setting commands follow it there: takes the words through the 0xD004
// (the last command word marked, as the group's loop would) and returns
// true, or returns false having done nothing.
[[gnu::always_inline]] inline bool RunSettingInBlock(Conversion& c, uint16_t word) {
  size_t avail = 0;
  const uint8_t* const p = c.stream.PeekWords(avail);
  const uint8_t* q = SetFromBlock(c, word, p, p + 2 * avail);
  if (q == nullptr) [[unlikely]] {
    if (!positioning_detail::IsSettingWord(word)) return false;
    const uint8_t* last = nullptr;
    q = positioning_detail::SetSeveralFromBlock(c, word, p, p + 2 * avail, last);
    if (q == nullptr) return false;
    if (last != nullptr) {
      c.stream.TakeWordsMarking(static_cast<size_t>(last - p) / 2 + 1, static_cast<size_t>(q - p) / 2);
      return true;
    }
  }
  c.stream.TakeWords(static_cast<size_t>(q - p) / 2);
  return true;
}

}  // namespace velkan
