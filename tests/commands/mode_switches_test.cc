// The numeric modes and the argument lists of the forced-deformation
// commands, seen in the state and the stream position they leave.
#include "commands/mode_switches.h"

#include <gtest/gtest.h>

#include <set>

#include "commands/pass_fixture.h"
#include "conversion/readers.h"

namespace velkan::test {
namespace {

constexpr uint16_t kPermit = 0xD00C;
constexpr uint16_t kForbid = 0xD00D;
constexpr uint16_t kComma = 0xC335;
constexpr uint16_t kChar = 0x4521;

uint16_t D(int digit) { return static_cast<uint16_t>(0xC340 + digit); }

TEST(ModeSwitchTable, EndsWithTheEndRowAndHoldsEachWordOnce) {
  auto table = ModeSwitchTable();
  ASSERT_EQ(table.size(), 32u);
  EXPECT_EQ(table.back().word, 0xD023);
  EXPECT_EQ(table.back().action, nullptr);
  std::set<uint16_t> words;
  for (const ModeSwitchRow& row : table) words.insert(row.word);
  EXPECT_EQ(words.size(), table.size());
  EXPECT_EQ(FindModeAction(0xD0DE), nullptr);
  EXPECT_EQ(FindModeAction(0xD023), nullptr);
  EXPECT_EQ(FindModeAction(0xD009), nullptr);
  EXPECT_NE(FindModeAction(0xD00E), nullptr);
}

TEST(ModeSwitches, LetterSpaceAccumulatesUntilTheMoveTag) {
  Session s;
  HandlerPass p(s, {0xD00E, D(1), D(8), 0xD011, D(0), D(5), 0xD00E, D(2), D(0)});
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.move.aki, 18);
  EXPECT_FALSE(p.c.stream.pending());
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.move.aki, 13);
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.move.aki, 33);
}

TEST(ModeSwitches, ForbiddingLetterSpaceReadsNothing) {
  Session s;
  HandlerPass p(s, {0xD00E, D(1), D(8)});
  p.c.move.aki = 7;
  EXPECT_EQ(p.Call(CmdModeForbid, kForbid), Flow::kGoOn);
  EXPECT_EQ(p.c.move.aki, 7);
  EXPECT_EQ(p.Next(), D(1));  // the digits were not read
}

TEST(ModeSwitches, TsumeIsSetAndReset) {
  Session s;
  HandlerPass p(s, {0xD014, D(2), D(7), 0xD014, 0xD010, D(0), D(3), 0xD010});
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.typo.tume, -27);
  EXPECT_EQ(p.Call(CmdModeForbid, kForbid), Flow::kGoOn);
  EXPECT_EQ(p.c.typo.tume, 0);
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.typo.tume, 3);
  EXPECT_EQ(p.Call(CmdModeForbid, kForbid), Flow::kGoOn);
  EXPECT_EQ(p.c.typo.tume, 0);
}

TEST(ModeSwitches, OneDigitChangesNothingAndLeavesTheWordPending) {
  Session s;
  HandlerPass p(s, {0xD00E, D(1), kChar});
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.move.aki, 0);
  EXPECT_EQ(p.c.stream.current(), kChar);
  EXPECT_TRUE(p.c.stream.pending());

  HandlerPass q(s, {0xD014, D(5), 0xD009});
  q.c.typo.tume = 12;
  EXPECT_EQ(q.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(q.c.typo.tume, 12);
  EXPECT_EQ(q.c.stream.current(), 0xD009);
  EXPECT_TRUE(q.c.stream.pending());
}

TEST(ModeSwitches, LetterSpaceWrapsInsteadOfOverflowing) {
  Session s;
  HandlerPass p(s, {0xD00E, D(9), D(9)});
  p.c.move.aki = 32700;
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.move.aki, static_cast<int16_t>(32700 + 99 - 65536));
}

TEST(ModeSwitches, TheEndOfTheInputIsConsumedAsAModeWord) {
  Session s;
  HandlerPass p(s, {});
  EXPECT_EQ(p.Call(CmdModePermit, kPermit), Flow::kGoOn);
  EXPECT_EQ(p.c.stream.current(), 0xD056);
  EXPECT_FALSE(p.c.stream.pending());
  EXPECT_EQ(p.Next(), 0xD056);  // the job still ends
}

// The comma after the 26th value ends the list and goes with the command;
// the 27th value is left as ordinary words.
TEST(ForcedDeformation, LensTakesAtMost26Values) {
  std::vector<uint16_t> words;
  for (int i = 1; i <= 27; ++i) {
    if (i > 1) words.push_back(kComma);
    if (i >= 10) words.push_back(D(i / 10));
    words.push_back(D(i % 10));
  }
  Session s;
  HandlerPass p(s, words);
  EXPECT_EQ(p.Call(CmdForcedDeformLens, 0xD0CE), Flow::kGoOn);
  EXPECT_EQ(p.c.stream.current(), kComma);
  EXPECT_FALSE(p.c.stream.pending());
  EXPECT_EQ(p.Next(), D(2));
  EXPECT_EQ(p.Next(), D(7));
  EXPECT_EQ(p.output(), Sjis("<WAR \"強制変形(レンズ)\">"));
}

TEST(ForcedDeformation, LensLeavesAWordThatIsNoArgument) {
  Session s;
  HandlerPass p(s, {D(1), kComma, D(2), kChar});
  EXPECT_EQ(p.Call(CmdForcedDeformLens, 0xD0CE), Flow::kGoOn);
  EXPECT_EQ(p.c.stream.current(), kChar);
  EXPECT_TRUE(p.c.stream.pending());
}

TEST(ForcedDeformation, VariableStopsAfterFiveValuesOrAtTheFirstOtherWord) {
  Session s;
  HandlerPass p(s, {D(1), 0xC334, D(5), kComma, D(2), kComma, D(3), kComma, D(4), kComma, D(5), kComma, D(6)});
  EXPECT_EQ(p.Call(CmdForcedDeformVariable, 0xD0D6), Flow::kGoOn);
  EXPECT_EQ(p.c.stream.current(), kComma);  // the comma after the fifth
  EXPECT_EQ(p.Next(), D(6));

  HandlerPass q(s, {D(1), kComma, D(2), 0xD004});
  EXPECT_EQ(q.Call(CmdForcedDeformVariable, 0xD0D6), Flow::kGoOn);
  EXPECT_EQ(q.c.stream.current(), 0xD004);
}

}  // namespace
}  // namespace velkan::test
