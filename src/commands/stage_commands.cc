#include "commands/stage_commands.h"

#include "commands/ruby.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/readers.h"
#include "typo/typo_literals.h"

namespace velkan {

int16_t CmdOneShotCode(Conversion& c) {
  CloseManualRuby(c);
  CodeStream& s = c.stream;
  do {
    if (NextWord(c, s.currentWord) < 0) return -1;
  } while (s.currentWord == kGroupClose);
  c.chars.oneShotCode = 1;
  s.wordPending = 1;
  return 0;
}

int16_t CmdKinsokuRelease(Conversion& c) {
  c.out.WriteWarning(lit::kWarnKinsokuRelease);
  CodeStream& s = c.stream;
  for (;;) {
    if (NextWord(c, s.currentWord) < 0) return -1;
    if (s.currentWord == kLineEnd1C) break;
    // The end of the input cannot be followed by the word the drop waits
    // for: the drop ends there and the end word stays for the main loop.
    if (s.currentWord == kEndOfJob && s.exhausted()) {
      s.wordPending = 1;
      return 0;
    }
  }
  s.wordPending = 0;
  return 0;
}

int16_t CmdIgnoredCount(Conversion& c) {
  int16_t value = 0;
  return ReadDigits(c, value, 2) < 0 ? int16_t{-1} : int16_t{0};
}

int16_t CmdMixedSettingStart(Conversion& c) {
  c.out.WriteWarning(lit::kWarnMixedSettingStart);
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdMixedSettingEnd(Conversion& c) {
  c.out.WriteWarning(lit::kWarnMixedSettingEnd);
  c.stream.wordPending = 0;
  return 0;
}

int16_t CmdIgnoredInteger(Conversion& c) {
  int16_t value = 0;
  return ReadInteger(c, value) < 0 ? int16_t{-1} : int16_t{1};
}

int16_t CmdIgnoredLength(Conversion& c) {
  int32_t value = 0;
  return ReadLength(c, value) < 0 ? int16_t{-1} : int16_t{1};
}

}  // namespace velkan
