// Table, definition, pi-font and store files far larger than any real one
// (sparse files of a gigabyte): each is read no further than it needs, and
// the text and code tables no further than 16 MiB.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "conversion/format_store.h"
#include "support/test_support.h"
#include "tables/code_tables.h"
#include "tables/conversion_store.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pi_font.h"
#include "tables/pitch_file.h"
#include "tables/replacement_table.h"
#include "tables/table_file.h"
#include "typo/definition_file.h"

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
  TableFault failed;
  EXPECT_EQ(LoadCodeTables(t, TablePaths(dir.path(), std::nullopt), &failed), -1);
  EXPECT_EQ(failed.path.filename(), "SJIS_JIS.TBL");
  EXPECT_EQ(failed.why.Text(), "larger than 16 MiB");
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

TEST(OversizedFiles, CodeFilesAreReadUpTo65536Pairs) {
  TempDir dir;
  // Pairs 0..65535 are read (the last sets table 0 entry 6); pair 65536
  // would set table 0 entry 5.
  std::vector<uint16_t> words;
  for (int i = 0; i < 65535; ++i) words.insert(words.end(), {static_cast<uint16_t>(0x8001), 7});
  words.insert(words.end(), {0x0006, 8});  // the 65536th pair, the last one read
  words.insert(words.end(), {0x0005, 9});
  fs::path code = dir.Write("conv00.tbl", LittleEndianWords(words));
  fs::resize_file(code, kGigabyte);  // and a hole behind them
  ConversionStore store;
  ASSERT_TRUE(store.AllocateFirst() && store.AllocateSecond());
  EXPECT_EQ(LoadCodeFile(store, code, CodeFileKind::kCodes, false, kCodeFileMissing), 0);
  EXPECT_EQ(store.Read(8, 1), 7);
  EXPECT_EQ(store.Read(0, 6), 8);
  EXPECT_EQ(store.Read(0, 5), 0);  // the 65537th pair is not read

  std::vector<uint16_t> pi;
  for (int i = 0; i < 65535; ++i) pi.insert(pi.end(), {1, 2, 3});
  pi.insert(pi.end(), {6, 7, 8});  // the 65536th record, the last one read
  pi.insert(pi.end(), {4, 5, 6});
  fs::path piFile = dir.Write("convpi.tbl", LittleEndianWords(pi));
  fs::resize_file(piFile, kGigabyte);
  EXPECT_EQ(LoadPiCodes(store, piFile), 0);
  EXPECT_EQ(store.Read(kPiTable, 3), 3);
  EXPECT_EQ(store.Read(kPiTable, 13), 8);
  EXPECT_EQ(store.Read(kPiTable, 8), 0);
}

TEST(OversizedFiles, AHugeFontInfoFileEndsLikeABrokenOne) {
  TempDir dir;
  std::string line = std::string("  1  5") + std::string(107, ' ') + " ";
  std::string text = "heading\n";
  for (int i = 0; i < 200000; ++i) text += line + "\n";  // over 16 MiB of lines
  fs::path info = dir.Write("fntinf.fil", text);
  ConversionStore store;
  ASSERT_TRUE(store.AllocateFirst() && store.AllocateSecond());
  EXPECT_EQ(LoadFontInfo(store, info), kFontInfoBroken);
  EXPECT_EQ(store.Read(kFontMapTable, 5), 1);  // the lines before stay
}

TEST(OversizedFiles, HugeRubyAndPitchFilesAreReadOnlyWhereTheyAreUsed) {
  TempDir dir;
  fs::path ruby = Huge(dir, "convura.tbl", LittleEndianWords({0x2421, 0x3021}), kGigabyte);
  ConversionStore store;
  ASSERT_TRUE(store.AllocateFirst() && store.AllocateSecond());
  EXPECT_EQ(LoadRubyTable(store, ruby), 0);
  EXPECT_EQ(store.Read(kRubyTable, 0), 0x2421);

  std::string header(1024, '\0');
  header[2 + 5] = 2;  // font 5: block 2, at (2 + 3) * 256
  std::string head = header + std::string(4 * 256, '\0');
  head[5 * 256 + 0x41] = 40;
  fs::path pitch = Huge(dir, "pitfile.fil", head, kGigabyte);
  PitchFile p;
  ASSERT_EQ(p.Open(pitch), kPitchOpened);
  EXPECT_EQ(p.Width(5, 0xC341), 40);
}

TEST(OversizedFiles, DirectoriesAndFifosWhereFontTablesShouldBeCountAsMissing) {
  TempDir dir;
  fs::create_directories(dir.path() / "adir");
  ASSERT_EQ(::mkfifo((dir.path() / "afifo").c_str(), 0600), 0);
  ConversionStore store;
  ASSERT_TRUE(store.AllocateFirst() && store.AllocateSecond());
  for (const char* name : {"adir", "afifo"}) {
    fs::path p = dir.path() / name;
    // A FIFO without a writer would stop a plain open for good.
    EXPECT_EQ(LoadCodeFile(store, p, CodeFileKind::kCodes, false, kCodeFileMissing), kCodeFileMissing) << name;
    EXPECT_EQ(LoadPiCodes(store, p), kPiCodesMissing) << name;
    EXPECT_EQ(LoadFontInfo(store, p), kFontInfoMissing) << name;
    EXPECT_EQ(LoadRubyTable(store, p), kCodeFileMissing) << name;
    PitchFile pitch;
    EXPECT_EQ(pitch.Open(p), kPitchNotOpened) << name;
  }
  fs::path q = dir.path() / "qdxfiles";
  fs::create_directories(q);
  ASSERT_EQ(::mkfifo((q / "pifont.fil").c_str(), 0600), 0);
  PiWidths pi;
  EXPECT_EQ(LoadPiFontFile(pi, TablePaths(dir.path(), std::nullopt)), -1);
}

}  // namespace
}  // namespace velkan
