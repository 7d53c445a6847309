#include "commands/justification.h"

#include "commands/commands_literals.h"
#include "commands/ruby.h"
#include "commands/warning_commands.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/units.h"
#include "typo/wrap.h"

namespace velkan {

namespace {

void ShiftUp(Conversion& c, int64_t by) { c.ChangeMove().up = Wrap32(int64_t{c.move.up} + by); }

}  // namespace

Flow CmdMeasureChars(Conversion& c) {
  int32_t v;
  if (ReadCharsSpan(c, v) < 0) return Flow::kFail;
  c.ChangeTypo().measure = v;
  return Flow::kGoOn;
}

Flow CmdMeasureMillimetres(Conversion& c) {
  int32_t v;
  if (ReadMillimetres(c, v) < 0) return Flow::kFail;
  c.ChangeTypo().measure = v;
  return Flow::kGoOn;
}

Flow CmdShiftUp(Conversion& c) {
  int32_t v;
  if (ReadUnitLength(c, v) < 0) return Flow::kFail;
  ShiftUp(c, v);
  return Flow::kGoOn;
}

Flow CmdShiftDown(Conversion& c) {
  int32_t v;
  if (ReadUnitLength(c, v) < 0) return Flow::kFail;
  ShiftUp(c, -int64_t{v});
  return Flow::kGoOn;
}

Flow CmdShiftUpHalfLine(Conversion& c) {
  c.stream.Consume();
  ShiftUp(c, c.typo.lineSpacing / 2);
  return Flow::kGoOn;
}

Flow CmdShiftDownHalfLine(Conversion& c) {
  c.stream.Consume();
  ShiftUp(c, -int64_t{c.typo.lineSpacing / 2});
  return Flow::kGoOn;
}

Flow CmdCheckIndexedLength(Conversion& c) {
  int16_t index;
  if (ReadInteger(c, index) < 0) return Flow::kFail;
  int32_t length = 0;
  int16_t r;
  switch (c.stream.current()) {
    case kSelectMeasureLength: r = ReadLength(c, length); break;
    case kSelectMeasureMillimetres: r = ReadMillimetres(c, length); break;
    case kSelectMeasureChars: r = ReadCharsSpan(c, length); break;
    default: return Flow::kFail;
  }
  if (r < 0) return Flow::kFail;
  const SizeLimits& lim = c.limits;
  if (index < 0 || index > 60 || length < lim.minLength || length > lim.maxLength) return Flow::kFail;
  return Flow::kGoOn;
}

Flow CmdFillSpace(Conversion& c) {
  CloseManualRuby(c);
  c.out.WriteText("<FILSP>");
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdNoEffect(Conversion& c) {
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdOriginSet(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnOriginSet>); }
Flow CmdOriginReturn(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnOriginReturn>); }
Flow CmdHorizontalTab(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnHorizontalTab>); }
Flow CmdVerticalTabStart(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnVerticalTabStart>); }
Flow CmdVerticalTabMiddle(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnVerticalTabMiddle>); }
Flow CmdVerticalTabEnd(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnVerticalTabEnd>); }
Flow CmdCapitalAccent(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnCapitalAccent>); }
Flow CmdSmallAccent(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnSmallAccent>); }
Flow CmdOneShotSolid(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnOneShotSolid>); }
Flow CmdJustifyPlanted(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnJustifyPlanted>); }
Flow CmdJustifyLeading(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnJustifyLeading>); }
Flow CmdJustifyIgnore(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnJustifyIgnore>, Flow::kEndPrePhase); }
Flow CmdJustifyNoSplit(Conversion& c) {
  return WarnAndConsume(c, kWarningTag<lit::kWarnJustifyNoSplit>, Flow::kEndPrePhase);
}
Flow CmdIgnoreIndent(Conversion& c) { return WarnAndConsume(c, kWarningTag<lit::kWarnIgnoreIndent>); }

// Without a digit the word that ended the reading is left pending, so that a
// character or command right after the origin is not lost.
Flow CmdOriginSetValue(Conversion& c) {
  int16_t value;
  int16_t missing = ReadDigits(c, value, 1);
  if (missing < 0) return Flow::kFail;
  if (missing > 0) c.out.WriteWarningF<lit::kWarnOriginSetValue>(0);
  return Flow::kGoOn;
}

Flow CmdOriginReturnValue(Conversion& c) {
  int16_t value;
  return ReadDigits(c, value, 1) < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdJustifySize(Conversion& c) {
  int32_t length;
  if (ReadUnitLength(c, length) < 0) return Flow::kFail;
  if (length < int32_t{c.limits.minSize} * kInternalPerQuarter) {
    c.out.WriteWarningF<lit::kWarnJustifySize>(LengthHundredths(length));
  }
  return Flow::kGoOn;
}

Flow CmdJustifyLeadingLength(Conversion& c) {
  int32_t length;
  if (ReadUnitLength(c, length) < 0) return Flow::kFail;
  if (length < 0) c.out.WriteWarningF<lit::kWarnJustifyLeadingLength>(LengthHundredths(length));
  return Flow::kGoOn;
}

Flow CmdMixedStart(Conversion& c) {
  int32_t length;
  if (ReadLength(c, length) < 0) return Flow::kFail;
  c.out.WriteWarningF<lit::kWarnMixedStart>(LengthHundredths(length));
  return Flow::kGoOn;
}

Flow CmdLineHeadPosition(Conversion& c) {
  int32_t length;
  if (ReadLength(c, length) < 0) return Flow::kFail;
  c.out.WriteWarningF<lit::kWarnLineHeadPosition>(LengthHundredths(length));
  return Flow::kGoOn;
}

Flow CmdWordSpace(Conversion& c) {
  int16_t a, b, w;
  if (ReadQuarters(c, a) < 0) return Flow::kFail;
  if (c.stream.current() != kCommaSeparator) return Flow::kGoOn;
  if (ReadQuarters(c, b) < 0) return Flow::kFail;
  if (c.stream.current() != kCommaSeparator) return Flow::kGoOn;
  if (ReadQuarters(c, w) < 0) return Flow::kFail;
  c.out.WriteWarningF<lit::kWarnWordSpace>(a, b, w);
  return Flow::kGoOn;
}

Flow CmdAutoDeform(Conversion& c) {
  int16_t a, b, v = 0;
  if (ReadQuarters(c, a) < 0) return Flow::kFail;
  if (c.stream.current() != kCommaSeparator) return Flow::kGoOn;
  if (ReadQuarters(c, b) < 0) return Flow::kFail;
  if (c.stream.current() == kCommaSeparator && ReadInteger(c, v) < 0) return Flow::kFail;
  c.out.WriteWarningF<lit::kWarnAutoDeform>(a, b, v);
  return Flow::kGoOn;
}

}  // namespace velkan
