#include "conversion/character_output.h"

#include <gtest/gtest.h>

#include <memory>

#include "conversion/conversion.h"
#include "engine/pass.h"
#include "support/test_support.h"
#include "tables/table_files.h"

namespace velkan {
namespace {

using test::PairBytes;
using test::Sjis;
using test::TempDir;

// Characters of each class and what they write alone.
struct ClassSample {
  int16_t cls;
  uint16_t word;
  const char* text;  // UTF-8
};
const ClassSample kSamples[] = {
    {1, 0x8001, "亜"},
    {2, 0xC341, "a"},
    {3, 0xC330, "0"},
    {4, 0xC441, "b"},
    {5, 0xC431, "1"},
    {6, 0xC501, "■"},
    {7, 0xC102, "2"},
};

class CharacterOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteCodeTables(dir, "root",
                          {
                              {0x95B4, 0x8740}, {0x95BE, 0x8741},                    // kumi marks
                              {0xA001, 0x81A0}, {0xA301, 0x81A1}, {0xA003, 0x0041},  // direct
                              {0xA201, 0x8250}, {0xA202, 0x8260},                    // '0', 'A'
                              {0xB001, 0x81A2}, {0xB201, 0x8251}, {0xB202, 0x8260},
                              {0xC102, 0x8252}, {0xC10B, 0x8253}, {0xC103, 0x8260},
                              {0xC341, 0x8281}, {0xC330, 0x8250}, {0xC33C, 0x8183}, {0xC33E, 0x8184},
                              {0xC35C, 0x818F}, {0xC343, 0x889F},                    // 0xC343: no single byte
                              {0xC441, 0x8282}, {0xC431, 0x8251},
                              {0xC501, 0x81A1}, {0xC601, 0x81A0},
                              {0xC701, 0x8251}, {0x8034, 0x8252}, {0x96C5, 0x8253},
                              {0xC710, 0x8251}, {0xC720, 0x8252}, {0x96E6, 0x8253}, {0x96F5, 0x8254},
                              {0xC731, 0x8251}, {0x9701, 0x8252}, {0x9702, 0x889F},
                              {0xC741, 0x8253}, {0x9714, 0x8254},
                              {0xC750, 0x8255}, {0x9822, 0x8256},
                          },
                          {
                              {0x8250, '0'}, {0x8251, '1'}, {0x8252, '2'}, {0x8253, '3'}, {0x8254, '4'},
                              {0x8255, '5'}, {0x8256, '6'}, {0x8260, 'A'}, {0x8281, 'a'}, {0x8282, 'b'},
                              {0x8183, '<'}, {0x8184, '>'}, {0x818F, '\\'}, {0x889F, 0x00},
                          });
    dir.Write("root/qdxfiles/conv00.tbl", PairBytes({
                                              {0x8001, 0x3021},  // 亜
                                              {0x0041, 0x2341},  // Ａ
                                              {0x8002, 0xA521},  // typed
                                              {0x8003, 0x21A1},  // code tag
                                              {0x8004, 0xB221},  // ruby warning
                                              {0x8006, 0xA221},  // code tag
                                              {0x8007, 0x7F21},  // nothing fits
                                              {0xC731, 0x217B},  // ○ as a whole
                                              {0xC343, 0x2361},  // ａ
                                          }));
    dir.Write("root/qdxfiles/conv021.tbl", "");
    dir.Write("root/qdxfiles/conv022.tbl", "");
    dir.Write("root/qdxfiles/convpi.tbl", "");
    dir.Write("root/qdxfiles/fntinf.fil", "heading\r\n");
    dir.Write("root/qdxfiles/convura.tbl", PairBytes({{0x8001, 0x2477}}));
    std::string pitch(1024 + 2 * 256, '\0');
    pitch[2 + 1] = 1;      // font 1: block 1
    pitch[2 + 3] = 2;      // font 3: block 2
    pitch[4 * 256 + 0x42] = 25;
    pitch[4 * 256 + 0x80 + 0x42] = 30;
    pitch[5 * 256 + 0x42] = static_cast<char>(-5);
    dir.Write("root/QDXFILES/pitfile.fil", pitch);
  }

  // Starts a pass with the tables of the root, as they are now.
  void StartPass(int direction = 0, int warnings = 0) {
    pass.reset();
    tables = std::make_unique<test::LoadedTables>(dir.path() / "root");
    pass = std::make_unique<Pass>(session, PassSettings{direction, 0, warnings}, *tables, source, sink);
    conv = &pass->conversion();
  }

