#include "commands/indents.h"

#include "commands/commands_literals.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/units.h"
#include "typo/wrap.h"

namespace velkan {

namespace {

bool IsIndentSelector(uint16_t w) { return w == kSelectIndentLeft || w == kSelectIndentRight; }

// Passes over the rest of a rejected command's arguments: result 0, or -1.
Flow Reject(Conversion& c) { return SkipArguments(c) < 0 ? Flow::kFail : Flow::kGoOn; }

enum class Given { kLength, kChars, kPercent };

// The shared course of 0xD02F, 0xD096 and 0xD0D9.
Flow SideIndent(Conversion& c, Given given) {
  int32_t length = 0;
  int16_t percent = 0;
  switch (given) {
    case Given::kLength:
      if (ReadLength(c, length) < 0) return Flow::kFail;
      break;
    case Given::kChars:
      if (ReadCharsFull(c, length) < 0) return Flow::kFail;
      break;
    case Given::kPercent:
      // A quarter of a percent of the measure, taken in whole 1/400ths.
      if (ReadQuarters(c, percent) < 0) return Flow::kFail;
      length = Wrap32(int64_t{c.typo.measure / 400} * percent);
      break;
  }
  if (length < 0) return Reject(c);
  uint16_t selector = c.stream.current();
  if (!IsIndentSelector(selector)) return Reject(c);
  int16_t lines;
  if (ReadInteger(c, lines) < 0) return Flow::kFail;
  if (lines < 0) return Reject(c);
  if (given == Given::kPercent) {
    c.out.WriteWarningF(lit::kWarnIndentPercent, FormatLength(length), lines);
  } else if (selector == kSelectIndentLeft) {
    c.ChangeTypo().indentLeft = length;
  } else {
    c.ChangeTypo().indentRight = length;
  }
  return Flow::kGoOn;
}

}  // namespace

Flow CmdIndent(Conversion& c) { return SideIndent(c, Given::kLength); }
Flow CmdIndentChars(Conversion& c) { return SideIndent(c, Given::kChars); }
Flow CmdIndentPercent(Conversion& c) { return SideIndent(c, Given::kPercent); }

Flow CmdIndentHanging(Conversion& c) {
  int32_t v;
  if (ReadLength(c, v) < 0) return Flow::kFail;
  c.ChangeTypo().indentHanging = v;
  return Flow::kGoOn;
}

Flow CmdIndentHangingChars(Conversion& c) {
  int32_t v;
  if (ReadCharsFull(c, v) < 0) return Flow::kFail;
  c.ChangeTypo().indentHanging = v;
  return Flow::kGoOn;
}

Flow CmdIndentStart(Conversion& c) {
  int32_t v;
  if (ReadLength(c, v) < 0) return Flow::kFail;
  c.ChangeTypo().indentStart = v;
  return Flow::kGoOn;
}

Flow CmdIndentStartChars(Conversion& c) {
  int32_t v;
  if (ReadCharsFull(c, v) < 0) return Flow::kFail;
  c.ChangeTypo().indentStart = v;
  return Flow::kGoOn;
}

Flow CmdIndentReset(Conversion& c) {
  c.ChangeTypo().indentLeft = 0;
  c.ChangeTypo().indentRight = 0;
  c.ChangeTypo().indentHanging = 0;
  return c.stream.Take() < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdPositionIndent(Conversion& c) {
  if (c.stream.Take() < 0) return Flow::kFail;
  if (!IsIndentSelector(c.stream.current())) {
    c.out.WriteWarning(kWarningTag<lit::kWarnPositionIndent>);
    return Reject(c);
  }
  int16_t position;
  return ReadInteger(c, position) < 0 ? Flow::kFail : Flow::kGoOn;
}

}  // namespace velkan
