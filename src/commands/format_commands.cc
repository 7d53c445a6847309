#include "commands/format_commands.h"

#include <string>

#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/format_store.h"
#include "conversion/readers.h"
#include "conversion/warning_facts.h"

namespace velkan {

Flow CmdDefineFormat(Conversion& c) {
  int16_t n = 0;
  if (ReadInteger(c, n) < 0) return Flow::kFail;
  if (n < 0 || n >= kFormatCount || c.stream.current() != kGroupClose) return Flow::kGoOn;

  // The body is read into a word of our own: `currentWord` stays on the
  // 0xD004 that closes the header, and the group loop closes it afterwards.
  FormatWords body{};
  int count = 0;
  bool nested = false;
  bool endMark = false;
  for (;;) {
    uint16_t w = 0;
    if (c.stream.Next(w) < 0 || w == kEndOfJob) return Flow::kFail;
    bool keep = true;
    if (w == kGroupClose) {
      if (endMark) break;
      endMark = true;
      keep = nested;
      nested = false;
    } else if (w == kGroupOpen) {
      nested = true;
    } else if (w != kDefineFormat) {
      endMark = false;
    }
    if (!keep) continue;
    if (count == kFormatWords) return Flow::kGoOn;  // too long: nothing is defined
    body[static_cast<size_t>(count++)] = w;
  }
  return WriteFormat(c.store, n, body) < 0 ? Flow::kFail : Flow::kGoOn;
}

Flow CmdCallFormat(Conversion& c) {
  int16_t n = 0;
  if (ReadInteger(c, n) < 0) return Flow::kFail;
  if (n < 0 || n >= kFormatCount || c.stream.current() != kGroupClose) return Flow::kFail;

  FormatStore& s = c.store;
  int16_t& counter = s.playCounter[static_cast<size_t>(n)];
  if (counter != -1) {
    int16_t was = counter;
    counter = static_cast<int16_t>(was - 1);
    if (was == 0) {
      counter = -1;
      return Flow::kGoOn;
    }
  }
  int16_t loaded = LoadFormat(s, n);
  if (loaded < 0) return Flow::kFail;
  if (loaded == 0) return Flow::kGoOn;  // not defined: nothing plays

  // Formats that call each other without reading any input would play for
  // ever; such a chain ends the pass.
  long long at = c.stream.consumed();
  if (at == s.inputAtLastStart) {
    if (++s.startsWithoutInput > s.maxStartsWithoutInput) {
      s.error = "formats call each other without end; stopped at a call of format " + std::to_string(n);
      return Flow::kFail;
    }
  } else {
    s.inputAtLastStart = at;
    s.startsWithoutInput = 0;
  }

  s.replaying = n;
  s.replaySlot = static_cast<int16_t>(s.state[static_cast<size_t>(n)] & kNoSlot);
  s.position = 0;
  // A call read from the input is where the warnings of the replay come from.
  if (c.out.facts != nullptr && !c.stream.replayRuns()) c.out.facts->CallStarts();
  c.stream.PlayStoredFormat();
  return Flow::kGoOn;
}

Flow CmdPlayCount(Conversion& c) {
  int16_t n = 0;
  if (ReadInteger(c, n) < 0) return Flow::kFail;
  if (c.stream.current() != kCommaSeparator) return Flow::kGoOn;
  int16_t count = 0;
  if (ReadInteger(c, count) < 0) return Flow::kFail;
  if (n >= 0 && n < kFormatCount && count >= -1) c.store.playCounter[static_cast<size_t>(n)] = count;
  return Flow::kGoOn;
}

Flow CmdSwitchSource(Conversion& c) {
  c.stream.Consume();
  if (c.store.replaying < 0) return Flow::kFail;
  c.stream.SwitchSource();
  return Flow::kEndPrePhase;
}

Flow CmdCountWithFormat(Conversion& c) {
  int16_t count = 0;
  if (ReadInteger(c, count) < 0) return Flow::kFail;
  if (c.stream.current() == kCallFormat) {
    int16_t n = 0;
    if (ReadInteger(c, n) < 0) return Flow::kFail;
  }
  return Flow::kGoOn;
}

Flow CmdLengthWithFormat(Conversion& c) {
  int32_t length = 0;
  if (ReadUnitLength(c, length) < 0) return Flow::kFail;
  if (c.stream.current() == kCallFormat) {
    int16_t n = 0;
    if (ReadInteger(c, n) < 0) return Flow::kFail;
  }
  return Flow::kGoOn;
}

}  // namespace velkan
