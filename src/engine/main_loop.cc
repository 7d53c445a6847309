#include "engine/main_loop.h"

#include <cassert>
#include <cstring>

#include "commands/positioning.h"
#include "conversion/character_output.h"
#include "conversion/character_stage.h"
#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/state_tags.h"
#include "engine/command_table.h"
#include "tables/code_conversion.h"
#include "typo/typo_state.h"

namespace velkan {

namespace {

// True when no word waits and the next word of the block read may be a
// plain character: the pre-phase has nothing to do before it.
// `p` and `avail` are what PeekWords shows.
inline bool PlainCharacterNext(const CodeStream& s, const uint8_t* p, size_t avail) {
  return !s.pending() && avail > 0 && MayBePlainCharacter(LoadBigEndian16(p));
}
inline bool PlainCharacterNext(const CodeStream& s) {
  size_t avail = 0;
  const uint8_t* p = s.PeekWords(avail);
  return PlainCharacterNext(s, p, avail);
}

// The route of the current font for a sweep of characters of the main pages
// whose first word is at `p`: closed when the sweep is not to be tried.
[[gnu::always_inline]] inline MainPageRoute SweepRoute(Conversion& c, const uint8_t* const p) {
  FontTables& fonts = c.fonts;
  const int16_t font = c.typo.font;
  if (font != 0 && font == fonts.routeFont && fonts.routeVersion == fonts.store.version()) [[likely]] {
    // The route kept open for the font (see OpenMainPageRoute).
    return MainPageRoute{fonts.mainPageWire};
  }
  // Right after a change of font the route is closed until the font is
  // selected: it is not looked at before.
  MainPageRoute route;
  if (font == fonts.lastFont) route = OpenMainPageRouteAgain(fonts, font);
  if (!route.open()) {
    // After a change of font the route opens once the font is selected,
    // which the conversion of the first character does next in any case:
    // every code of the main pages is converted in the font, save the two
    // written as combined-character tags, before which nothing is selected.
    uint16_t first = LoadBigEndian16(p);
    if (first == 0x95B4 || first == 0x95BE) return MainPageRoute{};
    route = SelectFontRoute(fonts, c.paths, font);
  }
  return route;
}

// Writes the codes of the main pages that follow in the block read and that
// `route`, the open route of the current font, converts straight into the
// output's room, exactly as WritePlainCharacters would, but leaves them in
// the block: returns their number, for the caller to take them with what
// follows; 0 having done nothing when the output lends too little room or
// the first word is no such code. `p` shows `avail` words (at least one) of
// the block read; no word is pending and no one-shot code waits.
[[gnu::always_inline]] inline size_t SweepMainPageCharacters(Conversion& c, const MainPageRoute route,
                                                             const uint8_t* const p, size_t avail) {
  uint16_t t = route.WireShiftJisAt(p);
  if (t == 0) return 0;
  // A separator of at most four bytes before the first character, then two
  // bytes a character.
  char* end = nullptr;
  char* const begin = c.out.Room(end);
  const ptrdiff_t room = end - begin;
  const uint8_t* q = p;
  if (static_cast<ptrdiff_t>(2 * avail + 4) <= room && c.stream.WordsEndTheBytes()) [[likely]] {
    // The zero word behind the block read ends the characters at the latest.
    c.out.Wrote(PutMainPageCharacters<uint8_t, false>(begin, route, q, nullptr, t, c.chars.charClass));
  } else {
    // Room for one character at least.
    if (room < 6) [[unlikely]] return 0;
    const size_t n = static_cast<ptrdiff_t>(2 * avail + 4) <= room ? avail : static_cast<size_t>(room - 4) / 2;
    c.out.Wrote(PutMainPageCharacters(begin, route, q, p + 2 * n, t, c.chars.charClass));
  }
  return static_cast<size_t>(q - p) / 2;
}

// Gives the pending current word, a character of the main pages that a
// command read on to and left pending (as a reader of numbers does with the
// word behind the digits), back to the block read when the step's sweep
// will take it: it is then swept with the characters behind it, as if the
// command had not read it. The state tags are written first, as the step
// writes them before its sweep. False, the word still pending, otherwise.
// No one-shot code, manual ruby's text or scope countdown waits (the caller
// sees to it).
[[gnu::noinline]] bool PutBackForSweep(Conversion& c) {
  WriteChangedCharacterTags(c);
  const uint16_t w = c.stream.current();
  const uint8_t bytes[2] = {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w & 0xFF)};
  // The sweep takes at least the character when the route converts it and
  // the output lends room for it and a separator.
  const MainPageRoute route = SweepRoute(c, bytes);
  if (!route.open() || route.WireShiftJisAt(bytes) == 0) return false;
  char* end = nullptr;
  const char* const room = c.out.Room(end);
  if (end - room < 6) return false;
  return c.stream.PutBackPending();
}

#ifndef NDEBUG
// True when what the sweep of characters of the main pages looked at in the
// current step is as it was: nothing for the state tags to write, no one-shot
// code, manual ruby's text or scope countdown, and `route` still the route
// kept open for the current font.
bool SweepConditionsHold(const Conversion& c, const MainPageRoute route) {
  const FontTables& fonts = c.fonts;
  return !c.tagsToCheck && !CharacterTagsPending(c.typo, c.emitted, c.move) && c.chars.oneShotCode == 0 &&
         c.ruby.manual != 2 && c.session.scopeCountdown == 0 &&
         c.typo.font == fonts.routeFont && fonts.routeVersion == fonts.store.version() &&
         route.wire == fonts.mainPageWire;
}
#endif

// Dispatches the command word `w`, the current word: to its handler, or
// taken when it has none. A group stays pending for the pre-phase of the
// next step.
inline Flow DispatchCommandWord(Conversion& c, const CommandTable& table, uint16_t w) {
  if (w == kGroupOpen) {
    c.stream.Keep();
    return Flow::kGoOn;
  }
  if (Handler h = table[w & 0xFF].main) {
    c.stream.MarkDispatch();
    return h(c);
  }
  c.stream.Consume();
  return Flow::kGoOn;
}

}  // namespace

