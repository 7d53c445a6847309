// The state tags for settings whose commands are not reachable from a golden
// case yet (tsume, indents, the one-shot <MOVE> values), and the rules of
// change detection.
#include "conversion/state_tags.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velkan::test
