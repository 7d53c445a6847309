#include "typo/character_stage.h"

#include <array>

#include "driver/code_stream.h"
#include "driver/conversion.h"
#include "tables/character_output.h"
#include "typo/typo_literals.h"

namespace velkan {

namespace {

// The words of a run; only those up to its terminating 0 are ever read.
struct Run {
  std::array<uint16_t, kMaxRun + 1> words;
  int count = 0;
};

void HandOver(Conversion& c, Run& run) {
  if (run.count == 0) return;
  run.words[static_cast<size_t>(run.count)] = 0;
  WriteCharacterRun(c, run.words.data(), c.session.settings.direction, c.typo.font);
  run.count = 0;
}

}  // namespace

const char* ScopeClosingTag(int16_t kind) {
  switch (kind) {
    case 1: return "</IDX3>";
    case 2: return "</IDX1>";
    case 3: return "</IDX2>";
    case 11: return "</SFX3>";
    case 12: return "</SFX1>";
    case 13: return "</SFX2>";
    case 20: return "</DIDX>";
    case 30: return "</TAYO>";
    default: return nullptr;
  }
}

int16_t RunCharacters(Conversion& c) {
  CodeStream& s = c.stream;
  Session& session = c.session;
  Run run;
  bool done = false;
  while (!done) {
    // Without manual ruby or a counted scope to watch, the characters that
    // follow in the block read go into the run at once.
    if (s.wordPending == 0 && c.ruby.manual == 0 && session.scopeCountdown == 0) {
      size_t room = static_cast<size_t>(kMaxRun - run.count);
      size_t n = s.TakeWordsWhile(run.words.data() + run.count, room, IsValidCharacter);
      if (n > 0) {
        run.count += static_cast<int>(n);
        s.currentWord = run.words[static_cast<size_t>(run.count - 1)];
        if (run.count == kMaxRun) HandOver(c, run);
        continue;
      }
    }
    bool taken = false;
    if (s.wordPending == 0 && !s.TakePlainWord(s.currentWord) && NextWord(c, s.currentWord) < 0) return -1;
    uint16_t w = s.currentWord;
    uint8_t high = static_cast<uint8_t>(w >> 8);
    if (high == 0xC5 || high == 0xC6) {
      if (c.ruby.manual == 1) {
        HandOver(c, run);
        c.out.WriteText("<RUB2 mode=MANUAL>");
        c.ruby.manual = 2;
      }
    } else if (high != 0xD0 && c.ruby.manual == 2) {
      HandOver(c, run);
      c.out.WriteText("</RUB>");
      c.ruby.manual = 0;
    }
    if (IsCommandWord(w)) {
      s.wordPending = 1;
      done = true;
    } else if (IsValidCharacter(w)) {
      run.words[static_cast<size_t>(run.count++)] = w;
      taken = true;
      s.wordPending = 0;
    } else {
      // The characters before an invalid word are written before its warning.
      HandOver(c, run);
      c.out.WriteWarningF(lit::kWarnInvalidWord, w);
      s.wordPending = 0;
      done = true;
    }
    if ((done && run.count > 0) || run.count == kMaxRun) HandOver(c, run);
    if (taken && session.scopeCountdown > 0) {
      if (--session.scopeCountdown == 0) {
        HandOver(c, run);
        if (const char* tag = ScopeClosingTag(session.scopeKind)) c.out.WriteText(tag);
      }
    }
  }
  return 0;
}

}  // namespace velkan
