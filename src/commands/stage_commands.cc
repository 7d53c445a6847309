#include "commands/stage_commands.h"

#include "commands/ruby.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/typo_literals.h"

namespace velkan {

Flow CmdOneShotCode(Conversion& c) {
  CloseManualRuby(c);
  CodeStream& s = c.stream;
  do {
    if (s.Take() < 0) return Flow::kFail;
  } while (s.current() == kGroupClose);
  c.chars.oneShotCode = 1;
  s.Keep();
  return Flow::kGoOn;
}

Flow CmdKinsokuRelease(Conversion& c) {
  c.out.WriteWarning(kWarningTag<lit::kWarnKinsokuRelease>);
  CodeStream& s = c.stream;
  for (;;) {
    if (s.Take() < 0) return Flow::kFail;
    if (s.current() == kLineEnd1C) break;
    // The end of the input cannot be followed by the word the drop waits
    // for: the drop ends there and the end word stays for the main loop.
    if (s.current() == kEndOfJob && s.exhausted()) {
      s.Keep();
      return Flow::kGoOn;
    }
  }
  s.Consume();
  return Flow::kGoOn;
}

Flow CmdIgnoredCount(Conversion& c) {
  int16_t value = 0;
  return ReadDigits(c, value, 2) < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdMixedSettingStart(Conversion& c) {
  c.out.WriteWarning(kWarningTag<lit::kWarnMixedSettingStart>);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdMixedSettingEnd(Conversion& c) {
  c.out.WriteWarning(kWarningTag<lit::kWarnMixedSettingEnd>);
  c.stream.Consume();
  return Flow::kGoOn;
}

Flow CmdIgnoredInteger(Conversion& c) {
  int16_t value = 0;
  return ReadInteger(c, value) < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdIgnoredLength(Conversion& c) {
  int32_t value = 0;
  return ReadLength(c, value) < 0 ? Flow::kFail : Flow::kGoOn;
}

}  // namespace velkan