  void Start(int direction = 0, int warnings = 0) {
    StartPass(direction, warnings);
    ASSERT_EQ(tables->fonts.prepareResult, 0) << tables->fonts.prepareFailure.Text();
    ASSERT_FALSE(tables->faults.codes) << tables->faults.codes->Text();
    ASSERT_FALSE(tables->faults.pitch) << tables->faults.pitch->Text();
  }

  // Writes one run and returns what it wrote.
  std::string Run(std::vector<uint16_t> words, int16_t font = 1) {
    size_t before = sink.data().size();
    words.push_back(0);
    WriteCharacterRun(*conv, words.data(), session.settings.direction, font);
    return sink.data().substr(before);
  }

  TempDir dir;
  Session session;
  MemorySource source{""};
  MemorySink sink;
  std::unique_ptr<test::LoadedTables> tables;
  std::unique_ptr<Pass> pass;
  Conversion* conv = nullptr;
};

TEST_F(CharacterOutputTest, ShiftJisCharactersFromTheConvertRoute) {
  Start();
  EXPECT_EQ(Run({0x8001, 0x0041, 0x8001}), Sjis("亜Ａ亜"));
  EXPECT_EQ(conv->chars.charClass, 1);
}

// The character stage hands over at most 255 words; a run at that length,
// and even a longer one handed over by another caller, is written whole and
// in order, never past the output buffer.
TEST_F(CharacterOutputTest, RunsAtAndBeyondTheRunLimitAreWrittenWhole) {
  Start();
  for (size_t n : {254u, 255u, 256u, 1500u}) {
    SCOPED_TRACE(n);
    std::vector<uint16_t> words(n, 0x8001);
    words.push_back(0xC501);  // a character of page C5 after them (class 6)
    words.push_back(0x8001);
    std::string want;
    for (size_t i = 0; i < n; ++i) want += Sjis("亜");
    want += "\\!" + Sjis("■") + "\\/" + Sjis("亜");
    EXPECT_EQ(Run(words), want);
  }
}

TEST_F(CharacterOutputTest, CodeFormsOfConvertedCodesWithoutShiftJisForm) {
  Start();
  EXPECT_EQ(Run({0x8003}), "<ZAN2 code=21a1>");
  EXPECT_EQ(Run({0x8006}), "<ZAN2 code=a221>");
  EXPECT_EQ(Run({0x8002}), "<ZAN2 type= code=a521 wid=108>");  // no page type
  EXPECT_EQ(Run({0x8004}), Sjis("<WAR \"ルビ，b221\">"));
  EXPECT_EQ(Run({0x8007}), Sjis("<WAR \"不正文字，32775\">"));
  EXPECT_EQ(Run({0x8005}), Sjis("<WAR \"不正文字，32773\">"));  // converts to 0
}

TEST_F(CharacterOutputTest, CodePagesAreWrittenAsTheirOwnCodes) {
  Start();
  EXPECT_EQ(Run({0x45A1, 0x7EFE, 0x2101 + 0x4000}), "<ZAN2 code=45a1><ZAN2 code=7efe>" + Sjis("<WAR \"不正文字，24833\">"));
  EXPECT_EQ(Run({0x4521}), Sjis("<WAR \"不正文字，17697\">"));
}

TEST_F(CharacterOutputTest, PagesThatAreNoCharacters) {
  Start();
  EXPECT_EQ(Run({0x1005, 0x2000, 0x3FFF, 0xD001, 0xE000, 0xFFFF}),
            Sjis("<WAR \"不正文字，4101\"><WAR \"不正文字，8192\"><WAR \"不正文字，16383\">"
                 "<WAR \"不正文字，53249\"><WAR \"不正文字，57344\"><WAR \"不正文字，65535\">"));
}

TEST_F(CharacterOutputTest, ArrowPages) {
  Start();
  EXPECT_EQ(Run({0xA001, 0xA301, 0xB001}), Sjis("□■△"));           // direct
  EXPECT_EQ(Run({0xA201, 0xB201}), "01");                           // digit-like single bytes
  EXPECT_EQ(Run({0xA202}), Sjis("<ZAN2 type=→ code=0000 wid=54>"));  // 'A' is not digit-like
  EXPECT_EQ(Run({0xB202}), Sjis("<ZAN2 type=← code=0000 wid=54>"));
  EXPECT_EQ(Run({0xA002, 0xA101}), Sjis("<ZAN2 type=→ code=0000 wid=108><ZAN2 type=→ code=0000 wid=108>"));
  EXPECT_EQ(Run({0xB101}), Sjis("<WAR \"不正文字，45313\">"));  // page 0xB1 has no typed form
  EXPECT_EQ(Run({0xB002}), Sjis("<ZAN2 type=← code=0000 wid=108>"));
}

