// The character stage: which words it accepts, where it cuts runs for the
// counted scopes and the manual ruby, and what it writes between the runs.
#include "conversion/character_stage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion/character_output.h"
#include "support/memory_conversion.h"
#include "support/test_support.h"

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

// A base of the main pages and roman codes is swept and written as plain
// characters, in runs of its own, and one that may combine with what follows
// is held; it still ends at the first ruby character. The ruby's text, open
// after a placement, is never swept: a plain character closes it.
TEST(ManualRuby, RubyCharactersEndABaseOfPlainCharacters) {
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  job.lentRoom = 65536;
  Session s;
  const std::vector<uint16_t> words{0xD07E, 0x8121, 0x8122, 0xC521, 0xC622, 0x8123, 0xD07E, 0xC341, 0xC521,
                                    0xD07E, 0xD07E, 0xC721, 0xC521, 0xD07E, 0xD07E, 0x8121, 0xD081, 0x8122, 0xD009};
  EXPECT_EQ(Readable(RunWords(s, words, job).output),
            "<RUB>◆□<RUB2 mode=MANUAL>\\!ぁア</RUB>\\/■<RUB>\\&1<RUB2 mode=MANUAL>\\!ぁ</RUB>"
            "<RUB>\\/１<RUB2 mode=MANUAL>\\!ぁ</RUB><RUB>\\/◆<RUB2 mode=MANUAL><rb2></RUB>□\\r\\n\n");
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

// Fillers (0x0000, 0xD000) are dropped before the character stage sees a
// word, so they change nothing a job writes; but they stop the sweep that
// takes plain characters straight from the read block, so the same words
// then go through runs. A long random job over the sample tables, with
// combined characters and their partners, roman codes, invalid words and
// line ends, font changes and one-shot codes, must come out byte for byte
// the same either way, also across read blocks and the ends of full runs,
// and whether or not the output lends the room of its buffer.
std::vector<uint16_t> MixedCharacters(size_t count, uint32_t seed) {
  uint32_t x = seed;
  auto next = [&](uint32_t n) {
    x = x * 1664525u + 1013904223u;
    return (x >> 8) % n;
  };
  const std::vector<std::pair<uint16_t, uint16_t>> pools = {
      {0x8140, 0x81FF}, {0x8000, 0x9FFF}, {0x9650, 0x9800}, {0xC701, 0xC75F}, {0x8034, 0x803D},
      {0x96C0, 0x96C5}, {0x96E6, 0x96F5}, {0x9700, 0x9709}, {0x9714, 0x971D}, {0x9822, 0x982B},
      {0xC321, 0xC37E}, {0xC421, 0xC47E}, {0xC101, 0xC12F}, {0xC521, 0xC530}, {0xA480, 0xA481},
      {0x95B4, 0x95B4}, {0x95BE, 0x95BE}};
  std::vector<uint16_t> words;
  while (words.size() < count) {
    uint32_t pick = next(100);
    if (pick < 2) {
      words.push_back(0xD009);
    } else if (pick < 4) {
      // A font group, which closes the main-page route until a character of
      // the new font has been converted, or a one-shot code.
      words.insert(words.end(), {0xD003, 0xD02D, static_cast<uint16_t>(0xC341 + next(4)), 0xD004});
    } else if (pick < 5) {
      words.push_back(0xD093);
    } else if (pick < 40) {
      // A long stretch of kanji, to carry runs past their end.
      for (uint32_t n = next(600); n > 0; --n) words.push_back(static_cast<uint16_t>(0x8140 + next(0x60)));
    } else {
      const auto& [low, high] = pools[next(static_cast<uint32_t>(pools.size()))];
      words.push_back(static_cast<uint16_t>(low + next(high - low + 1u)));
    }
  }
  words.push_back(0xD009);
  return words;
}

TEST(PlainCharacterSweep, FillersAndTheOutputBufferChangeNothing) {
  MemoryJob job;
  job.root = VELKAN_SAMPLE_ROOT;
  for (uint32_t seed : {1u, 2u, 3u}) {
    std::vector<uint16_t> words = MixedCharacters(120000, seed);
    std::vector<uint16_t> everyOther, someZeros;
    uint32_t k = seed;
    for (uint16_t w : words) {
      everyOther.push_back(w);
      everyOther.push_back(0xD000);
      someZeros.push_back(w);
      k = k * 1103515245u + 12345u;
      if ((k >> 16) % 7 == 0) someZeros.push_back(0x0000);
    }
    Session a, b, c, d, e, f;
    std::string plain = RunWords(a, words, job).output;
    ASSERT_GT(plain.size(), words.size());
    EXPECT_NE(plain.find("<ZAN2 kumi="), std::string::npos);
    EXPECT_NE(plain.find("\\&"), std::string::npos);
    EXPECT_NE(plain.find("<J f=3>"), std::string::npos);
    std::string withFillers = RunWords(b, everyOther, job).output;
    std::string withZeros = RunWords(c, someZeros, job).output;
    ASSERT_EQ(plain.size(), withFillers.size()) << "seed " << seed;
    EXPECT_TRUE(plain == withFillers) << "seed " << seed;
    EXPECT_TRUE(plain == withZeros) << "seed " << seed;
    // Plain characters are composed in the room the output lends when there
    // is enough of it, on the stack when there is not.
    MemoryJob lending = job;
    lending.lentRoom = 65536;
    EXPECT_TRUE(plain == RunWords(d, words, lending).output) << "seed " << seed;
    lending.lentRoom = 500;
    EXPECT_TRUE(plain == RunWords(e, words, lending).output) << "seed " << seed;
    // Room for a separator and a character or two at a time.
    lending.lentRoom = 7;
    EXPECT_TRUE(plain == RunWords(f, words, lending).output) << "seed " << seed;
  }
}

}  // namespace
}  // namespace velkan::test
