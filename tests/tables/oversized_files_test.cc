// Table, definition, pi-font and store files far larger than any real one
// (sparse files of a gigabyte): each is read no further than it needs, and
// the text and code tables no further than 16 MiB.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "driver/format_store.h"
#include "support/test_support.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/replacement_table.h"
#include "tables/table_file.h"
#include "typo/definition_file.h"
#include "typo/pi_font.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::LittleEndianWords;
using test::TempDir;

constexpr uintmax_t kGigabyte = uintmax_t{1} << 30;

// Writes `head` and extends the file with a hole to `size` bytes.
fs::path Huge(const TempDir& dir, const std::string& relative, const std::string& head, uintmax_t size) {
  fs::path p = dir.Write(relative, head);
  fs::resize_file(p, size);
  return p;
}

TEST(OversizedFiles, ReadTableFileStopsAtItsLimit) {
  TempDir dir;
  std::string bytes;
  fs::path exact = dir.Write("exact.tbl", std::string(100, 'x'));
  EXPECT_EQ(ReadTableFile(exact, bytes, 100), TableFileStatus::kRead);
  EXPECT_EQ(bytes.size(), 100u);
  EXPECT_EQ(ReadTableFile(exact, bytes, 99), TableFileStatus::kTooLarge);
  EXPECT_EQ(bytes, std::string(99, 'x'));

  fs::path huge = Huge(dir, "huge.tbl", "head", kGigabyte);
  EXPECT_EQ(ReadTableFile(huge, bytes), TableFileStatus::kTooLarge);
  ASSERT_EQ(bytes.size(), kMaxTableFileBytes);
  EXPECT_EQ(bytes.substr(0, 4), "head");
}

TEST(OversizedFiles, AHugeCodeTableStopsTheLoadLikeAReadError) {
  TempDir dir;
  for (const char* name : kPairTableNames) dir.Write(std::string("QDXFILES/") + name, LittleEndianWords({0}));
  dir.Write("QDXFILES/SJIS_ZAN.TBL", LittleEndianWords({0x8260, 0x0041}));
  Huge(dir, "QDXFILES/SJIS_JIS.TBL", LittleEndianWords({0, 0x8260, 0x41}), kGigabyte);
  CodeTables t;
  std::string failed;
  EXPECT_EQ(LoadCodeTables(t, TablePaths(dir.path(), std::nullopt), &failed), -1);
  EXPECT_EQ(failed, "SJIS_JIS.TBL");
  EXPECT_EQ(t.ShiftJisOf(0x0041), 0x8260);  // what came before stays
  EXPECT_EQ(t.SingleByteOf(0x8260), 0);
}

TEST(OversizedFiles, HugeTextTablesKeepTheirFirstLinesAndReportAFailure) {
  TempDir dir;
  Huge(dir, "qdxfiles/velkansys.tbl", "%0000 0\n$9001 !\n", kGigabyte);
  dir.Write("qdxfiles/velkanuser.tbl", "");
  EscapeDefinitions defs;
  EXPECT_EQ(LoadEscapeDefinitions(defs, TablePaths(dir.path(), std::nullopt)), -1);
  EXPECT_EQ(defs.modeLead, '!');

  Huge(dir, "qdxfiles/nmcnv.tbl", "ab=D00A\n", kGigabyte);
  ReplacementTable table;
  EXPECT_EQ(LoadReplacementTable(table, TablePaths(dir.path(), std::nullopt)), -1);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].Word(0), 0xD00A);
}

TEST(OversizedFiles, AHugeDefinitionFileIsNotOpened) {
  TempDir dir;
  fs::path def = Huge(dir, "job.def", "<PI>\n1=x\n", kGigabyte);
  DefinitionFile f;
  EXPECT_FALSE(f.Open(def.string()));
  EXPECT_FALSE(f.isOpen());
  fs::resize_file(def, 9);
  ASSERT_TRUE(f.Open(def.string()));
  EXPECT_EQ(f.Lookup("PI", "1"), "x");
}

TEST(OversizedFiles, AHugePiFontFileGivesItsFirstThousandWidths) {
  TempDir dir;
  Huge(dir, "qdxfiles/pifont.fil", std::string(999, '\1') + '\7', kGigabyte);
  PiWidths pi;
  EXPECT_EQ(LoadPiFontFile(pi, TablePaths(dir.path(), std::nullopt)), 0);
  EXPECT_EQ(pi.width[0], 1);
  EXPECT_EQ(pi.width[999], 7);
}

TEST(OversizedFiles, HugeStoreFilesAreUsedAndNeverShrunk) {
  TempDir dir;
  std::string flags(400, '\0');
  flags[5] = 1;
  fs::path table = Huge(dir, "QDXFILES/udf2.tbl", flags, kGigabyte);
  std::string record = LittleEndianWords({0x45A1, 0x45A2});
  fs::path formats = dir.Write("QDXFILES/udf2.fle", "");
  {
    std::ofstream f(formats, std::ios::binary);
    f.seekp(5 * kFormatRecordBytes);
    f << record;
  }
  fs::resize_file(formats, kGigabyte);
  FormatStore s;
  ASSERT_EQ(OpenFormatStore(s, dir.path()), 0) << s.error;
  EXPECT_EQ(s.state[5] & kFormatDefined, kFormatDefined);
  ASSERT_EQ(LoadFormat(s, 5), 1);
  int slot = s.state[5] & kNoSlot;
  EXPECT_EQ(s.cache[static_cast<size_t>(slot)][0], 0x45A1);
  EXPECT_EQ(s.cache[static_cast<size_t>(slot)][1], 0x45A2);
  EXPECT_EQ(s.cache[static_cast<size_t>(slot)][2], 0);
  EXPECT_EQ(CloseFormatStore(s), 0) << s.error;
  EXPECT_EQ(fs::file_size(table), kGigabyte);
  EXPECT_EQ(fs::file_size(formats), kGigabyte);
}

}  // namespace
}  // namespace velkan
