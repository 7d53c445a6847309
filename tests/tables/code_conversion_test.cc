#include "tables/code_conversion.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tables/shift_jis_rule.h"
#include "tables/table_files.h"

namespace velkan {
namespace {

using test::FontInfoFile;
using test::FontInfoLine;
using test::PairBytes;
using test::PiRecordBytes;
using test::TempDir;

TEST(ClassifyFontTest, EveryClass) {
  struct Row {
    int16_t font, kind, variant;
  } rows[] = {
      {801, 0, 51}, {806, 1, 51}, {839, 0, 51},                // ruby fonts
      {1, 0, 0},    {2, 1, 0},    {39, 0, 0},   {301, 0, 0},   {400, 1, 0},
      {401, 0, 0},  {600, 0, 0},  {601, 7, 0},  {800, 8, 0},   {901, 2, 0},   {939, 2, 0},
      {1301, 2, 22}, {1302, 3, 22}, {1601, 7, 23}, {1800, 8, 23},
      {227, 4, 41}, {228, 4, 42}, {229, 4, 43}, {230, 4, 44}, {231, 4, 41}, {300, 4, 42},
      {851, 4, 45}, {900, 4, 46}, {1227, 4, 49}, {1300, 4, 50}, {1851, 4, 53}, {1900, 4, 54},
      {221, 6, 0},  {224, 6, 0},  {40, 0, 0},   {200, 0, 0},   {840, 0, 0},   {850, 0, 0},
      {940, 0, 0},  {979, 0, 0},
  };
  for (const Row& r : rows) {
    FontClass fc = ClassifyFont(r.font, 9);
    EXPECT_EQ(fc.kind, r.kind) << "font " << r.font;
    EXPECT_EQ(fc.variant, r.variant) << "font " << r.font;
  }
  // Numbers outside every class keep the previous kind.
  for (int16_t f : {0, 201, 220, 225, 226, 980, 1000, 1226, 1401, 1600, 1801, 1850, 1901, -5}) {
    FontClass fc = ClassifyFont(f, 7);
    EXPECT_EQ(fc.kind, 7) << "font " << f;
    EXPECT_EQ(fc.variant, 0) << "font " << f;
  }
}

TEST(RangeTypeTest, FixedRows) {
  EXPECT_EQ(FixedRangeType(0x9654), 'a');
  EXPECT_EQ(FixedRangeType(0x9655), 0);
  EXPECT_EQ(FixedRangeType(0x9671), 'a');
  EXPECT_EQ(FixedRangeType(0x96AE), 'd');
  EXPECT_EQ(FixedRangeType(0x96AF), 'e');
  EXPECT_EQ(FixedRangeType(0x96B0), 'd');
  EXPECT_EQ(FixedRangeType(0x96B5), 'e');
  EXPECT_EQ(FixedRangeType(0x96B6), 'f');
  EXPECT_EQ(FixedRangeType(0x97FC), 'a');
  EXPECT_EQ(FixedRangeType(0xA07F), 'c');
  EXPECT_EQ(FixedRangeType(0xA080), 0);
  EXPECT_EQ(FixedRangeType(0xA100), 'b');
  EXPECT_EQ(FixedRangeType(0xA27F), 'b');
  EXPECT_EQ(FixedRangeType(0xA300), 'a');
  EXPECT_EQ(FixedRangeType(0xB17F), 'a');
  EXPECT_EQ(FixedRangeType(0xC67F), 'a');
  EXPECT_EQ(FixedRangeType(0xC700), 0);
}

class ConvertCodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("root/qdxfiles/conv00.tbl",
              PairBytes({{0x8001, 0x3021},
                         {0x9654, 0x2121},    // type a
                         {0x96AE, 0x2222},    // type d
                         {0x96AF, 0x2223},    // type e
                         {0x96B6, 0x4224},    // type f
                         {0xA100, 0x2330},    // type b
                         {0xA000, 0x2331},    // type c
                         {0x8005, 0xA521},    // type a by its conversion
                         {0x8006, 0x2000},    // becomes the geta mark
                         {0x8007, 0xC07E},    // type a: high byte 0xC0 is the last
                         {0x8008, 0xC121},    // no type
                         {0x0041, 0x2341}}));
    dir.Write("root/qdxfiles/conv021.tbl", PairBytes({{0xC341, 0x2341}, {0xC300, 0x0000}}));
    dir.Write("root/qdxfiles/conv022.tbl", PairBytes({{0xC341, 0x2361}}));
    dir.Write("root/qdxfiles/convpi.tbl", PiRecordBytes({{1, 0x1111, 0x2131}, {2047, 0, 0x2132}}));
    dir.Write("root/qdxfiles/fntinf.fil",
              FontInfoFile({FontInfoLine(1, 1), FontInfoLine(2, 5, 0, 5), FontInfoLine(3, 805, 0, 6)}));
    dir.Write("root/qdxfiles/conv05.tbl", PairBytes({{0x8001, 0x3055}}));
    dir.Write("root/qdxfiles/conv06.tbl", PairBytes({{0x8001, 0x3066}}));
    dir.Write("root/qdxfiles/convura.tbl", PairBytes({{0x8001, 0x2477}, {0x9654, 0x2130}, {0x96B6, 0x4130}}));
    ASSERT_EQ(PrepareFontTables(t, paths), 0);
  }
  uint16_t Convert(int16_t font, uint16_t code) { return ConvertCode(t, paths, font, code); }

