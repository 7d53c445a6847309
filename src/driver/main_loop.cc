#include "driver/main_loop.h"

#include "driver/code_stream.h"
#include "driver/command_table.h"
#include "driver/conversion.h"
#include "tables/character_output.h"
#include "typo/character_stage.h"
#include "typo/typo_state.h"

namespace velkan {

namespace {

// True when no word waits and the next word of the block read may be a
// plain character: the pre-phase has nothing to do before it.
inline bool PlainCharacterNext(const CodeStream& s) {
  if (s.wordPending != 0) return false;
  size_t avail = 0;
  const uint8_t* p = s.PeekWords(avail);
  return avail > 0 && MayBePlainCharacter(static_cast<uint16_t>(p[0] << 8 | p[1]));
}

}  // namespace

int16_t RunPrePhase(Conversion& c) {
  CodeStream& s = c.stream;
  const CommandTable& table = Commands();
  for (;;) {
    if (PlainCharacterNext(s)) return 0;
    if (s.wordPending == 0 && !s.TakePlainWord(s.currentWord) && NextWord(c, s.currentWord) < 0) return -1;
    uint16_t w = s.currentWord;
    Handler h = IsCommandWord(w) ? table[w & 0xFF].prePhase : nullptr;
    if (h == nullptr) {
      s.wordPending = 1;
      return 0;
    }
    int16_t r = h(c);
    if (r == -1) return -1;
    if (r == 0) return 0;
  }
}

int16_t DispatchCommand(Conversion& c) {
  CodeStream& s = c.stream;
  if (s.wordPending == 0 && !s.TakePlainWord(s.currentWord) && NextWord(c, s.currentWord) < 0) return -1;
  uint16_t w = s.currentWord;
  if (IsCommandWord(w) && w != kGroupOpen) {
    if (Handler h = Commands()[w & 0xFF].main) return h(c);
    s.wordPending = 0;
    return 1;
  }
  s.wordPending = 1;
  return 1;
}

int16_t RunParameterGroup(Conversion& c) {
  CodeStream& s = c.stream;
  const CommandTable& table = Commands();
  if (!s.TakePlainWord(s.currentWord) && NextWord(c, s.currentWord) < 0) return -1;
  while (s.currentWord != kGroupClose) {
    uint16_t w = s.currentWord;
    // The end of the input cannot be followed by the 0xD004 the group waits
    // for: the group ends there and the end word stays for the main loop.
    if (w == kEndOfJob && s.exhausted()) {
      s.wordPending = 1;
      return 1;
    }
    Handler h = (w & 0xFF00) == 0xD000 ? table[w & 0xFF].inGroup : nullptr;
    if (h != nullptr) {
      if (h(c) == -1) return -1;
    } else if (!s.TakePlainWord(s.currentWord) && NextWord(c, s.currentWord) < 0) {
      return -1;
    }
  }
  s.wordPending = 0;
  return 1;
}

int16_t ConsumeWord(Conversion& c) {
  c.stream.wordPending = 0;
  return 0;
}

int16_t RunMainLoop(Conversion& c) {
  for (uint32_t step = 1;; ++step) {
    if (c.progress && (step & 0xFFF) == 0) c.progress();
    if (!PlainCharacterNext(c.stream) && RunPrePhase(c) == -1) return -1;
    WriteCharacterTags(c);
    if (RunCharacters(c) == -1) return -1;
    int16_t r = DispatchCommand(c);
    if (r == -1) return -1;
    if (r == 2) return 1;
  }
}

}  // namespace velkan
