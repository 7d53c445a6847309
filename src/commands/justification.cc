#include "commands/justification.h"

#include "commands/commands_literals.h"
#include "commands/ruby.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/units.h"
#include "typo/wrap.h"

namespace velkan {

namespace {

void ShiftUp(Conversion& c, int64_t by) { c.move.up = Wrap32(int64_t{c.move.up} + by); }

}  // namespace

int16_t CmdMeasureChars(Conversion& c) {
  int32_t v;
  if (ReadCharsSpan(c, v) < 0) return -1;
  c.typo.measure = v;
  return 1;
}

int16_t CmdMeasureMillimetres(Conversion& c) {
  int32_t v;
  if (ReadMillimetres(c, v) < 0) return -1;
  c.typo.measure = v;
  return 1;
}

int16_t CmdShiftUp(Conversion& c) {
  int32_t v;
  if (ReadUnitLength(c, v) < 0) return -1;
  ShiftUp(c, v);
  return 1;
}

int16_t CmdShiftDown(Conversion& c) {
  int32_t v;
  if (ReadUnitLength(c, v) < 0) return -1;
  ShiftUp(c, -int64_t{v});
  return 1;
}

int16_t CmdShiftUpHalfLine(Conversion& c) {
  c.stream.wordPending = 0;
  ShiftUp(c, c.typo.lineSpacing / 2);
  return 1;
}

int16_t CmdShiftDownHalfLine(Conversion& c) {
  c.stream.wordPending = 0;
  ShiftUp(c, -int64_t{c.typo.lineSpacing / 2});
  return 1;
}

int16_t CmdCheckIndexedLength(Conversion& c) {
  int16_t index;
  if (ReadInteger(c, index) < 0) return -1;
  int32_t length = 0;
  int16_t r;
  switch (c.stream.currentWord) {
    case kSelectMeasureLength: r = ReadLength(c, length); break;
    case kSelectMeasureMillimetres: r = ReadMillimetres(c, length); break;
    case kSelectMeasureChars: r = ReadCharsSpan(c, length); break;
    default: return -1;
  }
  if (r < 0) return -1;
  const SizeLimits& lim = c.limits;
  if (index < 0 || index > 60 || length < lim.minLength || length > lim.maxLength) return -1;
  return 1;
}

int16_t CmdFillSpace(Conversion& c) {
  CloseManualRuby(c);
  c.out.WriteText("<FILSP>");
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdNoEffect(Conversion& c) {
  c.stream.wordPending = 0;
  return 1;
}

int16_t CmdOriginSet(Conversion& c) { return WarnAndConsume(c, lit::kWarnOriginSet, 0); }
int16_t CmdOriginReturn(Conversion& c) { return WarnAndConsume(c, lit::kWarnOriginReturn, 0); }
int16_t CmdHorizontalTab(Conversion& c) { return WarnAndConsume(c, lit::kWarnHorizontalTab, 1); }
int16_t CmdVerticalTabStart(Conversion& c) { return WarnAndConsume(c, lit::kWarnVerticalTabStart, 0); }
int16_t CmdVerticalTabMiddle(Conversion& c) { return WarnAndConsume(c, lit::kWarnVerticalTabMiddle, 0); }
int16_t CmdVerticalTabEnd(Conversion& c) { return WarnAndConsume(c, lit::kWarnVerticalTabEnd, 0); }
int16_t CmdCapitalAccent(Conversion& c) { return WarnAndConsume(c, lit::kWarnCapitalAccent, 0); }
int16_t CmdSmallAccent(Conversion& c) { return WarnAndConsume(c, lit::kWarnSmallAccent, 0); }
int16_t CmdOneShotSolid(Conversion& c) { return WarnAndConsume(c, lit::kWarnOneShotSolid, 1); }
int16_t CmdJustifyPlanted(Conversion& c) { return WarnAndConsume(c, lit::kWarnJustifyPlanted, 0); }
int16_t CmdJustifyLeading(Conversion& c) { return WarnAndConsume(c, lit::kWarnJustifyLeading, 0); }
int16_t CmdJustifyIgnore(Conversion& c) { return WarnAndConsume(c, lit::kWarnJustifyIgnore, 0); }
int16_t CmdJustifyNoSplit(Conversion& c) { return WarnAndConsume(c, lit::kWarnJustifyNoSplit, 0); }
int16_t CmdIgnoreIndent(Conversion& c) { return WarnAndConsume(c, lit::kWarnIgnoreIndent, 0); }

// Without a digit the word that ended the reading is left pending, so that a
// character or command right after the origin is not lost.
int16_t CmdOriginSetValue(Conversion& c) {
  int16_t value;
  int16_t missing = ReadDigits(c, value, 1);
  if (missing < 0) return -1;
  if (missing > 0) c.out.WriteWarningF(lit::kWarnOriginSetValue, 0);
  return 0;
}

int16_t CmdOriginReturnValue(Conversion& c) {
  int16_t value;
  return ReadDigits(c, value, 1) < 0 ? -1 : 0;
}

int16_t CmdJustifySize(Conversion& c) {
  int32_t length;
  if (ReadUnitLength(c, length) < 0) return -1;
  if (length < int32_t{c.limits.minSize} * kInternalPerQuarter) {
    c.out.WriteWarningF(lit::kWarnJustifySize, FormatLength(length));
  }
  return 1;
}

int16_t CmdJustifyLeadingLength(Conversion& c) {
  int32_t length;
  if (ReadUnitLength(c, length) < 0) return -1;
  if (length < 0) c.out.WriteWarningF(lit::kWarnJustifyLeadingLength, FormatLength(length));
  return 1;
}

int16_t CmdMixedStart(Conversion& c) {
  int32_t length;
  if (ReadLength(c, length) < 0) return -1;
  c.out.WriteWarningF(lit::kWarnMixedStart, FormatLength(length));
  return 1;
}

int16_t CmdLineHeadPosition(Conversion& c) {
  int32_t length;
  if (ReadLength(c, length) < 0) return -1;
  c.out.WriteWarningF(lit::kWarnLineHeadPosition, FormatLength(length));
  return 1;
}

int16_t CmdWordSpace(Conversion& c) {
  int16_t a, b, w;
  if (ReadQuarters(c, a) < 0) return -1;
  if (c.stream.currentWord != kCommaSeparator) return 1;
  if (ReadQuarters(c, b) < 0) return -1;
  if (c.stream.currentWord != kCommaSeparator) return 1;
  if (ReadQuarters(c, w) < 0) return -1;
  c.out.WriteWarningF(lit::kWarnWordSpace, a, b, w);
  return 1;
}

int16_t CmdAutoDeform(Conversion& c) {
  int16_t a, b, v = 0;
  if (ReadQuarters(c, a) < 0) return -1;
  if (c.stream.currentWord != kCommaSeparator) return 1;
  if (ReadQuarters(c, b) < 0) return -1;
  if (c.stream.currentWord == kCommaSeparator && ReadInteger(c, v) < 0) return -1;
  c.out.WriteWarningF(lit::kWarnAutoDeform, a, b, v);
  return 1;
}

}  // namespace velkan
