// The character stage: which words it accepts, where it cuts runs for the
// counted scopes and the manual ruby, and what it writes between the runs.
#include "typo/character_stage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/memory_conversion.h"
#include "support/test_support.h"
#include "tables/character_output.h"

namespace velkan::test {
namespace {

TEST(IsValidCharacter, ClassBounds) {
  EXPECT_TRUE(IsValidCharacter(0x0001));
  EXPECT_TRUE(IsValidCharacter(0x07FF));
  EXPECT_FALSE(IsValidCharacter(0x0800));
  EXPECT_FALSE(IsValidCharacter(0x0FFF));
  EXPECT_FALSE(IsValidCharacter(0x1000));
  EXPECT_FALSE(IsValidCharacter(0x3FFF));
  EXPECT_TRUE(IsValidCharacter(0x4000));
  EXPECT_TRUE(IsValidCharacter(0x9FFF));
  EXPECT_TRUE(IsValidCharacter(0xA07F));
  EXPECT_TRUE(IsValidCharacter(0xA37F));
  EXPECT_FALSE(IsValidCharacter(0xA380));
  EXPECT_FALSE(IsValidCharacter(0xA47F));
  EXPECT_TRUE(IsValidCharacter(0xB27F));
  EXPECT_FALSE(IsValidCharacter(0xB2FF));
  EXPECT_FALSE(IsValidCharacter(0xB300));
  EXPECT_TRUE(IsValidCharacter(0xC521));
  EXPECT_TRUE(IsValidCharacter(0xC97F));
  EXPECT_FALSE(IsValidCharacter(0xC980));
  EXPECT_FALSE(IsValidCharacter(0xCA00));
  EXPECT_FALSE(IsValidCharacter(0xE000));
  EXPECT_FALSE(IsValidCharacter(0xFFFF));
}

// Counted scopes are opened by the inline-structure commands; here the
// session is given an open scope directly.
std::string RunWithScope(Session& s, int16_t count, int16_t kind, const std::vector<uint16_t>& words) {
  s.scopeCountdown = count;
  s.scopeKind = kind;
  return RunWords(s, words).output;
}

TEST(CountedScope, ClosesAfterItsLastCharacterInsideARun) {
  Session s;
  EXPECT_EQ(RunWithScope(s, 2, 30, {0x45A1, 0x45A2, 0x45A3, 0xD009}),
            "<ZAN2 code=45a1><ZAN2 code=45a2></TAYO><ZAN2 code=45a3>\r\n");
  EXPECT_EQ(s.scopeCountdown, 0);
}

TEST(CountedScope, EachKindHasItsClosingTag) {
  const struct {
    int16_t kind;
    const char* tag;
  } kinds[] = {{1, "</IDX3>"},  {2, "</IDX1>"},  {3, "</IDX2>"},  {11, "</SFX3>"}, {12, "</SFX1>"},
               {13, "</SFX2>"}, {20, "</DIDX>"}, {30, "</TAYO>"}, {0, ""},        {5, ""}};
  for (const auto& k : kinds) {
    Session s;
    EXPECT_EQ(RunWithScope(s, 1, k.kind, {0x45A1, 0x45A2}),
              std::string("<ZAN2 code=45a1>") + k.tag + "<ZAN2 code=45a2>")
        << "kind " << k.kind;
    EXPECT_EQ(s.scopeCountdown, 0);
  }
}

TEST(CountedScope, CommandsBetweenDoNotCount) {
  Session s;
  // The scope is open before a command; it covers the character after it.
  EXPECT_EQ(RunWithScope(s, 1, 2, {0xD0DB, 0x45A1, 0x45A2}),
            Sjis("<WAR \"混植（始）\"><ZAN2 code=45a1></IDX1><ZAN2 code=45a2>"));
}

TEST(CountedScope, InvalidWordsDoNotCount) {
  Session s;
  EXPECT_EQ(RunWithScope(s, 2, 30, {0x45A1, 0x0800, 0x45A2, 0x45A3}),
            Sjis("<ZAN2 code=45a1><WAR \"不正文字，0800\"><ZAN2 code=45a2></TAYO><ZAN2 code=45a3>"));
}

TEST(CountedScope, StaysOpenAcrossJobsAndIsNotClosedAtTheEnd) {
  Session s;
  EXPECT_EQ(RunWithScope(s, 3, 30, {0x45A1, 0x45A2}), "<ZAN2 code=45a1><ZAN2 code=45a2>");
  EXPECT_EQ(s.scopeCountdown, 1);
  EXPECT_EQ(s.scopeKind, 30);
  EXPECT_EQ(RunWords(s, {0x45A3, 0x45A4}).output, "<ZAN2 code=45a3></TAYO><ZAN2 code=45a4>");
}

TEST(CountedScope, CutAtTheRunLimitStillClosesInPlace) {
  Session s;
  std::vector<uint16_t> words(300, 0x45A1);
  std::string out = RunWithScope(s, 260, 1, words);
  std::string one = "<ZAN2 code=45a1>";
  std::string want;
  for (int i = 0; i < 260; ++i) want += one;
  want += "</IDX3>";
  for (int i = 260; i < 300; ++i) want += one;
  EXPECT_EQ(out, want);
}

// The manual ruby switches on the ruby characters (pages 0xC5 and 0xC6).
// How those characters look is the character output's business; what the
// stage decides is where a run ends and which tag comes between the runs.
// So the expected output is built by handing the same runs, with the same
// tags between them, to the character output of a second pass.
class Expected {
 public:
  Expected& Run(std::vector<uint16_t> run) {
    run.push_back(0);
    WriteCharacterRun(m_.c, run.data(), 0, 1);
    return *this;
  }
  Expected& Text(const char* text) {
    m_.c.out.WriteText(text);
    return *this;
  }
  std::string str() const { return Readable(m_.output()); }

