// The main loop: which slot meets a command, parameter groups, the end of the
// pass, and the independence of conversions and sessions.
#include "engine/main_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "conversion/character_stage.h"
#include "conversion/code_stream.h"
#include "conversion/state_tags.h"
#include "conversion/word_fixture.h"
#include "engine/command_table.h"
#include "support/test_support.h"
#include "tables/table_files.h"
#include "typo/typo_state.h"

namespace velkan::test {
namespace {

std::string Z(uint16_t w) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "<ZAN2 code=%04x>", w);
  return buf;
}

std::string InvalidWord(const char* hex) { return Sjis(std::string("<WAR \"不正文字，") + hex + "\">"); }

// Output of one pass right after program start.
std::string Output(const std::vector<uint16_t>& words, Flow expectLoop = Flow::kEndJob) {
  Session session;
  MemoryRun r = RunWords(session, words);
  EXPECT_EQ(r.loopResult, expectLoop);
  return r.output;
}

TEST(MainLoop, EmptyInputEndsInTheFirstStep) { EXPECT_EQ(Output({}), ""); }

TEST(MainLoop, GroupThenCharactersThenLineEnd) {
  // The size set in the group comes out as one state tag before the
  // characters; the run and the line end follow.
  std::string out = Output({0xD003, 0xD02E, 0xC341, 0xC342, 0xD004, 0x45A1, 0x45A2, 0xD009, 0xD056});
  size_t chars = out.find("<ZAN2");
  ASSERT_NE(chars, std::string::npos) << out;
  EXPECT_EQ(out.substr(chars), Z(0x45A1) + Z(0x45A2) + "\r\n");
  EXPECT_EQ(out.rfind("<J ", 0), 0u) << out;
  EXPECT_EQ(out.find('>'), chars - 1) << out;
}

TEST(MainLoop, FillersInsideArgumentsChangeNothing) {
  std::string plain = Output({0xD003, 0xD02E, 0xC341, 0xC342, 0xD004, 0x45A1});
  EXPECT_EQ(Output({0xD003, 0x0000, 0xD02E, 0xD000, 0xC341, 0x0000, 0xD000, 0xC342, 0x0000, 0xD004, 0x45A1}), plain);
  EXPECT_NE(Output({0xD003, 0xD02E, 0xC341, 0xD004, 0x45A1}), plain);  // the size is not 1
}

TEST(MainLoop, EndOfInputWhileAnInGroupHandlerReads) {
  Output({0xD003, 0xD02E, 0xC341});
  Output({0x45A1, 0xD003, 0xD02E, 0xC341, 0xC334});
}

TEST(MainLoop, EndOfTextAfterACharacterEndsThePass) {
  EXPECT_EQ(Output({0x45A1, 0xD020, 0x45A2}), Z(0x45A1));
  // Fillers and skipped regions between them change nothing.
  EXPECT_EQ(Output({0x45A1, 0x0000, 0xD000, 0xD020, 0x45A2}), Z(0x45A1));
  EXPECT_EQ(Output({0x45A1, 0xD050, 0xD009, 0xD050, 0xD020, 0x45A2}), Z(0x45A1));
}

TEST(MainLoop, EndOfTextAfterACommandIsConsumedInThePrePhase) {
  EXPECT_EQ(Output({0xD020, 0x45A1}), Z(0x45A1));
  EXPECT_EQ(Output({0xD020, 0xD020, 0x45A1}), Z(0x45A1));
  EXPECT_EQ(Output({0x45A1, 0xD009, 0xD020, 0x45A2, 0xD009}), Z(0x45A1) + "\r\n" + Z(0x45A2) + "\r\n");
  EXPECT_EQ(Output({0xD003, 0xD004, 0xD020, 0x45A1}), Z(0x45A1));
}

TEST(MainLoop, EndOfTextAfterAnInvalidWordReachesTheMainSlot) {
  // The invalid word is dropped by the character stage, so the dispatch
  // fetches the next word itself.
  EXPECT_EQ(Output({0x1234, 0xD020, 0x45A1}), InvalidWord("1234"));
}