  TempDir dir;
  TablePaths paths{dir.path() / "root", std::nullopt};
  FontTables t;
};

TEST_F(ConvertCodeTest, TableRouteWithoutShift) {
  EXPECT_EQ(Convert(1, 0x8001), 0x3021);
  EXPECT_EQ(Convert(1, 0x0041), 0x2341);
  EXPECT_EQ(Convert(1, 0x8009), 0);  // no entry
  EXPECT_EQ(Convert(1, 0x2345), 0);  // a page without a code table
  EXPECT_EQ(Convert(1, 0xE001), 0);
}

TEST_F(ConvertCodeTest, OddAndEvenFontsOfAPairShiftDifferently) {
  // Fonts 5 and 6 share group and overlay but are kinds 0 and 1.
  EXPECT_EQ(Convert(5, 0x9654), 0x2121);
  EXPECT_EQ(Convert(6, 0x9654), 0x4121);
  EXPECT_EQ(t.appliedOverlay, 5);
}

TEST_F(ConvertCodeTest, ShiftByKindAndRangeType) {
  struct Case {
    int16_t font;
    uint16_t code, want;
  } cases[] = {
      // kind 0: d and e up
      {1, 0x96AE, 0x4222}, {1, 0x96AF, 0x4223}, {1, 0x96B6, 0x4224}, {1, 0xA100, 0x2330}, {1, 0xA000, 0x2331},
      {1, 0x8005, 0xA521},
      // kind 1: a, b, c up, f down
      {2, 0x9654, 0x4121}, {2, 0xA100, 0x4330}, {2, 0xA000, 0x4331}, {2, 0x96AE, 0x2222}, {2, 0x96AF, 0x2223},
      {2, 0x96B6, 0x2224}, {2, 0x8005, 0xC521}, {2, 0x8007, 0xE07E}, {2, 0x8008, 0xC121},
      // kind 2 (901): a, b, c up
      {901, 0x9654, 0x4121}, {901, 0xA000, 0x4331}, {901, 0x96AE, 0x2222}, {901, 0x96B6, 0x4224},
      // kind 3 (902): d up only
      {902, 0x96AE, 0x4222}, {902, 0x96AF, 0x2223}, {902, 0x9654, 0x2121}, {902, 0xA100, 0x2330},
      // kinds 7 and 8: b, c up, f down
      {601, 0xA100, 0x4330}, {601, 0xA000, 0x4331}, {601, 0x96B6, 0x2224}, {601, 0x9654, 0x2121},
      {1602, 0xA100, 0x4330}, {1602, 0x96B6, 0x2224}, {1602, 0x96AE, 0x2222},
      // kind 6 (221): only 0x9Cxx-0x9Fxx convert, but the shift still applies
      {221, 0xA000, 0x222E}, {221, 0x96B6, 0xE000}, {221, 0x8001, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Convert(c.font, c.code), c.want) << "font " << c.font << " code " << std::hex << c.code;
  }
}

TEST_F(ConvertCodeTest, TableEntry0x2000BecomesTheGetaMark) {
  EXPECT_EQ(Convert(1, 0x8006), kGetaMark);
  EXPECT_EQ(Convert(2, 0xA07F), kGetaMark);  // 0 shifted by 0x2000
}

TEST_F(ConvertCodeTest, PiFont) {
  EXPECT_EQ(Convert(0, 1), 0x2131);
  EXPECT_EQ(Convert(0, 2047), 0x2132);
  EXPECT_EQ(Convert(0, 2048), 0);
  EXPECT_EQ(Convert(0, 0xFFFF), 0);
  EXPECT_EQ(t.lastFont, 0);  // font 0 selects no overlay
}

TEST_F(ConvertCodeTest, RomanFonts) {
  EXPECT_EQ(Convert(227, 0xC341), 0x2341);  // table A
  EXPECT_EQ(Convert(228, 0xC341), 0x2361);  // table B
  EXPECT_EQ(Convert(229, 0xC341), 0x4341);  // table A plus 0x2000
  EXPECT_EQ(Convert(230, 0xC341), 0x4361);  // table B plus 0x2000
  EXPECT_EQ(Convert(851, 0xC341), 0x2341);
  EXPECT_EQ(Convert(854, 0xC341), 0x4361);
  EXPECT_EQ(Convert(1229, 0xC341), 0x4341);
  EXPECT_EQ(Convert(1852, 0xC341), 0x2361);
  EXPECT_EQ(Convert(1852, 0xC441), kGetaMark);  // only index 0x300-0x37F has roman codes
  EXPECT_EQ(Convert(227, 0xC380), kGetaMark);
  EXPECT_EQ(Convert(227, 0x8001), kGetaMark);
  EXPECT_EQ(Convert(229, 0xC300), kGetaMark);  // 0 + 0x2000
  EXPECT_EQ(Convert(227, 0xC300), 0);
}

