// Indent commands: which field each sets, the selector words and the paths
// that leave the state unchanged.
#include "commands/indents.h"

#include <gtest/gtest.h>

#include "support/memory_pass.h"

namespace velkan::test {
namespace {

constexpr uint16_t kOpen = 0xD003;
constexpr uint16_t kClose = 0xD004;
constexpr uint16_t kLineEnd = 0xD009;

// Runs one parameter group made of `body` in a pt job, followed by a line end.
struct GroupRun {
  explicit GroupRun(const std::vector<uint16_t>& body, int unit = 0)
      : pass(session, Join({{kOpen}, body, {kClose, kLineEnd}}), 0, unit) {
    result = pass.Run();
  }
  Session session;
  MemoryPass pass;
  Flow result = Flow::kFail;
  const TypoState& typo() { return pass.c().typo; }
};

TEST(Indents, LengthWithSelectorSetsLeftOrRight) {
  GroupRun left(Join({{0xD02F}, Args("1.6"), {kSelectIndentLeft}, Args("2")}));
  EXPECT_EQ(left.result, Flow::kEndJob);
  EXPECT_EQ(left.typo().indentLeft, 233280);  // 18 pt
  EXPECT_EQ(left.typo().indentRight, 0);

  GroupRun right(Join({{0xD02F}, Args("1.6"), {kSelectIndentRight}, Args("0")}));
  EXPECT_EQ(right.typo().indentRight, 233280);
  EXPECT_EQ(right.typo().indentLeft, 0);
}

TEST(Indents, CharacterCountsUseTheCurrentPitchOrAnExplicitOne) {
  // Two characters of 8 pt, one and a half, and two at an explicit pitch of 10.
  GroupRun whole(Join({{0xD096}, Args("2"), {kSelectIndentLeft}, Args("1")}));
  EXPECT_EQ(whole.typo().indentLeft, 2 * 8 * 12960);
  GroupRun half(Join({{0xD096}, Args("1.5"), {kSelectIndentRight}, Args("1")}));
  EXPECT_EQ(half.typo().indentRight, 12 * 12960);
  GroupRun pitch(Join({{0xD096}, Args("2,10"), {kSelectIndentLeft}, Args("1")}));
  EXPECT_EQ(pitch.typo().indentLeft, 8 * 40 * 810);
}

TEST(Indents, MissingSelectorLeavesTheNextCommandToTheGroup) {
  // 0xD030 after the rejected indent still runs: the hanging indent set
  // before is cleared, and the left indent was never set.
  GroupRun r(Join({{0xD031}, Args("1"), {0xD02F}, Args("2"), {0xD030, 0xD02F}, Args("3"), {0xD0FF}, Args("1")}));
  EXPECT_EQ(r.result, Flow::kEndJob);
  EXPECT_EQ(r.typo().indentHanging, 0);
  EXPECT_EQ(r.typo().indentLeft, 0);
}

TEST(Indents, NegativeLengthOrLineCountChangesNothing) {
  // 15000 picas are beyond 32 bits of internal units and wrap to a negative
  // length.
  GroupRun length(Join({{0xD02F}, Args("15000"), {kSelectIndentLeft}, Args("1")}));
  EXPECT_EQ(length.result, Flow::kEndJob);
  EXPECT_EQ(length.typo().indentLeft, 0);
  GroupRun lines(Join({{0xD02F}, Args("2"), {kSelectIndentLeft}, Args("40000")}));
  EXPECT_EQ(lines.typo().indentLeft, 0);
}

TEST(Indents, HangingAndFirstLineIndents) {
  GroupRun r(Join({{0xD031}, Args("0.10"), {0xD032}, Args("1"), {0xD097}, Args("1"), {0xD098}, Args("0.5")}));
  EXPECT_EQ(r.typo().indentHanging, 8 * 12960);  // one character replaces 10 pt
  EXPECT_EQ(r.typo().indentStart, 4 * 12960);    // half a character replaces 12 pt
}

TEST(Indents, ResetKeepsTheFirstLineIndent) {
  GroupRun r(Join({{0xD02F}, Args("1"), {kSelectIndentLeft}, Args("1"), {0xD02F}, Args("1"), {kSelectIndentRight},
                   Args("1"), {0xD031}, Args("1"), {0xD032}, Args("1"), {0xD030}}));
  EXPECT_EQ(r.typo().indentLeft, 0);
  EXPECT_EQ(r.typo().indentRight, 0);
  EXPECT_EQ(r.typo().indentHanging, 0);
  EXPECT_EQ(r.typo().indentStart, 12 * 12960);
}

TEST(Indents, PercentageIndentIsOnlyReported) {
  GroupRun r(Join({{0xD0D9}, Args("50"), {kSelectIndentLeft}, Args("2")}));
  EXPECT_EQ(r.typo().indentLeft, 0);
  EXPECT_NE(r.pass.output().find("65.98"), std::string::npos);
}

TEST(Indents, PositionIndentWithSelectorPassesSilently) {
  GroupRun r(Join({{0xD033, kSelectIndentRight}, Args("3")}));
  EXPECT_EQ(r.result, Flow::kEndJob);
  EXPECT_EQ(r.pass.output(), "");  // no warning (the line end at the start is suppressed)
}

}  // namespace
}  // namespace velkan::test