TEST(MainLoop, EndCommandsWithoutPrePhaseHandlerEndThePassAnywhere) {
  EXPECT_EQ(Output({0x45A1, 0xD009, 0xD023, 0x45A2}), Z(0x45A1) + "\r\n");
  EXPECT_EQ(Output({0xD023, 0x45A1}), "");
  EXPECT_EQ(Output({0x45A1, 0xD056, 0x45A2}), Z(0x45A1));
  EXPECT_EQ(Output({0xD056, 0x45A1}), "");
}

TEST(MainLoop, CommandsWithoutHandlerAreDroppedSilently) {
  EXPECT_EQ(Output({0x45A1, 0xD034, 0x45A2}), Z(0x45A1) + Z(0x45A2));
  EXPECT_EQ(Output({0xD034, 0xD0FF, 0x45A1}), Z(0x45A1));
  EXPECT_EQ(Output({0x45A1, 0xDF34, 0x45A2}), Z(0x45A1) + Z(0x45A2));
}

TEST(MainLoop, EveryDPageWordReachesTheTableByItsLowByte) {
  EXPECT_EQ(Output({0x45A1, 0xD109, 0x45A2, 0xDA09}), Z(0x45A1) + "\r\n" + Z(0x45A2) + "\r\n");
  EXPECT_EQ(Output({0x45A1, 0xD120, 0x45A2}), Z(0x45A1));
  EXPECT_EQ(Output({0x45A1, 0xDF75, 0x45A2, 0xD175, 0x45A3}), Z(0x45A1) + Z(0x45A3));
  // 0xD103 opens a group in the pre-phase like 0xD003 ...
  EXPECT_EQ(Output({0xD103, 0xD075, 0xD004, 0x45A1}), Z(0x45A1));
  // ... and, not being 0xD003 itself, is run by the main slot after a
  // character.
  EXPECT_EQ(Output({0x45A1, 0xD103, 0xD075, 0xD004, 0x45A2}), Z(0x45A1) + Z(0x45A2));
}

TEST(MainLoop, ACommandOfPagesD1ToDFLeftPendingClosesAManualRubyText) {
  // The character stage closes an open manual ruby text before a word of
  // another page than 0xD0; the step meets the warning 0xD177 (as 0xD077)
  // left pending by the pre-phase there first. 0xD077 leaves it open.
  const std::string closed = "<rd></RUB><WAR ";
  const std::string viaD1 = Output({0xD07E, 0x45A4, 0xD06E, 0xD177, 0x45A5});
  EXPECT_NE(viaD1.find(closed), std::string::npos) << viaD1;
  const std::string viaD0 = Output({0xD07E, 0x45A4, 0xD06E, 0xD077, 0x45A5});
  EXPECT_EQ(viaD0.find(closed), std::string::npos) << viaD0;
  EXPECT_NE(viaD0.find("<rd><WAR "), std::string::npos) << viaD0;
}

TEST(MainLoop, GroupSkipsCommandsWithoutInGroupHandler) {
  // 0xD075 has only a main-slot handler: inside a group it is skipped, so the
  // output stays on.
  EXPECT_EQ(Output({0xD003, 0xD075, 0xD034, 0xC341, 0x45A1, 0xD004, 0x45A2}), Z(0x45A2));
}

TEST(MainLoop, GroupHoldingOnlyADigitHasNoEffect) {
  EXPECT_EQ(Output({0xD003, 0xC341, 0xD004, 0x45A1}), Z(0x45A1));
}

TEST(MainLoop, GroupsDoNotNest) {
  // The inner 0xD003 is skipped, the first 0xD004 closes the group, the
  // 0xD075 after it switches the output off outside the group, and the last
  // 0xD004 is consumed without effect.
  EXPECT_EQ(Output({0xD003, 0xD075, 0xD003, 0xD075, 0xD004, 0xD075, 0xD004, 0x45A1, 0xD075, 0x45A2}), Z(0x45A2));
}

TEST(MainLoop, OnlyTheD0PageIsCommandInsideAGroup) {
  // 0xD104 does not close the group; 0xD075 is skipped inside it.
  EXPECT_EQ(Output({0xD003, 0xD104, 0xD075, 0xD004, 0x45A1}), Z(0x45A1));
}

TEST(MainLoop, EndWordInsideAGroupIsSkippedUnlessTheInputEnded) {
  EXPECT_EQ(Output({0xD003, 0xD056, 0xD075, 0xD004, 0x45A1}), Z(0x45A1));
}

