#include "tables/code_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::LittleEndianWords;
using test::TempDir;

// A table root holding all twenty code tables; `records` gives the words
// after the header word (no header for SJIS_ZAN.TBL) of the named tables,
// the others are empty but for their header.
class CodeTableRoot {
 public:
  explicit CodeTableRoot(const std::map<std::string, std::vector<uint16_t>>& records = {}) {
    for (const char* name : kPairTableNames) Put(name, records, true);
    Put("SJIS_ZAN.TBL", records, false);
    Put("SJIS_JIS.TBL", records, true);
  }
  const TempDir& dir() const { return dir_; }
  TablePaths paths() const { return TablePaths(dir_.path(), std::nullopt); }
  fs::path File(const std::string& name) const { return dir_.path() / "QDXFILES" / name; }

 private:
  void Put(const std::string& name, const std::map<std::string, std::vector<uint16_t>>& records, bool header) {
    std::vector<uint16_t> words;
    if (header) words.push_back(0x1234);
    auto it = records.find(name);
    if (it != records.end()) words.insert(words.end(), it->second.begin(), it->second.end());
    dir_.Write("QDXFILES/" + name, LittleEndianWords(words));
  }
  TempDir dir_;
};

TEST(CodeTablesTest, LoadsEveryRegionAndSkipsCodesOutsideThem) {
  CodeTableRoot root({{"SJIS_ZAN.TBL",
                       {0x8260, 0x0041, 0x889F, 0x8000, 0x9FFC, 0x9FFF, 0x8140, 0xA123, 0x8141, 0xB456,
                        0x8142, 0xCFFF, 0x8143, 0x4000, 0x8144, 0xD009, 0x8145, 0x1005}}});
  CodeTables t;
  ASSERT_EQ(LoadCodeTables(t, root.paths()), 0);
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0x8260);
  EXPECT_EQ(t.ShiftJisOf(0x8000), 0x889F);
  EXPECT_EQ(t.ShiftJisOf(0x9FFF), 0x9FFC);
  EXPECT_EQ(t.ShiftJisOf(0xA123), 0x8140);
  EXPECT_EQ(t.ShiftJisOf(0xB456), 0x8141);
  EXPECT_EQ(t.ShiftJisOf(0xCFFF), 0x8142);
  // Page 0x4000, commands and the mode codes above 0x1000 have no entry.
  EXPECT_EQ(t.ShiftJisOf(0x4000), 0);
  EXPECT_EQ(t.ShiftJisOf(0xD009), 0);
  EXPECT_EQ(t.ShiftJisOf(0x1005), 0);
  EXPECT_EQ(t.ShiftJisOf(0x0005), 0);  // 0x1005 did not land on low byte 0x05
  // Same low 12 bits in another page are separate entries.
  EXPECT_EQ(t.ShiftJisOf(0xB123), 0);
  EXPECT_EQ(t.ShiftJisOf(0xC456), 0);
}

TEST(CodeTablesTest, TheEarlierFileAndRecordDecideAndLowCodesShareEntries) {
  CodeTableRoot root({{"SJIS_HNW.TBL", {0x8250, 0x8001, 0x8260, 0x0141}},
                      {"SJ_KUR_2.TBL", {0x8251, 0x8001, 0x8252, 0x8002}},
                      {"SJIS_ZAN.TBL", {0x8253, 0x8002, 0x8254, 0x8003, 0x8255, 0x8003, 0x8261, 0x0041}}});
  CodeTables t;
  ASSERT_EQ(LoadCodeTables(t, root.paths()), 0);
  EXPECT_EQ(t.ShiftJisOf(0x8001), 0x8250);
  EXPECT_EQ(t.ShiftJisOf(0x8002), 0x8252);
  EXPECT_EQ(t.ShiftJisOf(0x8003), 0x8254);
  // 0x0041 and 0x0141 share one entry, decided by the earlier file.
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0x8260);
  EXPECT_EQ(t.ShiftJisOf(0x0141), 0x8260);
}

TEST(CodeTablesTest, HalfWidthFormsComeFromTheFirstRecordForACode) {
  CodeTableRoot root({{"SJIS_JIS.TBL",
                       {0x8260, 0x0041, 0x8260, 0x0042,  // first record wins
                        0x8140, 0x0100, 0x8140, 0x0020,  // a first record with low byte 0 decides too
                        0x8FFF, 0x00DF, 0x9000, 0x0031, 0x7FFF, 0x0032}}});
  CodeTables t;
  ASSERT_EQ(LoadCodeTables(t, root.paths()), 0);
  EXPECT_EQ(t.SingleByteOf(0x8260), 0x41);
  EXPECT_EQ(t.SingleByteOf(0x8140), 0);
  EXPECT_EQ(t.SingleByteOf(0x8FFF), 0xDF);
  EXPECT_EQ(t.SingleByteOf(0x9000), 0);
  EXPECT_EQ(t.SingleByteOf(0x7FFF), 0);
  EXPECT_EQ(t.SingleByteOf(0x8261), 0);
  // SJIS_JIS.TBL does not feed the source-code map.
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0);
}

