// The state tags for settings whose commands are not reachable from a golden
// case yet (tsume, indents, the one-shot <MOVE> values), and the rules of
// change detection.
#include "conversion/state_tags.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "conversion/conversion_tags.h"
#include "engine/command_table.h"
#include "typo/state_tag_text.h"
#include "typo/typo_literals.h"

#include "support/memory_conversion.h"

namespace velkan::test {
namespace {

TEST(WriteCharacterTags, NothingAfterInitJob) {
  MemoryConversion m;
  WriteCharacterTags(m.c);
  EXPECT_EQ(m.output(), "");
  EXPECT_EQ(m.c.limits.minSize, 18);
  EXPECT_EQ(m.c.limits.maxSize, 744);
  EXPECT_EQ(m.c.limits.minLength, 3240);
  EXPECT_EQ(m.c.limits.maxLength, 23976000);
}

TEST(WriteJTag, TumeAsPerMille) {
  MemoryConversion m;
  m.c.typo.tume = 27;
  WriteJTag(m.c);
  m.c.typo.tume = 54;
  WriteJTag(m.c);
  m.c.typo.tume = -1;
  WriteJTag(m.c);
  // Back to the default 0 is a change like any other.
  m.c.typo.tume = 0;
  WriteJTag(m.c);
  EXPECT_EQ(m.output(), "<J tume=500><J tume=1000><J tume=-18><J tume=0>");
}

TEST(WriteJTag, EachChangeWrittenOnce) {
  MemoryConversion m;
  m.c.typo.colour = 4;
  m.c.typo.tume = 50;
  WriteJTag(m.c);
  WriteJTag(m.c);
  EXPECT_EQ(m.output(), "<J color=4 tume=925>");
}

TEST(WriteJTag, NoColourAgainIsWritten) {
  MemoryConversion m;
  m.c.typo.colour = 4;
  WriteJTag(m.c);
  m.c.typo.colour = -1;
  WriteJTag(m.c);
  EXPECT_EQ(m.output(), "<J color=4><J color=-1>");
}

// A tag written from its kept text takes the settings as a composed one
// does: written again with nothing changed, it writes nothing.
TEST(WriteJTag, KeptTextTakesTheSettings) {
  MemoryConversion m;
  for (int16_t tume : {27, 54, 27}) {
    m.c.typo.tume = tume;
    const bool kept = m.c.tagCache.Find(JTagKey(m.c.typo, m.c.emitted, 0, false, m.c.definitions.generation()));
    EXPECT_EQ(kept, tume == 27 && m.c.emitted.tume == 54);
    WriteJTag(m.c);
    WriteJTag(m.c);
  }
  EXPECT_EQ(m.output(), "<J tume=500><J tume=1000><J tume=500>");
}

TEST(WriteGTag, KeptTextTakesTheSettings) {
  MemoryConversion m;
  for (int32_t points : {14, 16, 14}) {
    const int32_t was = m.c.emitted.lineSpacing;
    m.c.typo.lineSpacing = points * 12960;
    const bool kept = m.c.tagCache.Find(GTagKey(m.c.typo, m.c.emitted, 0));
    EXPECT_EQ(kept, points == 14 && was == 16 * 12960);
    WriteGTag(m.c);
    WriteGTag(m.c);
  }
  EXPECT_EQ(m.output(), "<G l=14pt><G l=16pt><G l=14pt>");
}

TEST(WriteGTag, IndentsInOrderLeftRightStartHanging) {
  MemoryConversion m;
  // Height 8 units: 16 units is two characters, 12 units is one and a half.
  m.c.typo.indentHanging = 16 * 12960;
  m.c.typo.indentStart = 12 * 12960;
  m.c.typo.indentRight = 8 * 12960;
  m.c.typo.indentLeft = 12 * 12960;
  WriteGTag(m.c);
  EXPECT_EQ(m.output(), "<G ind_l=12pt ind_r=1moji ind_s=12pt ind_h=2moji>");
}

TEST(WriteGTag, IndentBackToZeroIsZeroCharacters) {
  MemoryConversion m(/*words=*/{}, /*direction=*/0, /*unit=*/1);
  m.c.typo.indentLeft = 12 * 12960;
  WriteGTag(m.c);
  m.c.typo.indentLeft = 0;
  WriteGTag(m.c);
  EXPECT_EQ(m.output(), "<G ind_l=12Q><G ind_l=0moji>");
}

TEST(WriteGTag, MeasureWholeOrLength) {
  MemoryConversion m;
  m.c.typo.measure = 128 * 12960;
  WriteGTag(m.c);
  m.c.typo.measure = 130 * 12960;
  WriteGTag(m.c);
  EXPECT_EQ(m.output(), "<G mes=16moji><G mes=130pt>");
}

TEST(WriteGTag, LineSpacingInTheJobUnit) {
  MemoryConversion pt;
  pt.c.typo.lineSpacing = 14 * 12960;
  WriteGTag(pt.c);
  EXPECT_EQ(pt.output(), "<G l=14pt>");

  MemoryConversion q({}, 0, 1);
  q.c.typo.lineSpacing = 14 * 12960;
  WriteGTag(q.c);
  EXPECT_EQ(q.output(), "<G l=14Q>");
}

TEST(WriteMoveTag, AttributesInOrderWithSignsInverted) {
  MemoryConversion m;
  m.c.move.up = 12960;
  m.c.move.aki = 54;
  m.c.move.bnkn = -1;
  WriteMoveTag(m.c);
  EXPECT_EQ(m.output(), "<MOVE up=-1pt aki=-1000 bnkn=N>");
  EXPECT_EQ(m.c.move.up, 0);
  EXPECT_EQ(m.c.move.aki, 0);
  EXPECT_EQ(m.c.move.bnkn, 0);
  // Once written, the values are gone.
  WriteMoveTag(m.c);
  EXPECT_EQ(m.output(), "<MOVE up=-1pt aki=-1000 bnkn=N>");
}

TEST(WriteMoveTag, DownwardShiftAndNegativeSpacing) {
  MemoryConversion m({}, 0, 1);
  m.c.move.up = -77760;  // half a line of 12 units, downwards
  m.c.move.aki = -27;
  WriteMoveTag(m.c);
  EXPECT_EQ(m.output(), "<MOVE up=6Q aki=500>");
}

// A shift of less than a hundredth of the unit, inverted, is a negative
// zero; the extreme shifts are written with six significant digits.
TEST(WriteMoveTag, ShiftsBelowAHundredthAndExtremeOnes) {
  MemoryConversion m;
  m.c.move.up = 100;
  WriteMoveTag(m.c);
  m.c.move.up = -100;
  WriteMoveTag(m.c);
  m.c.move.up = INT32_MIN;
  m.c.move.bnkn = -1;
  WriteMoveTag(m.c);
  EXPECT_EQ(m.output(), "<MOVE up=-0pt><MOVE up=-0pt><MOVE up=165701pt bnkn=N>");
}

TEST(WriteMoveTag, CancellingShiftsWriteNothing) {
  MemoryConversion m;
  m.c.move.up += 12960;
  m.c.move.up -= 12960;
  WriteMoveTag(m.c);
  EXPECT_EQ(m.output(), "");
}

TEST(WriteCharacterTags, JThenGThenMove) {
  MemoryConversion m;
  m.c.move.bnkn = -1;
  m.c.typo.lineSpacing = 16 * 12960;
  m.c.typo.font = 2;
  WriteCharacterTags(m.c);
  EXPECT_EQ(m.output(), "<J f=2><G l=16pt><MOVE bnkn=N>");
}

TEST(WriteCharacterTags, SilencedByTheOutputSwitch) {
  MemoryConversion m;
  m.c.out.outputSuppressed = 1;
  m.c.typo.font = 2;
  WriteCharacterTags(m.c);
  EXPECT_EQ(m.output(), "");
  // The change counts as written: switching the output on again does not
  // repeat it.
  m.c.out.outputSuppressed = 0;
  WriteCharacterTags(m.c);
  EXPECT_EQ(m.output(), "");
}

// A pass as MemoryConversion's whose output goes through a buffer of
// `room` bytes lent to the writer, as the file sink lends one.
struct LendingConversion {
  explicit LendingConversion(size_t room) : sink(room), pass(session, PassSettings{0, 0, 0}, tables, source, sink) {}
  const std::string& output() {
    sink.Flush();
    return sink.data();
  }