TEST_F(ConvertCodeTest, UnclassifiedFontKeepsTheKindOfThePreviousOne) {
  EXPECT_EQ(Convert(229, 0xC341), 0x4341);
  EXPECT_EQ(Convert(1000, 0xC341), 0x4361);  // roman kind, variant 0: table B plus 0x2000
  EXPECT_EQ(Convert(6, 0x9654), 0x4121);
  EXPECT_EQ(Convert(1000, 0x9654), 0x4121);  // kind 1 kept
  EXPECT_EQ(Convert(1, 0x9654), 0x2121);
  EXPECT_EQ(Convert(1000, 0x9654), 0x2121);
}

TEST_F(ConvertCodeTest, ExternalCharacterRows) {
  EXPECT_EQ(Convert(221, 0x9C00), 0x2121);
  EXPECT_EQ(Convert(222, 0x9C5E), 0x3121);  // n = 94 starts the next row
  EXPECT_EQ(Convert(223, 0x9C5D), 0x507E);
  EXPECT_EQ(Convert(224, 0x9C00), 0x21A1);
  EXPECT_EQ(Convert(224, 0x9FFF), 0x2BF4);  // n = 1023: ten rows on, cell 83
  EXPECT_EQ(Convert(221, 0x9BFF), 0);
}

TEST_F(ConvertCodeTest, RowFormulasOfFonts901To939) {
  EXPECT_EQ(Convert(901, 0x9870), 0x7DAE);
  EXPECT_EQ(Convert(901, 0x9860), 0x7DA1);
  EXPECT_EQ(Convert(901, 0x986C), 0x7DAD);
  EXPECT_EQ(Convert(902, 0x9860), 0x7EA1);
  EXPECT_EQ(Convert(902, 0x987C), 0x7EBA);
  EXPECT_EQ(Convert(1301, 0x9860), 0);
  EXPECT_EQ(Convert(1302, 0x9870), 0);
  EXPECT_EQ(Convert(901, 0x986D), 0);  // between the two ranges: the code table
}

TEST_F(ConvertCodeTest, RubyFontsConvertThroughTheRubyTableWithTheirOwnOverlay) {
  EXPECT_EQ(Convert(805, 0x8001), 0x2477);
  EXPECT_EQ(t.appliedOverlay, 6);
  EXPECT_EQ(t.store.Read(8, 1), 0x3066);
  EXPECT_EQ(Convert(805, 0x8002), kGetaMark);
  EXPECT_EQ(Convert(806, 0x9654), 0x4130);  // kind 1: type a up
  EXPECT_EQ(Convert(806, 0x96B6), 0x2130);  // type f down
  EXPECT_EQ(Convert(805, 0x96B6), 0x4130);
}

TEST_F(ConvertCodeTest, RubyFontWithoutRubyTableKeepsTheCode) {
  std::filesystem::remove(dir.path() / "root/qdxfiles/convura.tbl");
  EXPECT_EQ(Convert(806, 0x9654), 0x9654);
  EXPECT_EQ(Convert(806, 0x8006), 0x8006);
}

TEST_F(ConvertCodeTest, OverlayFollowsTheFont) {
  EXPECT_EQ(Convert(1, 0x8001), 0x3021);
  EXPECT_EQ(Convert(5, 0x8001), 0x3055);
  EXPECT_EQ(Convert(6, 0x8001), 0x3055);
  EXPECT_EQ(Convert(0, 0x0001), 0x2131);  // the pi font changes no overlay
  EXPECT_EQ(Convert(6, 0x8001), 0x3055);
  EXPECT_EQ(Convert(1, 0x8001), 0x3021);
  EXPECT_EQ(t.lastFont, 1);
}

// A font met before is selected again without looking at the maps while
// they stay as they were; once they change, its overlay is looked up anew,
// through the route of the font as through the code conversion.
TEST_F(ConvertCodeTest, AFontMetBeforeFollowsAChangeOfTheMaps) {
  EXPECT_EQ(Convert(1, 0x8001), 0x3021);
  EXPECT_EQ(Convert(40, 0x8001), 0x3021);  // no overlay either
  t.store.Write(kFontMapTable, 1, 2);       // font 1 now in the group of overlay 5
  ASSERT_TRUE(SelectFontRoute(t, paths, 40).open());
  MainPageRoute route = SelectFontRoute(t, paths, 1);
  ASSERT_TRUE(route.open());
  EXPECT_EQ(t.appliedOverlay, 5);
  EXPECT_EQ(route.WireShiftJisOf(0x8001), WireOrder(JisToShiftJis(0x3055)));
  EXPECT_EQ(Convert(5, 0x8001), 0x3055);
  t.store.Write(kFontMapTable, 1, 1);  // back in a group without overlay
  EXPECT_EQ(Convert(1, 0x8001), 0x3021);
  EXPECT_EQ(t.appliedOverlay, 0);
}

}  // namespace
}  // namespace velkan
