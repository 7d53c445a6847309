#include "commands/indents.h"

#include "commands/arguments.h"
#include "commands/commands_literals.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/units.h"
#include "typo/wrap.h"

namespace velkan {

namespace {

bool IsIndentSelector(uint16_t w) { return w == kSelectIndentLeft || w == kSelectIndentRight; }

enum class Given { kLength, kChars, kPercent };

// The shared course of 0xD02F, 0xD096 and 0xD0D9 over the arguments `a`
// (see WithArguments). A rejected command's remaining arguments are passed
// over.
template <typename Arguments>
Flow SideIndent(Conversion& c, Arguments& a, Given given) {
  auto reject = [&a] { return a.Skip() < 0 ? Flow::kFail : Flow::kGoOn; };
  int32_t length = 0;
  int16_t percent = 0;
  switch (given) {
    case Given::kLength:
      if (a.Length(length) < 0) return Flow::kFail;
      break;
    case Given::kChars:
      if (a.CharsFull(length) < 0) return Flow::kFail;
      break;
    case Given::kPercent:
      // A quarter of a percent of the measure, taken in whole 1/400ths.
      if (a.Quarters(percent) < 0) return Flow::kFail;
      length = Wrap32(int64_t{c.typo.measure / 400} * percent);
      break;
  }
  if (length < 0) return reject();
  uint16_t selector = a.current();
  if (!IsIndentSelector(selector)) return reject();
  int16_t lines;
  if (a.Integer(lines) < 0) return Flow::kFail;
  if (lines < 0) return reject();
  if (given == Given::kPercent) {
    c.out.WriteWarningF<lit::kWarnIndentPercent>(LengthHundredths(length), lines);
  } else if (selector == kSelectIndentLeft) {
    c.ChangeTypo().indentLeft = length;
  } else {
    c.ChangeTypo().indentRight = length;
  }
  return Flow::kGoOn;
}

Flow SideIndent(Conversion& c, Given given) {
  return WithArguments(c, [&](auto& a) { return SideIndent(c, a, given); });
}

// Sets `field` of the settings to a length, or to a count of characters
// with `chars`, read from the arguments.
Flow SetIndent(Conversion& c, int32_t TypoState::*field, bool chars) {
  return WithArguments(c, [&](auto& a) {
    int32_t v;
    if ((chars ? a.CharsFull(v) : a.Length(v)) < 0) return Flow::kFail;
    c.ChangeTypo().*field = v;
    return Flow::kGoOn;
  });
}

}  // namespace

Flow CmdIndent(Conversion& c) { return SideIndent(c, Given::kLength); }
Flow CmdIndentChars(Conversion& c) { return SideIndent(c, Given::kChars); }
Flow CmdIndentPercent(Conversion& c) { return SideIndent(c, Given::kPercent); }

Flow CmdIndentHanging(Conversion& c) { return SetIndent(c, &TypoState::indentHanging, false); }
Flow CmdIndentHangingChars(Conversion& c) { return SetIndent(c, &TypoState::indentHanging, true); }
Flow CmdIndentStart(Conversion& c) { return SetIndent(c, &TypoState::indentStart, false); }
Flow CmdIndentStartChars(Conversion& c) { return SetIndent(c, &TypoState::indentStart, true); }

Flow CmdIndentReset(Conversion& c) {
  c.ChangeTypo().indentLeft = 0;
  c.ChangeTypo().indentRight = 0;
  c.ChangeTypo().indentHanging = 0;
  return c.stream.Take() < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdPositionIndent(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    if (a.Take() < 0) return Flow::kFail;
    if (!IsIndentSelector(a.current())) {
      // Warned before the arguments are passed over; over the block, once
      // they are found there.
      if (a.kFromBlock && a.Skip() < 0) return Flow::kFail;
      c.out.WriteWarning(kWarningTag<lit::kWarnPositionIndent>);
      return a.Skip() < 0 ? Flow::kFail : Flow::kGoOn;
    }
    int16_t position;
    return a.Integer(position) < 0 ? Flow::kFail : Flow::kGoOn;
  });
}

}  // namespace velkan