TEST(MainLoop, EndOfInputInsideAGroupEndsTheGroupAndThePass) {
  EXPECT_EQ(Output({0xD003, 0xD075}), "");
  EXPECT_EQ(Output({0x45A1, 0xD003, 0xD075, 0x45A2}), Z(0x45A1));
  EXPECT_EQ(Output({0x45A1, 0xD003, 0xD050, 0xD004, 0x45A2}), Z(0x45A1));
}

TEST(MainLoop, GroupOpenedAfterAnInvalidWordWaitsForThePrePhase) {
  EXPECT_EQ(Output({0x1234, 0xD003, 0xD075, 0xD004, 0x45A1}), InvalidWord("1234") + Z(0x45A1));
}

TEST(MainLoop, GroupClosersOutsideAGroupAreHarmless) {
  for (uint16_t cmd : {uint16_t{0xD004}, uint16_t{0xD054}, uint16_t{0xD055}}) {
    EXPECT_EQ(Output({cmd, 0x45A1, cmd, 0x45A2, cmd, cmd, 0xD009}), Z(0x45A1) + Z(0x45A2) + "\r\n") << cmd;
  }
}

// Runs `words` read whole (chunk 0) and in reads of each of `chunks` bytes,
// a fresh session each time, and expects the output `want` from every run.
// With `formats`, each run also gets a store of its own, empty, and must end
// the job (a replay that fails ends it early).
void ExpectTheSameWhereverTheBlockReadEnds(const std::vector<uint16_t>& words, MemoryJob job, const std::string& want,
                                           std::initializer_list<size_t> chunks, bool formats = false) {
  for (size_t chunk : chunks) {
    TempDir store;
    if (formats) job.storeDir = store.path();
    job.chunk = chunk;
    Session session;
    MemoryRun r = RunWords(session, words, job);
    if (formats) {
      EXPECT_EQ(r.loopResult, Flow::kEndJob) << "reads of " << chunk << " bytes";
    }
    EXPECT_EQ(r.output, want) << "reads of " << chunk << " bytes";
  }
}

TEST(MainLoop, SettingGroupsComeOutTheSameWhereverTheBlockReadEnds) {
  // Groups behind characters, of every setting command a group runs straight
  // from the block read (a size with or without a pitch) and of shapes it
  // leaves to the readers (a second comma, a point after a font, two
  // commands), and one the input
  // ends in. Read whole and in reads of a few bytes, so that the block read
  // ends at every place inside a group, they come out as when a filler
  // before each group and after each command word sends the group through
  // the pre-phase and the readers.
  constexpr uint16_t kPoint = 0xC334, kComma = 0xC335;
  auto d = [](int digit) { return static_cast<uint16_t>(0xC340 + digit); };
  const std::vector<std::vector<uint16_t>> groups = {
      {0xD02D, d(3)},
      {0xD02D},
      {0xD02D, d(7), d(0), d(0), d(0), d(0), d(1)},
      {0xD084, d(2)},
      {0xD052, d(1), d(2)},
      {0xD051, d(7), kPoint, d(2), d(5)},
      {0xD053, d(9), kPoint, d(1), d(2), d(5)},
      {0xD02E, d(8), kPoint},
      {0xD041, d(1), d(1)},
      {0xD038, d(1), d(4), kPoint, d(5)},
      {0xD052, d(1), d(0), kComma, d(1), d(2)},
      {0xD053, d(9), kPoint, d(5), kComma, d(1), d(0), kPoint, d(2), d(5)},
      {0xD041, d(6), kComma, d(7)},
      {0xD02E, d(8), kComma},
      {0xD051, d(1), d(2), kComma, d(9), kComma, d(3)},
      {0xD02D, d(2), kPoint, d(5)},
      {0xD02D, d(4), 0xD052, d(9)},
      {0xD052, d(9), d(9), d(9), d(9), d(9), d(9), 0xD02D, d(2)},
  };
  std::vector<uint16_t> words, viaReaders;
  for (size_t i = 0; i <= groups.size(); ++i) {
    for (uint16_t ch : {uint16_t{0x80A1}, uint16_t{0x80A2}}) {
      words.push_back(ch);
      viaReaders.push_back(ch);
    }
    words.push_back(kGroupOpen);
    viaReaders.insert(viaReaders.end(), {kFillerWord, kGroupOpen});
    const std::vector<uint16_t>& g = i < groups.size() ? groups[i] : groups[0];
    for (uint16_t w : g) {
      words.push_back(w);
      viaReaders.push_back(w);
      if (IsCommandWord(w)) viaReaders.push_back(kFillerWord);
    }
    if (i < groups.size()) {
      words.push_back(kGroupClose);
      viaReaders.push_back(kGroupClose);
    }
  }
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  job.lentRoom = 65536;
  Session first;
  const std::string want = RunWords(first, viaReaders, job).output;
  ASSERT_NE(want.find("<J size="), std::string::npos) << want;
  ExpectTheSameWhereverTheBlockReadEnds(words, job, want, {0, 1, 2, 3, 5, 7, 11, 17, 31});
}