 private:
  MemoryConversion m_;
};

std::string Converted(const std::vector<uint16_t>& words) {
  Session s;
  return Readable(RunWords(s, words).output);
}

TEST(ManualRuby, RubyCharactersSwitchFromBaseToRubyText) {
  EXPECT_EQ(Converted({0xD07E, 0x45A1, 0x45A2, 0xC521, 0xC622, 0x45A3, 0xD009}),
            Expected()
                .Text("<RUB>")
                .Run({0x45A1, 0x45A2})
                .Text("<RUB2 mode=MANUAL>")
                .Run({0xC521, 0xC622})
                .Text("</RUB>")
                .Run({0x45A3})
                .Text("\r\n")
                .str());
}

TEST(ManualRuby, PlacementThenRubyCharactersThenEndMark) {
  EXPECT_EQ(Converted({0xD07E, 0x45A1, 0xD07F, 0xC521, 0xC522, 0xD07E}),
            Expected()
                .Text("<RUB>")
                .Run({0x45A1})
                .Text("<RUB2 mode=MANUAL><rd2>")
                .Run({0xC521, 0xC522})
                .Text("</RUB>")
                .str());
}

TEST(ManualRuby, AGroupBetweenRubyCharactersKeepsItOpen) {
  EXPECT_EQ(Converted({0xD07E, 0x45A1, 0xC521, 0xD003, 0xD052, 0xC341, 0xC340, 0xD004, 0xC522, 0x45A2}),
            Expected()
                .Text("<RUB>")
                .Run({0x45A1})
                .Text("<RUB2 mode=MANUAL>")
                .Run({0xC521})
                .Text("<J size=10pt>")
                .Run({0xC522})
                .Text("</RUB>")
                .Run({0x45A2})
                .str());
}

TEST(ManualRuby, RubyCharactersOutsideAManualRubyAreJustCharacters) {
  EXPECT_EQ(Converted({0x45A1, 0xC521, 0x45A2, 0xD009}),
            Expected().Run({0x45A1, 0xC521, 0x45A2}).Text("\r\n").str());
}

TEST(ManualRuby, LineEndClosesTheRubyText) {
  EXPECT_EQ(Converted({0xD07E, 0x45A1, 0xC521, 0xD009, 0x45A2}),
            Expected()
                .Text("<RUB>")
                .Run({0x45A1})
                .Text("<RUB2 mode=MANUAL>")
                .Run({0xC521})
                .Text("</RUB>\r\n")
                .Run({0x45A2})
                .str());
}

}  // namespace
}  // namespace velkan::test
