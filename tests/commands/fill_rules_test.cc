// The parameters of the split-line and box structures, the page-number
// values that outlive a job and the fill rule's tag.
#include "commands/fill_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "commands/pass_fixture.h"
#include "tables/command_words.h"

namespace velkan::test {
namespace {

constexpr uint16_t kComma = 0xC335;
constexpr uint16_t kPoint = 0xC334;
constexpr uint16_t kClose = 0xD004;

uint16_t D(int digit) { return static_cast<uint16_t>(0xC340 + digit); }

TEST(SplitLineParameters, ReadsTwoSizesAndTwoIntegers) {
  Session s;
  HandlerPass p(s, {D(4), kComma, D(4), kPoint, D(5), kComma, D(2), kComma, D(1), D(0), kClose});
  EXPECT_EQ(p.Call(CmdSplitLineParameters, 0xD064), Flow::kGoOn);
  EXPECT_EQ(p.c.splitLine.firstSize, 16);
  EXPECT_EQ(p.c.splitLine.secondSize, 18);
  EXPECT_EQ(p.c.splitLine.type, 2);
  EXPECT_EQ(p.c.splitLine.par, 10);
  EXPECT_EQ(p.c.stream.current(), kClose);
}

TEST(SplitLineParameters, ValuesAfterAMissingCommaAreZero) {
  Session s;
  HandlerPass p(s, {D(6), kComma, D(5), kClose});
  p.c.splitLine = SplitLineParameters{1, 2, 3, 4};
  EXPECT_EQ(p.Call(CmdSplitLineParameters, 0xD064), Flow::kGoOn);
  EXPECT_EQ(p.c.splitLine.firstSize, 24);
  EXPECT_EQ(p.c.splitLine.secondSize, 20);
  EXPECT_EQ(p.c.splitLine.type, 0);
  EXPECT_EQ(p.c.splitLine.par, 0);
}

TEST(BoxParameters, GapIsZeroWithoutCommaAndOneUnitWithoutDigits) {
  Session s;
  HandlerPass a(s, {D(1), kClose});
  a.c.box.gap = 99;
  EXPECT_EQ(a.Call(CmdBoxParameters, 0xD0A0), Flow::kGoOn);
  EXPECT_EQ(a.c.box.lineSelector, 1);
  EXPECT_EQ(a.c.box.gap, 0);

  HandlerPass b(s, {kComma, kClose});
  EXPECT_EQ(b.Call(CmdBoxParameters, 0xD0A0), Flow::kGoOn);
  EXPECT_EQ(b.c.box.lineSelector, 0);
  EXPECT_EQ(b.c.box.gap, 12960);

  HandlerPass c(s, {D(2), kComma, D(0), kPoint, D(5), kClose});  // 5 pt
  EXPECT_EQ(c.Call(CmdBoxParameters, 0xD0A0), Flow::kGoOn);
  EXPECT_EQ(c.c.box.lineSelector, 2);
  EXPECT_EQ(c.c.box.gap, 5 * 12960);
}

TEST(NumberValues, OutliveTheJobThatSetThem) {
  Session s;
  RunWords(s, {0xD003, 0xD037, D(1), kComma, D(2), kComma, D(3), kComma, D(4), kComma, D(5), kComma, D(6), kClose});
  std::string second = RunWords(s, {0xD003, 0xD037, D(9), kClose}).output;
  EXPECT_EQ(second, Sjis("<WAR \"ノンブル(変数)，値(9)，値(2)，値(3)，値(4)，値(5)，値(6)\">"));
  EXPECT_EQ(s.numberValues[0], 9);
  EXPECT_EQ(s.numberValues[5], 6);
}

TEST(FillRule, LeavesACommandPendingWhenNothingIsWritten) {
  Session s;
  HandlerPass p(s, {0xD009});
  EXPECT_EQ(p.Call(CmdFillRule, 0xD01E), Flow::kGoOn);
  EXPECT_EQ(p.output(), "");
  EXPECT_EQ(p.c.stream.current(), 0xD009);
  EXPECT_TRUE(p.c.stream.pending());

  HandlerPass q(s, {0x4521, 0x4522});
  EXPECT_EQ(q.Call(CmdFillRule, 0xD01E), Flow::kGoOn);
  EXPECT_FALSE(q.c.stream.pending());  // a character is dropped
  EXPECT_EQ(q.Next(), 0x4522);
}

TEST(FillRule, TheLongestTagIsWrittenWhole) {
  // Both names as long as a line of the definition file lets them be (259
  // bytes with the key), behind the bell, the em and a thickness digit.
  const std::string thickness(257, 't'), type(254, 'y');
  Session s;
  HandlerPass p(s, {kBell, kTagEm, D(3)});
  p.c.definitions.OpenFromMemory(Sjis("<罫線太さ>\r\n3=") + thickness + Sjis("\r\n<フィル罫>\r\nd00a=") + type +
                                 "\r\n");
  EXPECT_EQ(p.Call(CmdFillRule, 0xD01E), Flow::kGoOn);
  EXPECT_EQ(p.output(), "<FIL line=" + thickness + " aki=30em type=" + type + ">");
}

}  // namespace
}  // namespace velkan::test
