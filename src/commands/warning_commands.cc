#include "commands/warning_commands.h"

#include "commands/arguments.h"
#include "commands/commands_literals.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/units.h"

namespace velkan {

namespace {

constexpr int16_t kMaxSpaceCount = 399;

}  // namespace

Flow CmdMultipleLineFeed(Conversion& c) {
  int16_t v;
  int16_t missing = ReadDigits(c, v, 2);
  if (missing < 0) return Flow::kFail;
  if (missing == 0) c.out.WriteWarningF<lit::kWarnMultipleLineFeed>(v);
  return Flow::kGoOn;
}

Flow CmdNationalHyphen(Conversion& c) {
  int16_t n;
  if (ReadInteger(c, n) < 0) return Flow::kFail;
  c.out.WriteWarningF<lit::kWarnNationalHyphen>(n);
  return Flow::kGoOn;
}

Flow CmdHeadingPushOut(Conversion& c) {
  c.out.WriteWarning(kWarningTag<lit::kWarnHeadingPushOut>);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdSpaceCommand(Conversion& c) {
  int32_t length;
  if (ReadUnitLength(c, length) < 0) return Flow::kFail;
  if (c.stream.current() == kCommaSeparator) {
    int16_t n;
    int16_t digits = ReadInteger(c, n);
    if (digits < 0) return Flow::kFail;
    if (digits > 0 && n >= 0 && n <= kMaxSpaceCount) {
      c.out.WriteWarningF<lit::kWarnSpaceCommand>(LengthHundredths(length), n);
      return Flow::kGoOn;
    }
  }
  return SkipArguments(c) < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdSpaceExecution(Conversion& c) {
  CodeStream& s = c.stream;
  c.out.WriteWarning(kWarningTag<lit::kWarnSpaceExecution>);
  if (s.Take() < 0) return Flow::kFail;
  if (s.current() == kGroupClose) return Flow::kGoOn;
  return SkipArguments(c) < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdNewIndent(Conversion& c) {
  return WithArguments(c, [&](auto& a) {
    if (a.Take() < 0) return Flow::kFail;
    const uint16_t selector = a.current();
    int32_t x = 0, y = 0;
    bool more;
    if (selector == kIndent) {
      if (a.Length(x) < 0) return Flow::kFail;
      more = !IsCommandWord(a.current());
    } else if (selector == kIndentChars) {
      if (a.CharsFull(x) < 0) return Flow::kFail;
      more = !IsCommandWord(a.current());
    } else {
      // Any other selector word is passed over, but never the group's end.
      more = selector != kGroupClose && selector != kEndOfJob;
    }
    if (more) {
      if (a.UnitLength(y) < 0) return Flow::kFail;
      more = !IsCommandWord(a.current());
    }
    if (more) {
      int16_t unused;
      if (a.Integer(unused) < 0) return Flow::kFail;
    }
    if (a.Skip() < 0) return Flow::kFail;
    c.out.WriteWarning(kWarningTag<lit::kWarnInvalidVariable>);
    c.out.WriteWarningF<lit::kWarnNewIndent>(LengthHundredths(x), LengthHundredths(y));
    return Flow::kGoOn;
  });
}

Flow CmdIgnoredCommand(Conversion& c) {
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdSkippedCommand(Conversion& c) {
  CodeStream& s = c.stream;
  if (s.Take() < 0) return Flow::kFail;
  s.Keep();
  return Flow::kGoOn;
}

Flow WarnAndConsume(Conversion& c, const WarningTag& warning, Flow result) {
  c.out.WriteWarning(warning);
  c.stream.Consume();
  return result;
}

}  // namespace velkan