TEST(MainLoop, CharactersSweptToTheEndOfTheBlockReadStopThere) {
  // Codes whose high byte followed by a zero byte is a code that converts
  // too: where the block read ends with the first byte of one, that byte is
  // no character yet. Read whole and in reads of a few bytes, they come out
  // as when a filler after each sends them through the stage one by one.
  TempDir dir;
  WriteCodeTables(dir, "root", {}, {});
  dir.Write("root/qdxfiles/conv00.tbl", PairBytes({{0x8100, 0x3021}, {0x8101, 0x3022}, {0x8200, 0x3023}}));
  dir.Write("root/qdxfiles/conv021.tbl", "");
  dir.Write("root/qdxfiles/conv022.tbl", "");
  dir.Write("root/qdxfiles/convpi.tbl", "");
  dir.Write("root/qdxfiles/fntinf.fil", FontInfoFile({FontInfoLine(1, 1)}));
  std::vector<uint16_t> words = {0xD009}, oneByOne = {0xD009};
  for (int i = 0; i < 41; ++i) {
    const uint16_t w = i % 3 == 0 ? 0x8101 : i % 3 == 1 ? 0x8200 : 0x8100;
    words.push_back(w);
    oneByOne.insert(oneByOne.end(), {w, kFillerWord});
  }
  MemoryJob job;
  job.root = dir.path() / "root";
  job.lentRoom = 65536;
  Session first;
  const std::string want = RunWords(first, oneByOne, job).output;
  ASSERT_NE(want.find(Sjis("亜唖娃")), std::string::npos) << want;
  ExpectTheSameWhereverTheBlockReadEnds(words, job, want, {0, 1, 2, 3, 5, 7, 11});
}

TEST(MainLoop, ReplayedFormatsComeOutTheSameWhereverTheBlocksEnd) {
  // Formats of characters, setting groups and digits, a long one played
  // before shorter ones, called between characters and groups of the input.
  // A replay's words are the block read: read whole and in reads of a few
  // bytes, so that the input's block ends at every place around a call, the
  // job comes out as when each call is replaced by the format's words and
  // the 0xD004 that ends the replay, a filler behind every word sending them
  // through the stage and the readers one by one.
  constexpr uint16_t kPoint = 0xC334, kDefine = 0xD02C, kCall = 0xD03F;
  auto d = [](int digit) { return static_cast<uint16_t>(0xC340 + digit); };
  const std::vector<std::vector<uint16_t>> bodies = {
      {0x80A1, 0x80A2, 0x80A3, 0x80A4, 0x80A5, 0x80A6, 0x80A7, 0x80A8, 0x80A9},
      {0x80B1},
      {0x80B2, kGroupOpen, 0xD02D, d(3), kGroupClose, 0x80B3},
      {0x80B4, kGroupOpen, 0xD052, d(1), d(2), kGroupClose},
      {kGroupOpen, 0xD02D, d(2), kPoint, d(5), kGroupClose},
      {0x80B5, 0x80B6, 0xD009},
  };
  std::vector<uint16_t> words, inline_;
  for (size_t n = 0; n < bodies.size(); ++n) {
    words.insert(words.end(), {kGroupOpen, kDefine, d(static_cast<int>(n)), kGroupClose});
    words.insert(words.end(), bodies[n].begin(), bodies[n].end());
    words.insert(words.end(), {kGroupClose, kGroupClose});
  }
  const int calls[] = {0, 1, 2, 0, 3, 1, 4, 5, 0, 1, 1, 3, 2, 4, 0, 5};
  for (size_t i = 0; i < std::size(calls); ++i) {
    const std::vector<uint16_t> between =
        i % 3 == 0 ? std::vector<uint16_t>{0x80C1, 0x80C2}
                   : i % 3 == 1 ? std::vector<uint16_t>{kGroupOpen, 0xD02D, d(4), kGroupClose} : std::vector<uint16_t>{};
    for (uint16_t w : between) {
      words.push_back(w);
      inline_.insert(inline_.end(), {w, kFillerWord});
    }
    words.insert(words.end(), {kGroupOpen, kCall, d(calls[i]), kGroupClose});
    for (uint16_t w : bodies[static_cast<size_t>(calls[i])]) inline_.insert(inline_.end(), {w, kFillerWord});
    inline_.insert(inline_.end(), {kGroupClose, kFillerWord});
  }
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  job.lentRoom = 65536;
  Session first;
  const std::string want = RunWords(first, inline_, job).output;
  ASSERT_NE(want.find("<J size="), std::string::npos) << want;
  ExpectTheSameWhereverTheBlockReadEnds(words, job, want, {0, 1, 2, 3, 5, 7, 11, 17}, /*formats=*/true);
}