TEST_F(CharacterOutputTest, CrossPages) {
  Start();
  EXPECT_EQ(Run({0xC001}), Sjis("<ZAN2 type=× code=0000 wid=108>"));
  EXPECT_EQ(Run({0xC103}), Sjis("<ZAN2 type=× code=0000 wid=54>"));  // 'A' is not digit-like
  EXPECT_EQ(Run({0xC201}), Sjis("<ZAN2 type=× code=0000 wid=36>"));
  EXPECT_EQ(Run({0xC702}), Sjis("<WAR \"不正文字，50946\">"));
  EXPECT_EQ(Run({0xC801, 0xC080}), Sjis("<WAR \"不正文字，51201\"><ZAN2 type= code=0000 wid=108>"));
}

TEST_F(CharacterOutputTest, SingleBytesAreEscapedWhenTheyMeanSomething) {
  Start();
  EXPECT_EQ(Run({0xC33C, 0xC33E, 0xC35C}), "\\<\\>\\\\");
}

TEST_F(CharacterOutputTest, DirectionDecidesTheFirstElevenOfPageC1) {
  Start(1);
  EXPECT_EQ(Run({0xC102}), Sjis("<ZAN2 type=× code=0000 wid=54>"));
  EXPECT_EQ(Run({0xC10B}), "3");  // beyond 0xC10A vertical composition keeps the single byte
}

TEST_F(CharacterOutputTest, HorizontalPageC1DigitsAreSingleBytes) {
  Start(0);
  EXPECT_EQ(Run({0xC102, 0xC10B}), "23");
  EXPECT_EQ(conv->chars.charClass, 7);
}

TEST_F(CharacterOutputTest, RomanWithoutSingleByteTakesTwiceThePitchWidth) {
  Start();
  EXPECT_EQ(Run({0xC342}), "<ZAN2 type=abc code=0000 wid=50>");
  EXPECT_EQ(Run({0xC442}), "\\\"<ZAN2 type=abc code=0000 wid=60>");  // class 4 after 2
  EXPECT_EQ(Run({0xC342}, 3), "\\/<ZAN2 type=abc code=0000 wid=-10>");
  EXPECT_EQ(Run({0xC342}, 41), "<ZAN2 type=abc code=0000 wid=108>");  // font 41 has no widths
  EXPECT_EQ(Run({0xC342}, 2), Sjis("〓"));  // font 2 shifts 0 to 0x2000, the geta mark
  EXPECT_EQ(Run({0xC343}), Sjis("ａ"));  // a Shift-JIS conversion wins over the tag
}

TEST_F(CharacterOutputTest, DirectWritesOnlyTheBytesOfATableCode) {
  Start();
  EXPECT_EQ(Run({0xA003}), "A");
}

TEST_F(CharacterOutputTest, PagesC5AndC6) {
  Start();
  EXPECT_EQ(Run({0xC501, 0xC601}), "\\!" + Sjis("■□"));
  EXPECT_EQ(Run({0xC502}), Sjis("<WAR \"不正文字，50434\">"));
  EXPECT_EQ(Run({0x8001}), "\\/" + Sjis("亜"));
}

TEST_F(CharacterOutputTest, SeparatorsBetweenEveryPairOfClasses) {
  // Written between a character of class `prev` (rows) and one of class
  // `now` (columns 1-7); row 0 is the start of the job.
  const char* kSeparators[8][7] = {
      /* 0 */ {"", "", "\\&", "\\\"", "\\\"\\&", "\\!", ""},
      /* 1 */ {"", "", "\\&", "\\\"", "\\\"\\&", "\\!", ""},
      /* 2 */ {"", "", "\\&", "\\\"", "\\\"\\&", "\\!", ""},
      /* 3 */ {"", "", "", "\\\"", "\\\"\\&", "\\!", "\\/"},
      /* 4 */ {"", "\\/", "\\/\\&", "", "\\&", "\\!", "\\/"},
      /* 5 */ {"", "\\/", "\\/\\&", "", "", "\\!", "\\/"},
      /* 6 */ {"\\/", "\\/", "\\/\\&", "\\\"", "\\\"\\&", "", "\\/"},
      /* 7 */ {"", "", "\\&", "\\\"", "\\\"\\&", "\\!", ""},
  };
  for (int prev = 0; prev <= 7; ++prev) {
    for (const ClassSample& now : kSamples) {
      SCOPED_TRACE("class " + std::to_string(now.cls) + " after " + std::to_string(prev));
      Start();
      if (prev > 0) Run({kSamples[prev - 1].word});
      EXPECT_EQ(Run({now.word}), kSeparators[prev][now.cls - 1] + Sjis(now.text));
      EXPECT_EQ(conv->chars.charClass, now.cls);
    }
  }
}

