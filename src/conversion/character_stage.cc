#include "conversion/character_stage.h"

#include <array>

#include "conversion/character_output.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/warning_facts.h"
#include "typo/typo_literals.h"

namespace velkan {

namespace {

// The current run: the words it holds, up to its terminating 0 (the only
// ones ever read), behind those of it already written.
struct Run {
  std::array<uint16_t, kMaxRun + 1> words;
  int count = 0;    // words held
  int written = 0;  // words of this run already written
  int position() const { return written + count; }
  size_t room() const { return static_cast<size_t>(kMaxRun - position()); }
};

// Writes the words the run holds; the run goes on behind them.
void WriteHeld(Conversion& c, Run& run) {
  if (run.count == 0) return;
  run.words[static_cast<size_t>(run.count)] = 0;
  WriteCharacterRun(c, run.words.data(), c.session.settings.direction, c.typo.font);
  run.written += run.count;
  run.count = 0;
}

// Hands the run over: its words are written and the next word begins a new
// run.
void HandOver(Conversion& c, Run& run) {
  WriteHeld(c, run);
  run.written = 0;
}

// True when the last two words of the run hold a code of page 0xC7, which
// may combine with the words that follow it.
bool MayCombineWithNext(const Run& run) {
  auto combining = [&](int i) { return i >= 0 && (run.words[static_cast<size_t>(i)] & 0xFF00) == 0xC700; };
  return combining(run.count - 1) || combining(run.count - 2);
}

// The characters that do not take the main-page route.
constexpr bool IsOtherCharacter(uint16_t w) { return IsValidCharacter(w) && !IsMainPageCode(w); }

}  // namespace

std::string_view ScopeClosingTag(int16_t kind) {
  switch (kind) {
    case 1: return "</IDX3>";
    case 2: return "</IDX1>";
    case 3: return "</IDX2>";
    case 11: return "</SFX3>";
    case 12: return "</SFX1>";
    case 13: return "</SFX2>";
    case 20: return "</DIDX>";
    case 30: return "</TAYO>";
    default: return {};
  }
}

int16_t RunCharacters(Conversion& c, size_t written) {
  CodeStream& s = c.stream;
  Session& session = c.session;
  Run run;
  run.written = static_cast<int>(written % kMaxRun);
  bool done = false;
  while (!done) {
    // Without manual ruby or a counted scope to watch, the characters that
    // follow in the block read go into the run at once.
    if (!s.pending() && c.ruby.manual == 0 && session.scopeCountdown == 0) {
      // Plain characters go straight to the output, once the words held are
      // written; they still count in the run (its end decides which words a
      // combined character may take). The held words are not written while
      // the last two of them may combine with the words after them.
      bool routeOpen = false;
      if (!MayCombineWithNext(run)) {
        WriteHeld(c, run);
        size_t m = WritePlainCharacters(c, c.typo.font, routeOpen);
        if (m > 0) {
          size_t written = static_cast<size_t>(run.written) + m;
          constexpr size_t kRun = kMaxRun;
          run.written = static_cast<int>(written < kRun ? written : written % kRun);
          size_t avail = 0;
          const uint8_t* p = s.PeekWords(avail);
          // A command after the characters (the most common end) ends the
          // stage at once: nothing is held, and no ruby or scope is watched.
          if (avail > 0) {
            uint16_t w = LoadBigEndian16(p);
            if (IsCommandWord(w) && w != kFillerWord && w != kSkipRegion) {
              s.TakeWords(1);
              s.Keep();
              return 0;
            }
          }
          continue;
        }
      }
      size_t n = routeOpen ? s.TakeWordsWhile(run.words.data() + run.count, run.room(), IsOtherCharacter)
                           : s.TakeWordsWhile(run.words.data() + run.count, run.room(), IsValidCharacter);
      if (n > 0) {
        run.count += static_cast<int>(n);
        if (run.position() == kMaxRun) HandOver(c, run);
        continue;
      }
    }
    bool taken = false;
    if (s.TakeUnlessPending() < 0) return -1;
    uint16_t w = s.current();
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
      s.Keep();
      done = true;
    } else if (IsValidCharacter(w)) {
      run.words[static_cast<size_t>(run.count++)] = w;
      taken = true;
      s.Consume();
    } else {
      // The characters before an invalid word are written before its warning.
      HandOver(c, run);
      if (c.out.facts != nullptr) c.out.facts->Character(w);
      c.out.WriteWarningF<lit::kWarnInvalidWord>(w);
      s.Consume();
      done = true;
    }
    if (done || run.position() == kMaxRun) HandOver(c, run);
    if (taken && session.scopeCountdown > 0) {
      if (--session.scopeCountdown == 0) {
        HandOver(c, run);
        if (std::string_view tag = ScopeClosingTag(session.scopeKind); !tag.empty()) c.out.WriteText(tag);
      }
    }
  }
  return 0;
}

}  // namespace velkan