TEST(MainLoop, AGroupBehindCharactersIsNotRunOnceAWriteWasRefused) {
  // A sink that lends a little room and refuses whatever does not fit: the
  // warning of the horizontal tab (in the pre-phase) is refused, the
  // character still fits. Nothing more is converted or stored once the
  // output refused a write, so the group behind the character is not run.
  class SmallRoomSink final : public ByteSink {
   public:
    SmallRoomSink() {
      cur_ = room_;
      end_ = room_ + sizeof room_;
    }

   protected:
    bool TakeBytes(const char*, size_t) override { return false; }

   private:
    char room_[8];
  };
  Session session;
  LoadedTables tables(VELKAN_SAMPLE_ROOT);
  const std::string words = WordBytes({0xD024, 0x80A1, 0xD003, 0xD02D, 0xC343, 0xD004, 0x80A2});
  MemorySource source(words);
  SmallRoomSink sink;
  Pass pass(session, PassSettings{}, tables, source, sink);
  Conversion& c = pass.conversion();
  const int16_t font = c.typo.font;
  EXPECT_EQ(RunMainLoop(c), Flow::kFail);
  EXPECT_TRUE(c.out.writeFailed());
  EXPECT_EQ(c.typo.font, font);
  EXPECT_EQ(c.stream.current(), kGroupOpen);
}

TEST(PrePhase, EndsAtAHandlerThatReturnsZero) {
  WordConversion w({0xD004, 0x45A1});
  EXPECT_EQ(RunPrePhase(w.c), 0);
  EXPECT_EQ(w.c.stream.current(), 0xD004);
  EXPECT_FALSE(w.c.stream.pending());
}

TEST(PrePhase, ContinuesAfterOtherResultsAndLeavesTheFirstOtherWordPending) {
  WordConversion w({0xD020, 0xD003, 0xC341, 0xD004, 0xD020, 0xD009, 0x45A1});
  EXPECT_EQ(RunPrePhase(w.c), 0);
  EXPECT_EQ(w.c.stream.current(), 0xD009);
  EXPECT_TRUE(w.c.stream.pending());
}

// What the sweep of characters of the main pages looks at, written out.
std::string SweepView(const Conversion& c) {
  auto hex = [](const void* p, size_t n) {
    std::string h;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t b = static_cast<const uint8_t*>(p)[i];
      h += "0123456789abcdef"[b >> 4];
      h += "0123456789abcdef"[b & 15];
    }
    return h;
  };
  char named[256];
  std::snprintf(named, sizeof named,
                " marked %d one-shot %d manual ruby text %d scope %d suppressed %d replay %d route font %d version %llu "
                "table %p last font %d store %llu",
                c.tagsToCheck, c.chars.oneShotCode, c.ruby.manual == 2, c.session.scopeCountdown, c.out.outputSuppressed,
                c.stream.replayRuns(), c.fonts.routeFont, static_cast<unsigned long long>(c.fonts.routeVersion),
                static_cast<const void*>(c.fonts.mainPageWire), c.fonts.lastFont,
                static_cast<unsigned long long>(c.fonts.store.version()));
  return "settings " + hex(&c.typo, sizeof c.typo) + " written " + hex(&c.emitted, sizeof c.emitted) + " move " +
         hex(&c.move, sizeof c.move) + named;
}