// The single bytes of the roman pages, made once for every pass that reads
// the tables: what each code gives, and never kept past a record stored
// after them.
TEST(CodeTablesTest, RomanBytesAreMadeFromTheTablesAndDroppedByALaterRecord) {
  CodeTableRoot root({{"SJIS_ROM.TBL", {0x8260, 0xC341, 0x8140, 0xC401, 0x8FFF, 0xC302}},
                      {"SJIS_JIS.TBL", {0x8260, 0x0041, 0x8140, 0x0020, 0x8FFF, 0x00DF}}});
  CodeTables t;
  ASSERT_EQ(LoadCodeTables(t, root.paths()), 0);
  EXPECT_EQ(t.romanBytes(), nullptr);
  t.MakeRomanBytes();
  const std::array<uint8_t, 256>* made = t.romanBytes();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ((*made)[0x41], 'A');
  EXPECT_EQ((*made)[128 + 0x01], ' ');
  EXPECT_EQ((*made)[0x02], 0);  // a single byte of 0x80 or more is no roman byte
  for (unsigned i = 0; i < 256; ++i) {
    EXPECT_EQ((*made)[i], t.RomanSingleByte(static_cast<uint16_t>((i < 128 ? 0xC300 : 0xC400) + (i & 0x7F)))) << i;
  }
  t.AddHalfWidthRecord(0x8141, 0x0042);
  EXPECT_EQ(t.romanBytes(), nullptr);
  t.MakeRomanBytes();
  t.AddShiftJisRecord(0x8141, 0xC342);
  EXPECT_EQ(t.romanBytes(), nullptr);
  std::array<uint8_t, 256> now{};
  t.FillRomanBytes(now);
  EXPECT_EQ(now[0x42], 'B');
}

TEST(CodeTablesTest, ARecordCutShortAtTheEndIsIgnored) {
  CodeTableRoot root({{"SJIS_ZAN.TBL", {0x8260, 0x0041}}});
  // Add one word and a single byte behind the last whole record.
  root.dir().Write("QDXFILES/SJIS_ZAN.TBL", LittleEndianWords({0x8260, 0x0041, 0x8261}) + "\x42");
  root.dir().Write("QDXFILES/SJIS_HNW.TBL", LittleEndianWords({0x0001, 0x8262, 0x0043, 0x8263}));
  CodeTables t;
  ASSERT_EQ(LoadCodeTables(t, root.paths()), 0);
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0x8260);
  EXPECT_EQ(t.ShiftJisOf(0x0043), 0x8262);
  EXPECT_EQ(t.ShiftJisOf(0x8262), 0);  // the header word is no part of a record
}

TEST(CodeTablesTest, AMissingFileStopsTheLoadAndKeepsWhatCameBefore) {
  CodeTableRoot root({{"SJIS_HNW.TBL", {0x8260, 0x0041}}, {"SJ_KMA_0.TBL", {0x8261, 0x0042}},
                      {"SJIS_ZAN.TBL", {0x8262, 0x0043}}});
  fs::remove(root.File("SJ_KKA_2.TBL"));
  CodeTables t;
  TableFault failed;
  EXPECT_EQ(LoadCodeTables(t, root.paths(), &failed), -1);
  EXPECT_EQ(failed.path, root.File("SJ_KKA_2.TBL"));
  EXPECT_EQ(failed.why, "missing");
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0x8260);
  EXPECT_EQ(t.ShiftJisOf(0x0042), 0);  // after the missing file
  EXPECT_EQ(t.ShiftJisOf(0x0043), 0);
}

TEST(CodeTablesTest, AHeaderWordThatCannotBeReadFailsButAMissingZanHeaderDoesNot) {
  {
    CodeTableRoot root;
    root.dir().Write("QDXFILES/SJ_KU3_1.TBL", "\x01");  // one byte: no header word
    CodeTables t;
    TableFault failed;
    EXPECT_EQ(LoadCodeTables(t, root.paths(), &failed), -1);
    EXPECT_EQ(failed.path.filename(), "SJ_KU3_1.TBL");
    EXPECT_EQ(failed.why, "has no header word");
  }
  {
    CodeTableRoot root;
    root.dir().Write("QDXFILES/SJIS_ZAN.TBL", "");  // no header word to read
    CodeTables t;
    EXPECT_EQ(LoadCodeTables(t, root.paths()), 0);
  }
  {
    CodeTableRoot root;
    root.dir().Write("QDXFILES/SJIS_JIS.TBL", "");
    CodeTables t;
    TableFault failed;
    EXPECT_EQ(LoadCodeTables(t, root.paths(), &failed), -1);
    EXPECT_EQ(failed.path.filename(), "SJIS_JIS.TBL");
  }
}

TEST(CodeTablesTest, ADirectoryWhereATableShouldBeStopsTheLoadAsNotAFile) {
  CodeTableRoot root({{"SJIS_JIS.TBL", {0x8260, 0x0041}}});
  fs::remove(root.File("SJIS_ZAN.TBL"));
  fs::create_directory(root.File("SJIS_ZAN.TBL"));
  CodeTables t;
  TableFault failed;
  EXPECT_EQ(LoadCodeTables(t, root.paths(), &failed), -1);
  EXPECT_EQ(failed.path.filename(), "SJIS_ZAN.TBL");
  EXPECT_EQ(failed.why, "not a file");
  EXPECT_EQ(t.SingleByteOf(0x8260), 0);
}

TEST(CodeTablesTest, ASecondLoadStartsFromEmptyTablesAndReleaseEmptiesThem) {
  CodeTableRoot root({{"SJIS_ZAN.TBL", {0x8260, 0x0041}}, {"SJIS_JIS.TBL", {0x8260, 0x0041}}});
  CodeTables t;
  ASSERT_EQ(LoadCodeTables(t, root.paths()), 0);
  root.dir().Write("QDXFILES/SJIS_ZAN.TBL", LittleEndianWords({0x8299, 0x0041}));
  root.dir().Write("QDXFILES/SJIS_JIS.TBL", LittleEndianWords({0, 0x8260, 0x0061}));
  ASSERT_EQ(LoadCodeTables(t, root.paths()), 0);
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0x8299);
  EXPECT_EQ(t.SingleByteOf(0x8260), 0x61);
  ReleaseCodeTables(t);
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0);
  EXPECT_EQ(t.SingleByteOf(0x8260), 0);
}

}  // namespace
}  // namespace velkan