int16_t RunPrePhase(Conversion& c) {
  CodeStream& s = c.stream;
  const CommandTable& table = Commands();
  for (;;) {
    if (PlainCharacterNext(s)) return 0;
    if (s.TakeUnlessPending() < 0) return -1;
    uint16_t w = s.current();
    Handler h = IsCommandWord(w) ? table[w & 0xFF].prePhase : nullptr;
    if (h == nullptr) {
      s.Keep();
      return 0;
    }
    s.MarkDispatch();
    // Only main-slot handlers end the job: anything else goes on.
    Flow r = h(c);
    if (r == Flow::kFail) return -1;
    if (r == Flow::kEndPrePhase) return 0;
  }
}

Flow DispatchCommand(Conversion& c) {
  CodeStream& s = c.stream;
  if (s.TakeUnlessPending() < 0) return Flow::kFail;
  uint16_t w = s.current();
  if (IsCommandWord(w)) return DispatchCommandWord(c, Commands(), w);
  s.Keep();
  return Flow::kGoOn;
}

namespace {

// The words of a group from its current word on: runs the in-group handlers
// up to the closing 0xD004 (see RunParameterGroup).
Flow RunGroupBody(Conversion& c) {
  CodeStream& s = c.stream;
  const CommandTable& table = Commands();
  while (s.current() != kGroupClose) {
    uint16_t w = s.current();
    // The end of the input cannot be followed by the 0xD004 the group waits
    // for: the group ends there and the end word stays for the main loop.
    if (w == kEndOfJob && s.exhausted()) {
      s.Keep();
      return Flow::kGoOn;
    }
    Handler h = InCommandTable(w) ? table[w & 0xFF].inGroup : nullptr;
    if (h != nullptr) {
      s.MarkDispatch();
      // A setting command whose arguments and the group's end lie in the
      // block read is run there and then.
      if (RunSettingInBlock(c, w)) break;
      if (h(c) == Flow::kFail) return Flow::kFail;
    } else if (s.Take() < 0) {
      return Flow::kFail;
    }
  }
  s.Consume();
  return Flow::kGoOn;
}

// Runs the group whose 0xD003 follows `at` words of the `avail` the block
// read shows from `p` on, none of them taken yet, when it holds one setting
// command whose arguments and the group's 0xD004 lie there: sets what the
// pre-phase would (see RunParameterGroup), which is the settings alone, and
// takes all the words at once; false, having done nothing, otherwise.
[[gnu::always_inline]] inline bool RunSettingGroupAt(Conversion& c, const uint8_t* p, size_t avail, size_t at) {
  const uint8_t* const group = p + 2 * at;
  if (at + 1 < avail) [[likely]] {
    if (const uint8_t* after = SetFromBlock(c, LoadBigEndian16(group + 2), group + 4, p + 2 * avail)) {
      c.stream.TakeWordsMarking(at + 2, static_cast<size_t>(after - p) / 2);
      c.stream.Consume();
      return true;
    }
  }
  return false;
}

// Runs the group whose 0xD003 follows `at` words of the `avail` the block
// read shows from `p` on, none of them taken yet, as the pre-phase would run
// it (see RunParameterGroup), once the `at` words before it are taken, when
// RunSettingGroupAt did not.
Flow RunGroupAt(Conversion& c, const CommandTable& table, const uint8_t* p, size_t avail, size_t at) {
  CodeStream& s = c.stream;
  s.TakeWords(at + 1);
  s.MarkDispatch();
  if (at + 1 == avail) return RunParameterGroup(c);
  const uint16_t w = LoadBigEndian16(p + 2 * at + 2);
  Handler h = InCommandTable(w) && w != kFillerWord && w != kSkipRegion ? table[w & 0xFF].inGroup : nullptr;
  if (h == nullptr) return RunParameterGroup(c);
  s.TakeWords(1);
  s.MarkDispatch();
  return RunGroupBody(c);
}

}  // namespace

