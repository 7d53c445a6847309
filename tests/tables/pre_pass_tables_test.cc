// Loading the code tables of the text pre-pass.
#include "tables/pre_pass_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "tables/code_tables.h"

namespace velkan {
namespace {

using test::LittleEndianWords;
using test::TempDir;

class PrePassTablesTest : public ::testing::Test {
 protected:
  // Lays out every table the pre-pass loads: SJIS_ZAN.TBL without records,
  // SJIS_JIS.TBL with its header only, each block table with its header and
  // one zero pair.
  PrePassTablesTest() : paths_(dir_.path() / "root", std::nullopt) {
    Zan({});
    Table("SJIS_JIS.TBL", {0});
    for (const char* name : kPairTableNames) Table(name, {0, 0, 0});
  }
  void Zan(const std::vector<uint16_t>& words) { Table("SJIS_ZAN.TBL", words); }
  void Table(const std::string& name, const std::vector<uint16_t>& words) {
    dir_.Write("root/QDXFILES/" + name, LittleEndianWords(words));
  }
  // A block table: the header word, then the words.
  void Block(const std::string& name, std::vector<uint16_t> words) {
    words.insert(words.begin(), 0x1234);
    Table(name, words);
  }

  TempDir dir_;
  TablePaths paths_;
  PrePassTables t_;
};

TEST_F(PrePassTablesTest, ZanRecordsFillTheForwardMapCommandGlyphsAndModeCharacters) {
  Zan({0x8ABF, 0x45B0,    // forward, low range
       0xE040, 0x45B1,    // forward, high range
       0xA0A1, 0x45B2,    // outside both ranges: not stored
       0x8ABF, 0x45B3,    // a later record overwrites
       0x8194, 0xD009,    // command glyph (also forward)
       0x8195, 0xD009,    // a later glyph for the same command overwrites
       0x8196, 0xD0FF,
       0x8740, 0x1000,    // mode 1
       0x8745, 0x1005,    // no mode
       0x8749, 0x1010,    // mode 10
       0x9999});          // a record cut short is ignored
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  EXPECT_EQ(0x45B3, t_.Forward(0x8ABF));
  EXPECT_EQ(0x45B1, t_.Forward(0xE040));
  EXPECT_EQ(0, t_.Forward(0xA0A1));
  EXPECT_EQ(0xD009, t_.Forward(0x8195));
  EXPECT_EQ(0, t_.Forward(0x9999));

  EXPECT_EQ(0x8195, t_.commandGlyphs[0x09]);
  EXPECT_EQ(0xD009, t_.CommandOfGlyph(0x8195));
  EXPECT_EQ(0, t_.CommandOfGlyph(0x8194));
  EXPECT_EQ(0xD0FF, t_.CommandOfGlyph(0x8196));
  // The quick range test counts the entries no record filled.
  EXPECT_EQ(0, t_.commandGlyphMin);
  EXPECT_EQ(0x8196, t_.commandGlyphMax);
  // Character 0 matches none of the empty entries.
  EXPECT_EQ(0, t_.CommandOfGlyph(0));

  EXPECT_EQ(1, t_.ModeOfCharacter(0x8740));
  EXPECT_EQ(10, t_.ModeOfCharacter(0x8749));
  EXPECT_EQ(0, t_.ModeOfCharacter(0x8745));  // 0x1005 selects no mode
  EXPECT_EQ(0x8745, t_.modeCharacters[5]);
  EXPECT_EQ(0, t_.ModeOfCharacter(0));
}

TEST_F(PrePassTablesTest, TheSameCharacterForTwoCommandsGivesTheLowerOne) {
  Zan({0x8194, 0xD050, 0x8194, 0xD00A});
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  EXPECT_EQ(0xD00A, t_.CommandOfGlyph(0x8194));
}

TEST_F(PrePassTablesTest, TheSingleByteMapTakesRecordsBelow0x100) {
  Table("SJIS_JIS.TBL", {0xFFFF, 0x8260, 0x0041, 0x8261, 0x0141, 0x8262, 0x0042, 0x8263, 0x0042});
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  EXPECT_EQ(0x8260, t_.singleByteMap['A']);
  EXPECT_EQ(0x8263, t_.singleByteMap['B']);  // the later record
  EXPECT_EQ(0, t_.singleByteMap['C']);
}

TEST_F(PrePassTablesTest, BlockTablesHaveTheirCapacitiesAndAreCutThere) {
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  EXPECT_EQ(512u, t_.block(BlockTableId::kHnw).words().size());
  EXPECT_EQ(1024u, t_.block(BlockTableId::kRom).words().size());
  EXPECT_EQ(1024u, t_.block(BlockTableId::kIta).words().size());
  EXPECT_EQ(1024u, t_.block(BlockTableId::kRub).words().size());
  EXPECT_EQ(512u, t_.block(BlockTableId::kKka0).words().size());
  EXPECT_EQ(512u, t_.block(BlockTableId::kKma0).words().size());
  EXPECT_EQ(256u, t_.block(BlockTableId::kKka1).words().size());
  EXPECT_EQ(256u, t_.block(BlockTableId::kKur2).words().size());

  // 129 pairs for a table of 256 words: the last pair lies beyond it.
  std::vector<uint16_t> words;
  for (uint16_t i = 0; i < 129; ++i) {
    words.push_back(static_cast<uint16_t>(0x8200 + i));
    words.push_back(static_cast<uint16_t>(0x4600 + i));
  }
  Block("SJ_KU2_0.TBL", words);
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  const BlockTable& ku = t_.block(BlockTableId::kKu20);
  EXPECT_EQ(0x4600, ku.Lookup(0x8200));
  EXPECT_EQ(0x467F, ku.Lookup(0x827F));  // the last pair that fits
  EXPECT_EQ(0, ku.Lookup(0x8280));       // cut off
}

TEST_F(PrePassTablesTest, BlockLookupsFindTheFirstPairOfAKey) {
  Block("SJIS_ROM.TBL", {0x8260, 0x4EA1, 0x8261, 0, 0x8260, 0x4EA9, 0x8261, 0x4EA2, 0x8262});
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  const BlockTable& rom = t_.block(BlockTableId::kRom);
  EXPECT_EQ(0x4EA1, rom.Lookup(0x8260));
  EXPECT_EQ(0, rom.Lookup(0x8261));  // its first pair has value 0: not found
  EXPECT_EQ(0, rom.Lookup(0x8262));  // a key whose value is cut off
  EXPECT_EQ(0, rom.Lookup(0x9999));
  // The zero pairs behind a short file give nothing either.
  EXPECT_EQ(0, rom.Lookup(0));
}

TEST_F(PrePassTablesTest, TheReplacementTableComesLast) {
  dir_.Write("root/QDXFILES/nmcnv.tbl", "ab=D00A,8140\r\n=4521\r\n");
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  ASSERT_EQ(1u, t_.replacements.size());
  EXPECT_EQ("ab", t_.replacements[0].Key());
  EXPECT_EQ(0xD00A, t_.replacements[0].Word(0));
  EXPECT_EQ(0x8140, t_.replacements[0].Word(1));
}

TEST_F(PrePassTablesTest, AMissingReplacementFileOnlyLeavesItsTableEmpty) {
  TableFault failed, replacements;
  EXPECT_EQ(0, LoadPrePassTables(t_, paths_, &failed, &replacements));
  EXPECT_TRUE(t_.replacements.empty());
  EXPECT_TRUE(failed.path.empty());
  EXPECT_EQ("nmcnv.tbl", replacements.path.filename());
  EXPECT_EQ("missing", replacements.why);
}

TEST_F(PrePassTablesTest, TheFirstMissingOrEmptyTableStopsTheLoad) {
  Zan({0x8ABF, 0x45B0});
  Block("SJIS_HNW.TBL", {0x8260, 0x45A1});
  Table("SJ_KKA_1.TBL", {0x1234});  // a header word and no block: the read yields nothing
  Block("SJ_KMA_0.TBL", {0x8260, 0x46CA});
  dir_.Write("root/QDXFILES/nmcnv.tbl", "ab=4521\n");
  TableFault failed;
  EXPECT_EQ(-1, LoadPrePassTables(t_, paths_, &failed));
  EXPECT_EQ("SJ_KKA_1.TBL", failed.path.filename());
  EXPECT_EQ("holds no word after its header", failed.why);
  // What came before stays; nothing after is loaded, the replacements
  // neither.
  EXPECT_EQ(0x45B0, t_.Forward(0x8ABF));
  EXPECT_EQ(0x45A1, t_.block(BlockTableId::kHnw).Lookup(0x8260));
  EXPECT_EQ(0, t_.block(BlockTableId::kKma0).Lookup(0x8260));
  EXPECT_TRUE(t_.replacements.empty());

  Table("SJ_KKA_1.TBL", {});  // no header word
  EXPECT_EQ(-1, LoadPrePassTables(t_, paths_, &failed));
  EXPECT_EQ("SJ_KKA_1.TBL", failed.path.filename());
  EXPECT_EQ("has no header word", failed.why);

  std::filesystem::remove(dir_.path() / "root/QDXFILES/SJIS_ZAN.TBL");
  EXPECT_EQ(-1, LoadPrePassTables(t_, paths_, &failed));
  EXPECT_EQ("SJIS_ZAN.TBL", failed.path.filename());
  EXPECT_EQ("missing", failed.why);
  EXPECT_EQ(0, t_.Forward(0x8ABF));  // a new load starts from empty tables

  Zan({});
  Table("SJIS_JIS.TBL", {});  // its header word cannot be read
  EXPECT_EQ(-1, LoadPrePassTables(t_, paths_, &failed));
  EXPECT_EQ("SJIS_JIS.TBL", failed.path.filename());
}

TEST_F(PrePassTablesTest, AnEmptyZanTableIsNoFailure) {
  Zan({});
  EXPECT_EQ(0, LoadPrePassTables(t_, paths_));
}

TEST_F(PrePassTablesTest, ReleaseEmptiesEveryTable) {
  Zan({0x8ABF, 0x45B0, 0x8194, 0xD009, 0x8740, 0x1000});
  Table("SJIS_JIS.TBL", {0, 0x8260, 0x0041});
  Block("SJIS_HNW.TBL", {0x8260, 0x45A1});
  dir_.Write("root/QDXFILES/nmcnv.tbl", "ab=4521\n");
  ASSERT_EQ(0, LoadPrePassTables(t_, paths_));
  ReleasePrePassTables(t_);
  EXPECT_EQ(0, t_.Forward(0x8ABF));
  EXPECT_EQ(0, t_.CommandOfGlyph(0x8194));
  EXPECT_EQ(0, t_.ModeOfCharacter(0x8740));
  EXPECT_EQ(0, t_.singleByteMap['A']);
  EXPECT_EQ(0, t_.block(BlockTableId::kHnw).Lookup(0x8260));
  EXPECT_TRUE(t_.replacements.empty());
}

}  // namespace
}  // namespace velkan