// The loop sweeps the characters behind a command whose main handler the
// table says keeps the sweep without looking at the tags, the font or the
// rest again: every such handler, run right after characters on arguments
// of each shape and in each state of its own, leaves all of that as it was.
// The same look does tell the other main handlers' changes.
TEST(MainLoop, HandlersThatKeepTheSweepChangeNothingItLooksAt) {
  const std::vector<std::vector<uint16_t>> arguments = {
      {}, {0xC342}, {0xC341, 0xC342}, {kGroupOpen, 0xD02D, 0xC343, kGroupClose}, {0xD075}};
  const CommandTable& table = Commands();
  size_t keeping = 0, told = 0;
  for (const CommandRow& row : CommandRows()) {
    if (row.main == nullptr) continue;
    const bool keeps = table[row.word & 0xFF].keepsSweep;
    keeping += keeps;
    bool changed = false;
    for (const std::vector<uint16_t>& args : arguments) {
      for (int16_t state = 0; state < 3; ++state) {
        std::vector<uint16_t> words{row.word};
        words.insert(words.end(), args.begin(), args.end());
        words.insert(words.end(), {0x8121, kEndOfJob});
        WordConversion w(words);
        Conversion& c = w.c;
        // As right after characters of the main pages.
        c.chars.charClass = 1;
        c.session.atLineStart = 0;
        c.tagsToCheck = false;
        c.ruby.groupA = c.ruby.groupB = c.ruby.kinsoku = state;
        c.rawTagOpen = state & 1;
        // The sweep goes on in a manual ruby's base, never in its text.
        c.ruby.manual = state & 1;
        ASSERT_EQ(c.stream.Take(), 0);
        c.stream.Keep();
        c.stream.MarkDispatch();
        const std::string before = SweepView(c);
        const Flow r = row.main(c);
        if (SweepView(c) == before) continue;
        changed = true;
        EXPECT_FALSE(keeps && r == Flow::kGoOn) << row.name << " with " << args.size() << " argument words\n"
                                                << before << "\n" << SweepView(c);
      }
    }
    told += changed && !keeps;
  }
  EXPECT_GE(keeping, 20u);
  // The setting commands, the manual ruby's placements, the output switch,
  // the one-shot code among them.
  EXPECT_GT(told, 5u);
}

TEST(MainLoop, CharactersBehindAHandlerThatKeepsTheSweepComeOutAsAfterAStep) {
  // Behind every command whose main handler keeps the sweep, with no, one
  // and two digits, the characters are swept at once; a filler behind the
  // command's words sends them through a step of their own instead.
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  job.lentRoom = 65536;
  const CommandTable& table = Commands();
  size_t compared = 0;
  for (const CommandRow& row : CommandRows()) {
    if (row.main == nullptr || !table[row.word & 0xFF].keepsSweep) continue;
    for (size_t digits = 0; digits <= 2; ++digits) {
      std::vector<uint16_t> straight = {0xD009, 0x8140, 0x8141, row.word};
      for (size_t i = 0; i < digits; ++i) straight.push_back(static_cast<uint16_t>(0xC341 + i));
      std::vector<uint16_t> viaStep = straight;
      viaStep.push_back(kFillerWord);
      for (uint16_t w : {uint16_t{0x8142}, uint16_t{0x8143}, uint16_t{0xD009}}) {
        straight.push_back(w);
        viaStep.push_back(w);
      }
      Session a, b;
      EXPECT_EQ(RunWords(a, straight, job).output, RunWords(b, viaStep, job).output)
          << row.name << " with " << digits << " digits";
      ++compared;
    }
  }
  EXPECT_GE(compared, 3 * 60u);
}

TEST(Dispatch, SlotResults) {
  {
    WordConversion w({0x45A1});
    EXPECT_EQ(DispatchCommand(w.c), Flow::kGoOn);  // a character stays pending
    EXPECT_EQ(w.c.stream.current(), 0x45A1);
    EXPECT_TRUE(w.c.stream.pending());
  }
  {
    WordConversion w({0xD003, 0xD075, 0xD004});
    EXPECT_EQ(DispatchCommand(w.c), Flow::kGoOn);  // a group waits for the pre-phase
    EXPECT_TRUE(w.c.stream.pending());
    EXPECT_EQ(w.c.out.outputSuppressed, 0);
  }
  {
    WordConversion w({0xD034, 0x45A1});
    EXPECT_EQ(DispatchCommand(w.c), Flow::kGoOn);  // dropped
    EXPECT_FALSE(w.c.stream.pending());
  }
  {
    WordConversion w({0xD020});
    EXPECT_EQ(DispatchCommand(w.c), Flow::kEndJob);
  }
}

