// Inline structures against a current size set directly: the size branches
// of the TAYO tag in both directions, the scopes they open and the
// parameters a job starts with.
#include "commands/inline_structures.h"

#include <gtest/gtest.h>

#include <climits>

#include "commands/pass_fixture.h"
#include "support/memory_pass.h"
#include "typo/definition_file.h"
#include "typo/typo_literals.h"

namespace velkan::test {
namespace {

constexpr uint16_t kOpen = 0xD003;
constexpr uint16_t kClose = 0xD004;
constexpr uint16_t kTayo = 0xD061;

// The TAYO tag written after the parameters `params` (h,w,aki) at a current
// height and width, in the given direction.
std::string TayoTag(const std::string& params, int16_t height, int16_t width, int direction) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD05A}, Args(params), {kClose, kTayo}, Args("00")}), direction);
  // The size is already in force: no size tag of its own is written.
  pass.c().typo.height = pass.c().emitted.height = height;
  pass.c().typo.width = pass.c().emitted.width = width;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  return pass.output();
}

TEST(TayoTag, SizeEqualToTheCurrentOneIsLeftOut) {
  // 8 by 6 units against a current height 8 and width 6.
  EXPECT_EQ(TayoTag("8,6,0", 32, 24, 0), "<TAYO>");
  // In vertical composition the output's height is the width: both differ.
  EXPECT_EQ(TayoTag("8,6,0", 32, 24, 1), "<TAYO h=8pt w=6pt>");
  // 6 by 8 is the current size turned: the same in vertical composition.
  EXPECT_EQ(TayoTag("6,8,0", 32, 24, 1), "<TAYO>");
  EXPECT_EQ(TayoTag("6,8,0", 32, 24, 0), "<TAYO h=6pt w=8pt>");
}

TEST(TayoTag, EqualHeightAndWidthAreWrittenAsSize) {
  EXPECT_EQ(TayoTag("6,6,0", 32, 24, 0), "<TAYO size=6pt>");
  EXPECT_EQ(TayoTag("6,6,0", 32, 24, 1), "<TAYO size=6pt>");
  EXPECT_EQ(TayoTag("8,8,0", 32, 32, 1), "<TAYO>");
}

TEST(TayoTag, OnlyTheDifferingSideIsWritten) {
  EXPECT_EQ(TayoTag("10,6,0", 32, 24, 0), "<TAYO h=10pt>");
  EXPECT_EQ(TayoTag("10,6,0", 24, 32, 1), "<TAYO h=10pt>");
  EXPECT_EQ(TayoTag("8,10,0", 32, 24, 0), "<TAYO w=10pt>");
  EXPECT_EQ(TayoTag("8,10,0", 24, 32, 1), "<TAYO w=10pt>");
}

TEST(TayoTag, EdgeCaseOfTheHalfSizeWithNegativeSpacing) {
  EXPECT_EQ(TayoTag("12,12,26", 32, 32, 0), "<TAYO size=12pt aki=-1pt>");
}

TEST(TayoScope, CountIsTheDigitsReadAndKindTheTayoKind) {
  Session session;
  MemoryPass pass(session, Join({{kTayo}, Args("12")}));
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(session.scopeCountdown, 12);
  EXPECT_EQ(session.scopeKind, kScopeTayo);
}

TEST(TayoScope, ClosesAnOpenManualRubyBeforeTheTag) {
  Session session;
  MemoryPass pass(session, Join({{kTayo}, Args("01")}));
  pass.c().ruby.manual = 2;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output(), "</RUB><TAYO size=0.5moji>");
}

TEST(TayoParameters, AcceptedOnlyWithinTheSizeLimits) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD05A}, Args("4.5,186,25.25"), {0xD05A}, Args("4.25,8,1"), {kClose}}));
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.c().inlines.tayoHeight, 18);
  EXPECT_EQ(pass.c().inlines.tayoWidth, 744);
  EXPECT_EQ(pass.c().inlines.tayoAki, 101);
}

TEST(InlineStructures, InitJobClearsParametersAndFlags) {
  Session session;
  MemoryPass pass(session, {});
  pass.c().inlines = InlineStructures{48, 40, 3, 12960, 1, 2};
  InitJob(pass.c(), 0, 0, 0);
  const InlineStructures& in = pass.c().inlines;
  EXPECT_EQ(in.tayoHeight, 0);
  EXPECT_EQ(in.tayoWidth, 0);
  EXPECT_EQ(in.tayoAki, 0);
  EXPECT_EQ(in.emWidth, 0);
  EXPECT_EQ(in.wariOpen, 0);
  EXPECT_EQ(in.bunState, 0);
}

TEST(SuffixAndIndex, ScopeKindsFollowTheSelector) {
  for (auto [command, digit, kind] : {std::tuple{0xD046, "1", 11}, std::tuple{0xD046, "3", 13},
                                      std::tuple{0xD047, "1", 1}, std::tuple{0xD047, "3", 3}}) {
    Session session;
    MemoryPass pass(session, Join({{static_cast<uint16_t>(command)}, Args(digit)}));
    EXPECT_EQ(pass.Run(), Flow::kEndJob);
    EXPECT_EQ(session.scopeCountdown, 1);
    EXPECT_EQ(session.scopeKind, kind);
  }
}

TEST(SuffixAndIndex, OutOfRangeSelectorLeavesAnOpenScopeAlone) {
  Session session;
  session.scopeCountdown = 5;
  session.scopeKind = kScopeTayo;
  MemoryPass pass(session, Join({{0xD047}, Args("4")}));
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(session.scopeCountdown, 5);
  EXPECT_EQ(session.scopeKind, kScopeTayo);
}

// The longest tags, composed in buffers of fixed size: sizes, gaps, widths
// and a par value at their extremes, a thickness name of a whole line of the
// definition file; none of it may be cut.
TEST(InlineTags, TheLongestAreWrittenWhole) {
  Session s;
  HandlerPass p(s, {kClose, kClose, kClose, kClose});
  const std::string name(kMostDefinitionLine - 2, 'x');  // "0=" and the name fill the line
  p.c.definitions.OpenFromMemory("<" + std::string(lit::kSectionRuleThickness) + ">\n0=" + name + "\n");
  p.c.typo.height = INT16_MAX;
  p.c.typo.width = INT16_MAX;
  p.c.splitLine = SplitLineParameters{INT16_MIN, INT16_MAX, 4, INT16_MIN};
  EXPECT_EQ(p.Call(CmdWarichu, 0xD059), Flow::kGoOn);
  p.c.box = BoxParameters{0, INT32_MIN};
  EXPECT_EQ(p.Call(CmdFraction, 0xD08D), Flow::kGoOn);
  EXPECT_EQ(p.Call(CmdFraction, 0xD08D), Flow::kGoOn);
  p.c.inlines.tayoHeight = INT16_MIN;
  p.c.inlines.tayoWidth = INT16_MAX;
  p.c.inlines.tayoAki = INT16_MAX;
  p.c.stream.Keep(0xD061);
  EXPECT_EQ(CmdTayo(p.c), Flow::kGoOn);
  p.c.inlines.emWidth = INT32_MIN;
  EXPECT_EQ(p.Call(CmdEmSpace, 0xD0D4), Flow::kGoOn);
  EXPECT_EQ(p.output(), "<WARI h=-8192pt w=8191.75pt l=7/4moji par=-32768>"
                        "<BUN aki=-165701pt line=" + name + "><BUN2 aki=-165701pt line=" + name + ">"
                        "<TAYO h=-8192pt aki=-8166.75pt><em wid=-165701pt>");
}

}  // namespace
}  // namespace velkan::test