  Session session;
  LoadedTables tables;
  MemorySource source{std::string_view()};
  LendingSink sink;
  Pass pass;
  Conversion& c = pass.conversion();
};

// Settings taking turns among a few values, so that most tags are written
// from kept texts, with the unit, the direction and the names of the
// definition file changing in between (names longer than a kept text too)
// and now and then a move: the output is the one of tags composed every
// time, written where the output lends room and where it lends none.
TEST(WriteCharacterTags, KeptTextsAreTheComposedOnes) {
  MemoryConversion kept, fresh;
  // A room of a few tags: a kept text is sometimes more than what is left.
  LendingConversion lent(120);
  std::mt19937 rnd(24);
  auto pick = [&](std::initializer_list<int32_t> values) {
    return *(values.begin() + std::uniform_int_distribution<size_t>(0, values.size() - 1)(rnd));
  };
  auto names = [](const std::string& font2) {
    return std::string("<") + lit::kSectionFontNames + ">\r\n2=" + font2 + "\r\n<" + lit::kSectionColourNames +
           ">\r\n4=red\r\n";
  };
  // Tags, those of a setting changed alone, and those with a text kept.
  size_t written = 0, singles = 0, fromKept = 0;
  for (int i = 0; i < 20000; ++i) {
    // Mostly one change a step, sometimes two or three together.
    const int changes = pick({1, 1, 1, 1, 2, 3});
    for (int k = 0; k < changes; ++k) {
      const int change = std::uniform_int_distribution<int>(0, 17)(rnd);
      // The same values for both conversions.
      const int32_t a = pick({0, 1, 2}), b = pick({0, 1, 2});
      for (Conversion* c : {&kept.c, &fresh.c, &lent.c}) {
        TypoState& t = c->typo;
        auto n16 = [](int32_t v) { return static_cast<int16_t>(v); };
        switch (change) {
          case 0: t.font = n16(1 + a); break;
          case 1: t.height = t.width = n16(32 + 4 * a); break;
          case 2: t.width = n16(32 + 2 * b); break;
          case 3: t.position = a == 2 ? 3 : a; break;
          case 4: t.jkr = n16(2 * a - 2); break;
          case 5: t.colour = n16(a - 1 + 4 * b); break;
          case 6: t.tume = n16(27 * a - 5 * b); break;
          case 7: t.lineSpacing = (14 + b) * 12960; break;
          case 8: t.measure = (128 + a) * 12960; break;
          case 9: t.indentLeft = 4 * a * 12960; break;
          case 10: t.indentHanging = 16 * b * 12960; t.indentStart = 6 * a * 12960; break;
          case 11: c->session.settings.unit = n16(b % 2); break;
          case 12: c->session.settings.direction = n16(a % 2); break;
          case 13:
            // Rarer: new names make every kept <J> text useless.
            if (i % 64 != 0) break;
            if (a == 0) c->definitions.Close();
            else c->definitions.OpenFromMemory(names(a == 1 ? "Gothic" : std::string(70, 'g')));
            break;
          case 14:
            if (a == 0) c->move.bnkn = -1;
            else c->move.aki = n16(27 * a);
            break;
          default: break;
        }
      }
    }
    const TypoState& now = kept.c.typo;
    const JobSettings& job = kept.c.session.settings;
    written += JTagPending(now, kept.c.emitted) + GTagPending(now, kept.c.emitted);
    if (JTagPending(now, kept.c.emitted) &&
        kept.c.tagCache.Find(JTagKey(now, kept.c.emitted, job.unit, job.direction == 1, kept.c.definitions.generation()))) {
      ++fromKept;
    }
    if (GTagPending(now, kept.c.emitted) && kept.c.tagCache.Find(GTagKey(now, kept.c.emitted, job.unit))) ++fromKept;
    // A setting changed alone is kept by a word of its own.
    if (JTagPending(now, kept.c.emitted)) {
      const uint64_t key = SingleJChangeKey(now, kept.c.emitted, job.unit, kept.c.definitions.generation());
      singles += key != 0;
      fromKept += key != 0 && kept.c.singleChangeTexts.Find(key) != nullptr;
    }
    if (GTagPending(now, kept.c.emitted)) {
      const uint64_t key = SingleGChangeKey(now, kept.c.emitted, job.unit);
      singles += key != 0;
      fromKept += key != 0 && kept.c.singleChangeTexts.Find(key) != nullptr;
    }
    WriteCharacterTags(kept.c);
    WriteCharacterTags(lent.c);
    WriteJTag(ConversionTags{fresh.c});
    WriteGTag(ConversionTags{fresh.c});
    WriteMoveTag(ConversionTags{fresh.c});
    ASSERT_EQ(kept.output(), fresh.output()) << "after step " << i;
    // Now and then, so that the room left between the lent buffer's
    // flushes takes every size.
    if (i % 97 == 0) {
      ASSERT_EQ(lent.output(), fresh.output()) << "after step " << i;
    }
  }
  EXPECT_EQ(lent.output(), fresh.output());
  EXPECT_GT(written, 5000u);
  EXPECT_GT(singles, written / 8);
  EXPECT_LT(singles, written - written / 4);
  EXPECT_GT(fromKept, written / 10);
}

// The main loop looks at the tags only after a command marked a change
// (Conversion::ChangeTypo, ChangeMove): every handler of every slot, run on
// arguments of each shape, marks whatever it changed that the tags carry.
TEST(WriteChangedCharacterTags, EveryHandlerMarksWhatItChanges) {
  const std::vector<std::vector<uint16_t>> arguments = {
      {},
      {0xC341, 0xC342},
      {0xC341, 0xC342, kPointSeparator, 0xC345},
      {0xC341, 0xC342, kCommaSeparator, 0xC343, 0xC344},
      {0xC341, 0xC342, kSelectIndentLeft, 0xC343},
      {0xC341, 0xC342, kSelectIndentRight, 0xC343},
      {kSelectIndentLeft, 0xC341, 0xC342},
  };
  size_t changed = 0;
  for (const CommandRow& row : CommandRows()) {
    for (Handler h : {row.prePhase, row.main, row.inGroup}) {
      if (h == nullptr) continue;
      for (const std::vector<uint16_t>& args : arguments) {
        std::vector<uint16_t> words{row.word};
        words.insert(words.end(), args.begin(), args.end());
        words.insert(words.end(), {kGroupClose, 0x8121, kEndOfJob});
        MemoryConversion m(words);
        ASSERT_EQ(m.c.stream.Take(), 0);
        m.c.stream.MarkDispatch();
        m.c.tagsToCheck = false;
        h(m.c);
        if (CharacterTagsPending(m.c.typo, m.c.emitted, m.c.move)) {
          ++changed;
          EXPECT_TRUE(m.c.tagsToCheck) << "command " << row.name << " with " << args.size() << " argument words";
        }
      }
    }
  }
  // The setting commands did change something.
  EXPECT_GT(changed, 20u);
}

}  // namespace
}  // namespace velkan::test