// --- independence of passes, conversions and sessions -----------------------

// One step of the main loop; true once the pass has ended.
bool Step(Conversion& c) {
  EXPECT_EQ(RunPrePhase(c), 0);
  WriteCharacterTags(c);
  EXPECT_EQ(RunCharacters(c), 0);
  Flow r = DispatchCommand(c);
  EXPECT_NE(r, Flow::kFail);
  return r == Flow::kEndJob;
}

TEST(Independence, TwoConversionsSteppedInTurnKeepTheirOwnState) {
  WordConversion a({0x45A1, 0xD075, 0x45A2, 0xD009, 0xD075, 0x1234, 0x45A3}, 1, 1);
  WordConversion b({0x1234, 0x45A4, 0xD009, 0x45A5, 0xD009, 0x45A6}, 0, 0);
  bool doneA = false, doneB = false;
  for (int i = 0; i < 20 && !(doneA && doneB); ++i) {
    if (!doneA) doneA = Step(a.c);
    if (!doneB) doneB = Step(b.c);
  }
  ASSERT_TRUE(doneA && doneB);
  EXPECT_EQ(a.sink.data(), Z(0x45A1) + Z(0x45A3));
  EXPECT_EQ(b.sink.data(), InvalidWord("1234") + Z(0x45A4) + "\r\n" + Z(0x45A5) + "\r\n" + Z(0x45A6));
  EXPECT_EQ(a.session.settings.unit, 1);
  EXPECT_EQ(b.session.settings.unit, 0);
}

TEST(Independence, ConversionsInParallelThreadsGiveTheirOwnOutputs) {
  std::vector<uint16_t> inA, inB;
  std::string wantA, wantB;
  for (int i = 0; i < 2000; ++i) {
    uint16_t ch = static_cast<uint16_t>(0x45A1 + i % 50);
    inA.push_back(ch);
    inA.push_back(0xD009);
    wantA += Z(ch) + "\r\n";
    inB.push_back(0xD075);
    inB.push_back(ch);
    inB.push_back(0x1234);
    if (i % 2 == 1) wantB += Z(ch) + InvalidWord("1234");
  }
  std::string gotA[20], gotB[20];
  std::thread ta([&] {
    for (std::string& g : gotA) {
      Session s;
      g = RunWords(s, inA).output;
    }
  });
  std::thread tb([&] {
    for (std::string& g : gotB) {
      Session s;
      g = RunWords(s, inB).output;
    }
  });
  ta.join();
  tb.join();
  for (const std::string& g : gotA) EXPECT_EQ(g, wantA);
  for (const std::string& g : gotB) EXPECT_EQ(g, wantB);
}

TEST(Independence, LineStartFlagsCarryOverWithinASessionOnly) {
  Session first;
  EXPECT_EQ(RunWords(first, {0xD009, 0x45A1}).output, Z(0x45A1));  // at program start
  // The same run of the program: the text of the first job counts.
  EXPECT_EQ(RunWords(first, {0xD009, 0x45A2}).output, "\r\n" + Z(0x45A2));
  // Another session starts afresh.
  Session second;
  EXPECT_EQ(RunWords(second, {0xD009, 0x45A2}).output, Z(0x45A2));
}

TEST(MainLoop, CharactersWrittenStraightKeepTheirPlacesInTheRun) {
  // The characters of the main pages the loop writes straight to the output
  // still fill the places of their run of 255 words: a combined character
  // (0xC701 with 0x8034) that begins in the run's last place cannot
  // take the word after it, which begins the next run.
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  job.lentRoom = 65536;
  auto words = [](size_t before, bool fillers) {
    // The word read first goes through the pre-phase: a line end leads, so
    // that the characters begin a step of their own.
    std::vector<uint16_t> w = {0xD009};
    for (size_t i = 0; i < before; ++i) {
      w.push_back(static_cast<uint16_t>(0x8140 + i % 0x40));
      if (fillers) w.push_back(0xD000);  // no sweep takes more than one character
    }
    w.insert(w.end(), {0xC701, 0x8034, 0xD009});
    return w;
  };
  const std::string kumi = "<ZAN2 kumi=";
  for (size_t before : {253u, 254u, 253u + 255u, 254u + 255u, 254u + 2 * 255u}) {
    Session a, b;
    std::string straight = RunWords(a, words(before, false), job).output;
    bool lastPlace = before % 255 == 254;
    EXPECT_EQ(straight.find(kumi) == std::string::npos, lastPlace) << before;
    EXPECT_EQ(straight, RunWords(b, words(before, true), job).output) << before;
  }
}

