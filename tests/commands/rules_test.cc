// Underline and rule settings as the group commands store them, and the two
// lengths derived from them.
#include "commands/rules.h"

#include <gtest/gtest.h>

#include "commands/pass_fixture.h"
#include "typo/typo_literals.h"

namespace velkan::test {
namespace {

constexpr uint16_t kComma = 0xC335;
constexpr uint16_t kPoint = 0xC334;
constexpr uint16_t kClose = 0xD004;

uint16_t D(int digit) { return static_cast<uint16_t>(0xC340 + digit); }

TEST(UnderlineSettings, StoresAllFourFieldsAndStopsAtTheGroupEnd) {
  Session s;
  // type 1, key 2, gap 0.6 (6 pt), kind 7
  HandlerPass p(s, {D(1), kComma, D(2), kComma, D(0), kPoint, D(6), kComma, D(7), kClose});
  EXPECT_EQ(p.Call(CmdUnderlineSettings, 0xD073), Flow::kGoOn);
  EXPECT_EQ(p.c.underline.type, 1);
  EXPECT_EQ(p.c.underline.thicknessKey, 2);
  EXPECT_EQ(p.c.underline.gap, 6 * 12960);
  EXPECT_EQ(p.c.underline.lineKind, 7);
  EXPECT_EQ(p.c.stream.current(), kClose);
}

TEST(UnderlineSettings, FieldsAfterAMissingCommaTakeTheirDefaults) {
  Session s;
  HandlerPass p(s, {D(2), kComma, D(3), kClose});
  p.c.underline = UnderlineSettings{4, 9, 0, 5};
  EXPECT_EQ(p.Call(CmdUnderlineSettings, 0xD073), Flow::kGoOn);
  EXPECT_EQ(p.c.underline.type, 2);
  EXPECT_EQ(p.c.underline.thicknessKey, 3);
  EXPECT_EQ(p.c.underline.gap, 12960);
  EXPECT_EQ(p.c.underline.lineKind, 0);
}

TEST(UnderlineSettings, AGapWithoutDigitsIsOneUnitInAQJob) {
  Session s;
  HandlerPass p(s, {D(0), kComma, D(0), kComma, kComma, D(3)}, /*unit=*/1);
  EXPECT_EQ(p.Call(CmdUnderlineSettings, 0xD073), Flow::kGoOn);
  EXPECT_EQ(p.c.underline.gap, 12960);
  EXPECT_EQ(p.c.underline.lineKind, 3);
}

// A command in the place of the ignored character word ends the arguments,
// so the group's closing word is not read past.
TEST(UnderlineSettings, TheIgnoredCharacterNeverPassesTheGroupEnd) {
  Session s;
  HandlerPass p(s, {D(1), kComma, D(0), kComma, D(1), kComma, D(0), kComma, D(1), kComma, kClose, 0x4521});
  EXPECT_EQ(p.Call(CmdUnderlineSettings, 0xD073), Flow::kGoOn);
  EXPECT_EQ(p.c.stream.current(), kClose);
  EXPECT_EQ(p.Next(), 0x4521);
}

TEST(RuleSettings, StoresKeyWidthAndSizeOrNothing) {
  Session s;
  HandlerPass p(s, {D(3), kComma, D(0), kPoint, D(2), kComma, D(1), kPoint, D(6), kClose});
  EXPECT_EQ(p.Call(CmdRuleSettings, 0xD09B), Flow::kGoOn);
  EXPECT_EQ(p.c.rules.thicknessKey, 3);
  EXPECT_EQ(p.c.rules.innerWidth, 2 * 12960);
  EXPECT_EQ(p.c.rules.enclosureSize, 18 * 12960);

  HandlerPass q(s, {D(5), kComma, D(4), kClose});
  q.c.rules = RuleSettings{1, 2, 3};
  EXPECT_EQ(q.Call(CmdRuleSettings, 0xD09B), Flow::kGoOn);
  EXPECT_EQ(q.c.rules.thicknessKey, 1);
  EXPECT_EQ(q.c.rules.innerWidth, 2);
  EXPECT_EQ(q.c.rules.enclosureSize, 3);
  EXPECT_EQ(q.c.stream.current(), kClose);
}

TEST(EnclosureMargin, IsHalfTheSizeLessTheHeight) {
  Session s;
  HandlerPass p(s, {});
  EXPECT_EQ(EnclosureMargin(p.c), 0);  // no enclosure size yet
  p.c.rules.enclosureSize = 18 * 12960;
  EXPECT_EQ(EnclosureMargin(p.c), 5 * 12960);  // height 8 units
  p.c.typo.height = 41;                        // 10.25 units
  EXPECT_EQ(EnclosureMargin(p.c), (18 * 12960 - 41 * 3240) / 2);
  p.c.rules.enclosureSize = 32 * 3240 - 3;  // just below the height
  p.c.typo.height = 32;
  EXPECT_EQ(EnclosureMargin(p.c), -1);  // halved toward zero
}

TEST(EnclosureMargin, AMarginBelowAHundredthIsLeftOut) {
  Session s;
  HandlerPass p(s, {});
  auto opening = [&p] {
    char tag[kMostEnclosureOpening];
    return std::string(tag, PutEnclosureOpening(p.c, tag));
  };
  p.c.rules.enclosureSize = 32 * 3240 + 258;  // margin 129 internal units
  EXPECT_EQ(opening(), "<MAKI>");
  p.c.rules.enclosureSize = 32 * 3240 + 2 * 1296;
  EXPECT_EQ(opening(), "<MAKI gaki=0.1pt>");
}

// The longest box: a thickness name of a whole line, the widest margin and
// inner width; composed in a buffer of fixed size, none of it may be cut.
TEST(EnclosureBox, TheLongestTagIsWrittenWhole) {
  Session s;
  HandlerPass p(s, {});
  const std::string name(kMostDefinitionLine - 2, 'x');  // "1=" and the name fill the line
  p.c.definitions.OpenFromMemory("<" + std::string(lit::kSectionRuleThickness) + ">\n1=" + name + "\n");
  p.c.rules = RuleSettings{1, INT32_MIN, INT32_MIN};
  p.c.typo.height = INT16_MAX;
  EXPECT_EQ(p.Call(CmdEnclosureBox, 0xD09C), Flow::kGoOn);
  EXPECT_EQ(p.output(), "<MAKI line=" + name + " gaki=-86946.3pt><em wid=-165701pt></MAKI>");
}

// The longest underline tags, composed in a buffer of fixed size: a gap at
// its extreme and names of a whole line of the definition file, for each
// kind of line; none of it may be cut.
TEST(UnderlineMark, TheLongestTagsAreWrittenWhole) {
  Session s;
  HandlerPass p(s, {});
  const std::string name(kMostDefinitionLine - 2, 'x');  // "1=" and the name fill the line
  const std::string kind(kMostDefinitionLine - 2, 'y');
  p.c.definitions.OpenFromMemory("<" + std::string(lit::kSectionRuleThickness) + ">\n1=" + name + "\n<" +
                                 std::string(lit::kSectionRuleKind) + ">\n1=" + kind + "\n7=" + kind + "\n");
  std::string expected;
  for (int16_t lineKind : {0, 1, 7}) {
    p.c.underline = UnderlineSettings{2, 1, INT32_MIN, lineKind};
    EXPECT_EQ(p.Call(CmdUnderlineMark, 0xD072), Flow::kGoOn);
    EXPECT_EQ(p.Call(CmdUnderlineMark, 0xD072), Flow::kGoOn);
  }
  p.c.underline = UnderlineSettings{4, 1, INT32_MAX, 95};  // shade 100 %
  std::string shade = lit::kTagUnderlineShade;
  shade.replace(shade.find("%d"), 2, "100");
  EXPECT_EQ(p.Call(CmdUnderlineMark, 0xD072), Flow::kGoOn);
  EXPECT_EQ(p.output(), "<UL5 aki=-165701pt line=" + name + "></UL5><UL5 aki=-165701pt line=" + kind +
                            std::string(lit::kTagUnderlineKindOneTail) + "></UL5><UL5 aki=-165701pt type=" + kind +
                            "></UL5><UL3" + std::string(lit::kTagUnderlineSolidHead) + "165701pt" + shade + ">");
}

TEST(EnclosureMargin, ExtremeSizesDoNotOverflow) {
  Session s;
  HandlerPass p(s, {});
  p.c.rules.enclosureSize = INT32_MIN;
  p.c.typo.height = INT16_MAX;
  EXPECT_EQ(EnclosureMargin(p.c), (int64_t{INT32_MIN} - int64_t{INT16_MAX} * 3240) / 2);
  p.c.underline.gap = INT32_MAX;
  EXPECT_EQ(UnderlineRuleWidth(p.c), INT32_MAX);
}

TEST(UnderlineRuleWidth, IsTheHeightPlusTwiceTheGap) {
  Session s;
  HandlerPass p(s, {});
  EXPECT_EQ(UnderlineRuleWidth(p.c), 10 * 12960);  // 8 + 2 x 1
  p.c.typo.height = 40;
  p.c.underline.gap = 6480;
  EXPECT_EQ(UnderlineRuleWidth(p.c), 11 * 12960);
}

TEST(InitJob, ResetsTheRuleStateOfAPass) {
  Session s;
  HandlerPass p(s, {});
  p.c.underline = UnderlineSettings{3, 4, 5, 6};
  p.c.underlineOpen = 1;
  p.c.rules = RuleSettings{1, 2, 3};
  p.c.rawTagOpen = 1;
  p.c.splitLine = SplitLineParameters{1, 2, 3, 4};
  p.c.box = BoxParameters{1, 2};
  InitJob(p.c, 0, 0, 0);
  EXPECT_EQ(p.c.underline.type, 0);
  EXPECT_EQ(p.c.underline.thicknessKey, 0);
  EXPECT_EQ(p.c.underline.gap, 12960);
  EXPECT_EQ(p.c.underline.lineKind, 0);
  EXPECT_EQ(p.c.underlineOpen, 0);
  EXPECT_EQ(p.c.rules.enclosureSize, 0);
  EXPECT_EQ(p.c.rules.thicknessKey, 0);
  EXPECT_EQ(p.c.rawTagOpen, 0);
  EXPECT_EQ(p.c.splitLine.firstSize, 0);
  EXPECT_EQ(p.c.box.gap, 0);
}

}  // namespace
}  // namespace velkan::test