TEST_F(CharacterOutputTest, KumiOfWholeCharacters) {
  Start();
  EXPECT_EQ(Run({0x95B4, 0x95BE}), Sjis("<ZAN2 kumi=\"○10\"><ZAN2 kumi=\"P10\">"));
  EXPECT_EQ(Run({0x95B5}), Sjis("<WAR \"不正文字，38325\">"));
}

TEST_F(CharacterOutputTest, KumiRulesTakeTheFollowingCharacters) {
  Start();
  EXPECT_EQ(Run({0xC731, 0x9701, 0x8001}), Sjis("<ZAN2 kumi=\"○12\">亜"));
  EXPECT_EQ(Run({0xC741, 0x9714}), Sjis("<ZAN2 kumi=\"P34\">"));
  EXPECT_EQ(Run({0xC750, 0x9822}), Sjis("<ZAN2 kumi=\"●56\">"));
  EXPECT_EQ(Run({0xC701, 0x8034}), "<ZAN2 kumi=\"12\">");
  EXPECT_EQ(Run({0xC701, 0x96C5}), "<ZAN2 kumi=\"13\">");
  EXPECT_EQ(Run({0xC710, 0xC720, 0x96E6}), "<ZAN2 kumi=\"123\">");
  EXPECT_EQ(Run({0xC710, 0xC720, 0x96F5, 0xC710, 0xC720, 0x96E6}), "<ZAN2 kumi=\"124\"><ZAN2 kumi=\"123\">");
}

TEST_F(CharacterOutputTest, KumiRuleThatFailsConvertsTheCharacter) {
  Start();
  // Last of its run: the rule finds 0 behind it.
  EXPECT_EQ(Run({0xC731}), Sjis("○"));
  // The next character has no single-byte form, or lies outside the range.
  EXPECT_EQ(Run({0xC731, 0x9702}), Sjis("○<WAR \"不正文字，38658\">"));
  EXPECT_EQ(Run({0xC731, 0x970A}), Sjis("○<WAR \"不正文字，38666\">"));
  // Three-character rule with its third character missing.
  EXPECT_EQ(Run({0xC710, 0xC720}), Sjis("<WAR \"不正文字，50960\"><WAR \"不正文字，50976\">"));
}

TEST_F(CharacterOutputTest, OneShotCodeTagUsesTheRubyFont) {
  Start();
  Run({0xC501});
  conv->chars.oneShotCode = 1;
  EXPECT_EQ(Run({0x8001, 0x8001}), "\\/<ZAN2 code=2477>" + Sjis("亜"));
  EXPECT_EQ(conv->chars.oneShotCode, 0);
  conv->chars.oneShotCode = 1;
  EXPECT_EQ(Run({0x45A1}), "<ZAN2 code=222e>");  // any code: the ruby table has no entry
}

TEST_F(CharacterOutputTest, WarningsOffWriteNothingForBadCharacters) {
  Start(0, 1);
  EXPECT_EQ(Run({0x4521, 0x8001, 0x8004}), Sjis("亜"));
}

TEST_F(CharacterOutputTest, WithoutFontTablesCharactersKeepTheirCodeForms) {
  // Without the base code file (and without the pitch file, so that a
  // roman character's width is the default).
  std::filesystem::remove(dir.path() / "root/qdxfiles/conv00.tbl");
  std::filesystem::remove(dir.path() / "root/QDXFILES/pitfile.fil");
  StartPass();
  EXPECT_EQ(tables->fonts.prepareResult, kCodeFileMissing);
  ASSERT_FALSE(tables->faults.codes);
  EXPECT_EQ(Run({0x8001, 0xA001, 0xC342}),
            Sjis("<WAR \"不正文字，32769\">□<ZAN2 type=abc code=0000 wid=108>"));
}

}  // namespace
}  // namespace velkan