TEST(MainLoop, ACharacterACommandReadOnToComesOutAsTheCharacterStageWritesIt) {
  // Commands of the main slot whose digits end at a character of the main
  // pages leave it pending; the step gives it back to the block read and
  // sweeps it with those behind it: behind the state tags of a group before
  // the command, behind a filler, as the input's last word. A sink that
  // lends no room sends every character through the character stage.
  auto d = [](int digit) { return static_cast<uint16_t>(0xC340 + digit); };
  const std::vector<uint16_t> words = {
      0xD009, 0x8140, 0xD09D, d(3), 0x8141, 0x8142, 0xD009,                              //
      0xD003, 0xD02E, d(8), 0xD004, 0xD0A7, d(3), 0x8143, 0xD003, 0xD02E, d(9), 0xD004,  //
      0xD09E, d(5), 0xD000, 0x8144, 0x8145, 0xD0CE, d(1), 0xC334, d(5), 0xC335, d(2),    //
      0x8146, 0xD05B, d(0), d(0), d(7), 0x8147, 0xD061, d(1), 0x8148, 0x8149, 0xD09D, d(2), 0x814A};
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  Session a, b;
  const std::string viaStage = RunWords(a, words, job).output;
  ASSERT_NE(viaStage.find("<J size="), std::string::npos) << viaStage;
  ASSERT_NE(viaStage.find("<TAYO "), std::string::npos) << viaStage;
  job.lentRoom = 65536;
  EXPECT_EQ(RunWords(b, words, job).output, viaStage);
}

TEST(MainLoop, AFontIsSelectedNoEarlierThanItsFirstConversion) {
  // Font 1102 (a one-shot code's ruby font for font 302) belongs to no class
  // and keeps the kind of the font converted before it, which decides the
  // shift of a code with a range type (0xA001). After the change to font 302
  // the combined-character tag 0x95B4 converts nothing, so the one-shot code
  // after it still takes the kind of font 1, as it does when fillers keep
  // every word from the sweep of characters.
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  job.lentRoom = 65536;
  const std::vector<uint16_t> words = {0xD009, 0x8140, 0xD003, 0xD02D, 0xC343, 0xC340, 0xC342, 0xD004,
                                       0x95B4, 0xD093, 0xA001, 0x8142, 0xD009};
  std::vector<uint16_t> fillers;
  for (uint16_t w : words) fillers.insert(fillers.end(), {w, 0xD000});
  Session a, b;
  std::string straight = RunWords(a, words, job).output;
  EXPECT_NE(straight.find("<ZAN2 kumi="), std::string::npos) << straight;
  EXPECT_EQ(straight, RunWords(b, fillers, job).output);
}

TEST(Independence, OutputSwitchAndStreamAreResetPerPass) {
  Session s;
  EXPECT_EQ(RunWords(s, {0x45A1, 0xD075, 0x45A2}).output, Z(0x45A1));
  EXPECT_EQ(RunWords(s, {0x45A3}).output, Z(0x45A3));
}

TEST(Independence, OptionsOtherThanZeroOrOneKeepThePreviousPassValue) {
  Session s;
  MemoryJob off;
  off.warnings = 1;
  EXPECT_EQ(RunWords(s, {0x1234}, off).output, "");
  MemoryJob keep;
  keep.warnings = 7;
  keep.unit = -1;
  EXPECT_EQ(RunWords(s, {0x1234}, keep).output, "");
  MemoryJob on;
  on.warnings = 0;
  EXPECT_EQ(RunWords(s, {0x1234}, on).output, InvalidWord("1234"));
  EXPECT_EQ(RunWords(s, {0x1234}, keep).output, InvalidWord("1234"));
}

}  // namespace
}  // namespace velkan::test
