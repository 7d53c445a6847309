#include "commands/warning_commands.h"

#include "commands/commands_literals.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/units.h"

namespace velkan {

namespace {

constexpr int16_t kMaxSpaceCount = 399;

}  // namespace

int16_t CmdMultipleLineFeed(Conversion& c) {
  int16_t v;
  int16_t missing = ReadDigits(c, v, 2);
  if (missing < 0) return -1;
  if (missing == 0) c.out.WriteWarningF(lit::kWarnMultipleLineFeed, v);
  return 0;
}

int16_t CmdNationalHyphen(Conversion& c) {
  int16_t n;
  if (ReadInteger(c, n) < 0) return -1;
  c.out.WriteWarningF(lit::kWarnNationalHyphen, n);
  return 1;
}

int16_t CmdHeadingPushOut(Conversion& c) {
  c.out.WriteWarning(lit::kWarnHeadingPushOut);
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdSpaceCommand(Conversion& c) {
  int32_t length;
  if (ReadUnitLength(c, length) < 0) return -1;
  if (c.stream.currentWord == kCommaSeparator) {
    int16_t n;
    int16_t digits = ReadInteger(c, n);
    if (digits < 0) return -1;
    if (digits > 0 && n >= 0 && n <= kMaxSpaceCount) {
      c.out.WriteWarningF(lit::kWarnSpaceCommand, FormatLength(length), n);
      return 0;
    }
  }
  return SkipArguments(c) < 0 ? -1 : 0;
}

int16_t CmdSpaceExecution(Conversion& c) {
  CodeStream& s = c.stream;
  c.out.WriteWarning(lit::kWarnSpaceExecution);
  if (NextWord(c, s.currentWord) < 0) return -1;
  if (s.currentWord == kGroupClose) return 0;
  return SkipArguments(c) < 0 ? -1 : 0;
}

int16_t CmdNewIndent(Conversion& c) {
  CodeStream& s = c.stream;
  if (NextWord(c, s.currentWord) < 0) return -1;
  const uint16_t selector = s.currentWord;
  int32_t x = 0, y = 0;
  bool more;
  if (selector == kIndent) {
    if (ReadLength(c, x) < 0) return -1;
    more = !IsCommandWord(s.currentWord);
  } else if (selector == kIndentChars) {
    if (ReadCharsFull(c, x) < 0) return -1;
    more = !IsCommandWord(s.currentWord);
  } else {
    // Any other selector word is passed over, but never the group's end.
    more = selector != kGroupClose && selector != kEndOfJob;
  }
  if (more) {
    if (ReadUnitLength(c, y) < 0) return -1;
    more = !IsCommandWord(s.currentWord);
  }
  if (more) {
    int16_t unused;
    if (ReadInteger(c, unused) < 0) return -1;
  }
  if (SkipArguments(c) < 0) return -1;
  c.out.WriteWarning(lit::kWarnInvalidVariable);
  c.out.WriteWarningF(lit::kWarnNewIndent, FormatLength(x), FormatLength(y));
  return 0;
}

int16_t CmdIgnoredCommand(Conversion& c) {
  c.stream.wordPending = 0;
  return 1;
}

int16_t CmdSkippedCommand(Conversion& c) {
  CodeStream& s = c.stream;
  if (NextWord(c, s.currentWord) < 0) return -1;
  s.wordPending = 1;
  return 1;
}

}  // namespace velkan