Flow RunParameterGroup(Conversion& c) {
  if (c.stream.Take() < 0) return Flow::kFail;
  return RunGroupBody(c);
}

Flow ConsumeWord(Conversion& c) {
  c.stream.Consume();
  return Flow::kEndPrePhase;
}

Flow RunMainLoop(Conversion& c) {
  CodeStream& s = c.stream;
  const CommandTable& table = Commands();
  for (uint32_t step = 1;; ++step) {
    // Nothing more is converted (nor stored) once the output refused a write.
    if (c.out.writeFailed()) [[unlikely]] return Flow::kFail;
    if (c.progress && (step & 0xFFF) == 0) c.progress();
    size_t avail = 0;
    const uint8_t* p = s.PeekWords(avail);
    // The first word of the block read when no word is pending and it may
    // be a plain character (the pre-phase has nothing to do before it), else 0.
    uint16_t first = PlainCharacterNext(s, p, avail) ? LoadBigEndian16(p) : 0;
    if (first == 0) {
      if (RunPrePhase(c) == -1) return Flow::kFail;
      p = s.PeekWords(avail);
      first = PlainCharacterNext(s, p, avail) ? LoadBigEndian16(p) : 0;
      // A command whose arguments end at a character of the main pages (its
      // reader took the character and left it pending).
      if (first == 0 && s.pending() && IsMainPageCode(s.current()) && c.chars.oneShotCode == 0 &&
          c.ruby.manual != 2 && c.session.scopeCountdown == 0 && PutBackForSweep(c)) {
        p = s.PeekWords(avail);
        first = LoadBigEndian16(p);
      }
    }
    // The tags write to the output only; what the stream shows stays.
    WriteChangedCharacterTags(c);
    // The most common step: characters of the main pages up to a command,
    // which is dispatched at once. Anything else, and whatever follows the
    // characters when it is no command, goes through the character stage.
    size_t swept = 0;
    MainPageRoute route;
    // A manual ruby's base is swept too: it ends at a command or at a
    // character of the ruby's pages, which are no main pages.
    if (IsMainPageCode(first) && c.chars.oneShotCode == 0 && c.ruby.manual != 2 && c.session.scopeCountdown == 0) {
      route = SweepRoute(c, p);
      if (route.open()) swept = SweepMainPageCharacters(c, route, p, avail);
    }
    Flow r;
    // The word behind the characters swept, 0 when none were swept or they
    // reach the end of the block read.
    uint16_t next = swept > 0 && swept < avail ? LoadBigEndian16(p + 2 * swept) : 0;
    for (;;) {
      const CommandEntry& entry = table[next & 0xFF];
      if (next == kGroupOpen) {
        if (!c.out.writeFailed()) {
          // A group behind the characters is run at once, as the pre-phase of
          // the next step would run it.
          if (RunSettingGroupAt(c, p, avail, swept)) [[likely]] {
            // It changed settings only: when the next step starts with
            // characters of the main pages, it is taken here with the
            // tags of the settings and the route of the font.
            r = Flow::kGoOn;
            if (((step + 1) & 0xFFF) == 0) break;
            p = s.PeekWords(avail);
            if (s.pending() || avail == 0 || !IsMainPageCode(LoadBigEndian16(p))) break;
            ++step;
            WriteChangedCharacterTags(c);
            route = SweepRoute(c, p);
            swept = route.open() ? SweepMainPageCharacters(c, route, p, avail) : 0;
            next = swept > 0 && swept < avail ? LoadBigEndian16(p + 2 * swept) : 0;
            continue;
          }
          r = RunGroupAt(c, table, p, avail, swept);
        } else {
          // After a refused write it waits there, and the next step ends the
          // pass before it.
          s.TakeWordsKeepingLast(swept + 1, next);
          r = Flow::kGoOn;
        }
      } else if (IsCommandWord(next) && entry.main != nullptr) {
        // The filler and the skipped region, which are no command that ends
        // the stage, have no main handler.
        s.TakeWordsKeepingLast(swept + 1, next);
        s.MarkDispatch();
        r = entry.main(c);
        if (entry.keepsSweep && r == Flow::kGoOn) [[likely]] {
          // The next step, when it starts with characters of the main pages
          // again, has nothing to look at before sweeping them in the same
          // font: it is taken here (save the step that reports progress).
          assert(SweepConditionsHold(c, route));
          if (c.out.writeFailed() || ((step + 1) & 0xFFF) == 0) break;
          p = s.PeekWords(avail);
          if (s.pending() || avail == 0) break;
          swept = SweepMainPageCharacters(c, route, p, avail);
          if (swept == 0) break;
          ++step;
          // Characters were swept: the word behind them is read at once.
          next = swept < avail ? LoadBigEndian16(p + 2 * swept) : 0;
          continue;
        }
      } else if (IsCommandWord(next) && next != kFillerWord && next != kSkipRegion) {
        // A command without a main handler is taken.
        s.TakeWords(swept + 1);
        r = Flow::kGoOn;
      } else {
        // A command of page 0xD0 left pending (nothing is swept then) meets
        // a character stage that takes nothing before it and writes nothing:
        // it is dispatched at once.
        if (!s.pending() || (s.current() >> 8) != 0xD0) {
          s.TakeWords(swept);
          if (RunCharacters(c, swept) == -1) return Flow::kFail;
        }
        r = DispatchCommand(c);
      }
      break;
    }
    if (r == Flow::kFail || r == Flow::kEndJob) return r;
  }
}

}  // namespace velkan
