#include "tables/font_tables.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"
#include "tables/table_files.h"

namespace velkan {
namespace {

using test::FontInfoFile;
using test::FontInfoLine;
using test::PairBytes;
using test::PiRecordBytes;
using test::TempDir;
using test::WordPairs;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store.AllocateFirst());
    ASSERT_TRUE(store.AllocateSecond());
  }
  std::filesystem::path File(const std::string& bytes) { return dir.Write("t.tbl", bytes); }
  TempDir dir;
  ConversionStore store;
};

// --- code files ---

TEST_F(LoaderTest, CodeFileAddressesTablesByTheKeysTopBits) {
  auto p = File(PairBytes({{0x0041, 0x2341}, {0x1002, 0x3002}, {0x8123, 0x3021}, {0xC37F, 0x2121},
                           {0x2005, 0x9999}, {0x0000, 0x7777}}));
  EXPECT_EQ(LoadCodeFile(store, p, CodeFileKind::kCodes, false, -130), 0);
  EXPECT_EQ(store.Read(0, 0x041), 0x2341);
  EXPECT_EQ(store.Read(1, 0x002), 0x3002);
  EXPECT_EQ(store.Read(8, 0x123), 0x3021);
  EXPECT_EQ(store.Read(12, 0x37F), 0x2121);
  EXPECT_EQ(store.Read(0, 0), 0);  // key 0 is skipped
  EXPECT_EQ(store.undoPairs(), 0);
}

TEST_F(LoaderTest, RomanFilesUseTheLowTwelveBits) {
  auto p = File(PairBytes({{0xC341, 0x2341}, {0x0342, 0x2342}}));
  EXPECT_EQ(LoadCodeFile(store, p, CodeFileKind::kRomanB, false, -132), 0);
  EXPECT_EQ(store.Read(kRomanTableB, 0x341), 0x2341);
  EXPECT_EQ(store.Read(kRomanTableB, 0x342), 0x2342);
  EXPECT_EQ(store.Read(kRomanTableA, 0x341), 0);
  EXPECT_EQ(store.Read(12, 0x341), 0);
}

TEST_F(LoaderTest, CodeFileOfSeveralBlocksIsReadWhole) {
  WordPairs pairs;
  for (uint16_t i = 1; i <= 700; ++i) pairs.emplace_back(static_cast<uint16_t>(0x8000 + i), i);
  EXPECT_EQ(LoadCodeFile(store, File(PairBytes(pairs)), CodeFileKind::kCodes, false, -130), 0);
  EXPECT_EQ(store.Read(8, 1), 1);
  EXPECT_EQ(store.Read(8, 256), 256);  // first pair of the second block
  EXPECT_EQ(store.Read(8, 700), 700);
}

TEST_F(LoaderTest, CodeFileOfExactlyOneBlockAndEmptyFile) {
  WordPairs pairs;
  for (uint16_t i = 1; i <= 256; ++i) pairs.emplace_back(static_cast<uint16_t>(0x9000 + i), i);
  EXPECT_EQ(LoadCodeFile(store, File(PairBytes(pairs)), CodeFileKind::kCodes, false, -130), 0);
  EXPECT_EQ(store.Read(9, 256), 256);
  EXPECT_EQ(LoadCodeFile(store, dir.Write("empty.tbl", ""), CodeFileKind::kCodes, false, -130), 0);
}

TEST_F(LoaderTest, TruncatedCodeFileDropsTheBrokenLastPair) {
  std::string bytes = PairBytes({{0x8001, 0x1111}, {0x8002, 0x2222}});
  bytes.resize(bytes.size() - 1);
  EXPECT_EQ(LoadCodeFile(store, File(bytes), CodeFileKind::kCodes, false, -130), 0);
  EXPECT_EQ(store.Read(8, 1), 0x1111);
  EXPECT_EQ(store.Read(8, 2), 0);
}

TEST_F(LoaderTest, MissingCodeFileGivesTheCallersCode) {
  EXPECT_EQ(LoadCodeFile(store, dir.path() / "none.tbl", CodeFileKind::kRomanA, false, -131), -131);
}

TEST_F(LoaderTest, OverlayLoadRecordsPreviousValues) {
  store.Write(9, 0x10, 0x3550);
  auto p = File(PairBytes({{0x9010, 0x3551}, {0x9011, 0x3552}, {0x3011, 0x1}}));
  EXPECT_EQ(LoadCodeFile(store, p, CodeFileKind::kCodes, true, -130), 0);
  EXPECT_EQ(store.undoPairs(), 2);  // the pair for no table is not recorded
  store.Undo();
  EXPECT_EQ(store.Read(9, 0x10), 0x3550);
  EXPECT_EQ(store.Read(9, 0x11), 0);
}

TEST_F(LoaderTest, OverlayBeyondTheUndoListIsCutSoTheBaseStaysRestorable) {
  WordPairs pairs;
  for (int i = 0; i < kUndoPairs + 10; ++i) pairs.emplace_back(static_cast<uint16_t>(0x8000 + i), 0x2222);
  EXPECT_EQ(LoadCodeFile(store, File(PairBytes(pairs)), CodeFileKind::kCodes, true, -130), 0);
  EXPECT_EQ(store.undoPairs(), kUndoPairs);
  EXPECT_EQ(store.Read(8, kUndoPairs - 1), 0x2222);
  EXPECT_EQ(store.Read(8, kUndoPairs), 0);  // not applied
  store.Undo();
  EXPECT_EQ(store.Read(8, 0), 0);
  EXPECT_EQ(store.Read(8, kUndoPairs - 1), 0);
}

// --- pi codes ---

TEST_F(LoaderTest, PiCodesFillTwoEntriesPerNumber) {
  auto p = File(PiRecordBytes({{0, 0x2121, 0x2122}, {5, 0x2330, 0x2331}, {2047, 1, 2}, {2048, 3, 4}}));
  EXPECT_EQ(LoadPiCodes(store, p), 0);
  EXPECT_EQ(store.Read(kPiTable, 0), 0x2121);
  EXPECT_EQ(store.Read(kPiTable, 1), 0x2122);
  EXPECT_EQ(store.Read(kPiTable, 10), 0x2330);
  EXPECT_EQ(store.Read(kPiTable, 11), 0x2331);
  EXPECT_EQ(store.Read(kPiTable, 4095), 2);
  EXPECT_EQ(store.Read(kRubyTable, 0), 0);  // number 2048 is dropped, nothing spills
}

TEST_F(LoaderTest, PiCodesAcrossBlocksAndTruncated) {
  std::vector<std::vector<uint16_t>> records;
  for (uint16_t n = 0; n < 150; ++n) records.push_back({n, static_cast<uint16_t>(0x3000 + n), n});
  std::string bytes = PiRecordBytes(records);
  bytes.resize(bytes.size() - 2);  // the last record is cut
  EXPECT_EQ(LoadPiCodes(store, File(bytes)), 0);
  EXPECT_EQ(store.Read(kPiTable, 2 * 100), 0x3000 + 100);  // first record of the second block
  EXPECT_EQ(store.Read(kPiTable, 2 * 148 + 1), 148);
  EXPECT_EQ(store.Read(kPiTable, 2 * 149), 0);
  EXPECT_EQ(LoadPiCodes(store, dir.path() / "none"), kPiCodesMissing);
}

// --- font information ---

TEST_F(LoaderTest, FontInfoPairsOddAndEvenFonts) {
  auto p = File(FontInfoFile({FontInfoLine(7, 12), FontInfoLine(8, 301), FontInfoLine(9, 50),
                              FontInfoLine(10, 40)}));
  EXPECT_EQ(LoadFontInfo(store, p), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 11), 7);
  EXPECT_EQ(store.Read(kFontMapTable, 12), 7);
  EXPECT_EQ(store.Read(kFontMapTable, 301), 8);
  EXPECT_EQ(store.Read(kFontMapTable, 302), 8);
  EXPECT_EQ(store.Read(kFontMapTable, 50), 9);
  EXPECT_EQ(store.Read(kFontMapTable, 51), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 40), 10);
  EXPECT_EQ(store.Read(kFontMapTable, 39), 0);
}

TEST_F(LoaderTest, FontInfoFurtherFontAndOverlay) {
  auto p = File(FontInfoFile({FontInfoLine(20, 60, 805, 5), FontInfoLine(21, 61), FontInfoLine(999, 62, 0, 12)}));
  store.Write(kOverlayMapTable, 21, 9);
  EXPECT_EQ(LoadFontInfo(store, p), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 60), 20);
  EXPECT_EQ(store.Read(kFontMapTable, 805), 20);
  EXPECT_EQ(store.Read(kOverlayMapTable, 20), 5);
  EXPECT_EQ(store.Read(kOverlayMapTable, 21), 0);  // blank overlay column
  EXPECT_EQ(store.Read(kOverlayMapTable, 999), 12);
}

TEST_F(LoaderTest, FontInfoReadsNumbersAsScanfDoes) {
  auto line = [](const std::string& start) {
    std::string l(130, ' ');
    return l.replace(0, start.size(), start);
  };
  std::string a = line("  3 14");    // blanks before a field do not count toward its width
  std::string b = line("123456");    // three digits each
  std::string c = line("   7   9");  // "   7" is one field, "   9" the next
  std::string d = line(" -4 33");
  std::string e = line("  8301");  // the group's field takes "830"
  auto p = File(FontInfoFile({a, b, c, d, e}));
  EXPECT_EQ(LoadFontInfo(store, p), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 13), 3);
  EXPECT_EQ(store.Read(kFontMapTable, 14), 3);
  EXPECT_EQ(store.Read(kFontMapTable, 456), 123);
  EXPECT_EQ(store.Read(kFontMapTable, 9), 7);
  EXPECT_EQ(store.Read(kFontMapTable, 10), 7);
  EXPECT_EQ(store.Read(kFontMapTable, 33), 0xFFFC);  // group -4 as a word
  EXPECT_EQ(store.Read(kFontMapTable, 1), 830);
  EXPECT_EQ(store.Read(kFontMapTable, 2), 830);
  EXPECT_EQ(store.Read(kOverlayMapTable, 830), 0);
}

TEST_F(LoaderTest, FontInfoSkipsHeadingLettersShortLinesAndLinesWithoutTheBlank) {
  std::string letter = FontInfoLine(1, 70);
  letter[0] = 'A';
  std::string noBlank = FontInfoLine(2, 71);
  noBlank[113] = 'x';
  std::string shortLine = FontInfoLine(3, 72).substr(0, 113);
  std::string text = FontInfoLine(4, 73) + "\r\n" + FontInfoFile({letter, noBlank, shortLine, FontInfoLine(5, 74)});
  EXPECT_EQ(LoadFontInfo(store, File(text)), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 73), 0);  // the first line is a heading
  EXPECT_EQ(store.Read(kFontMapTable, 70), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 71), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 72), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 74), 5);
}

TEST_F(LoaderTest, FontInfoWithoutLineEndsOrWithLongLines) {
  // The last line needs no line end; a line over 255 bytes is read in pieces.
  std::string longLine = FontInfoLine(6, 75) + std::string(200, 'z');
  std::string text = "heading\n" + longLine + "\n" + FontInfoLine(7, 76);
  EXPECT_EQ(LoadFontInfo(store, File(text)), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 75), 6);
  EXPECT_EQ(store.Read(kFontMapTable, 76), 7);
}

TEST_F(LoaderTest, FontInfoPiecesAreCutAfter255Bytes) {
  // 255 bytes, then a whole font line on the same line of the file: the cut
  // falls right before it, so it is read as a line of its own.
  std::string at = std::string(255, 'A') + FontInfoLine(6, 75);
  // One byte more and the second piece starts with that byte: skipped.
  std::string above = std::string(256, 'B') + FontInfoLine(7, 76);
  // A line of exactly 255 bytes (and its line end) is one piece.
  std::string exact = FontInfoLine(8, 77) + std::string(255 - 130, ' ');
  ASSERT_EQ(exact.size(), 255u);
  EXPECT_EQ(LoadFontInfo(store, File(FontInfoFile({at, above, exact, FontInfoLine(9, 78)}))), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 75), 6);
  EXPECT_EQ(store.Read(kFontMapTable, 76), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 77), 8);
  EXPECT_EQ(store.Read(kFontMapTable, 78), 9);
}

TEST_F(LoaderTest, FontInfoNumbersOutsideTheTablesSetNothing) {
  // "%3d" reads -99 to 999: a negative font sets no entry, a negative group
  // no overlay (its font entry holds the group as a word, 1000 or over).
  std::string negativeFont(130, ' ');
  negativeFont.replace(0, 6, "  5 -7");
  negativeFont.replace(125, 2, "04");
  auto p = File(FontInfoFile({negativeFont, FontInfoLine(-3, 80, 0, 9), FontInfoLine(999, 81, 0, 11)}));
  EXPECT_EQ(LoadFontInfo(store, p), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 7), 0);
  EXPECT_EQ(store.Read(kFontMapTable, 0), 0);
  EXPECT_EQ(store.Read(kOverlayMapTable, 5), 4);  // the group's overlay still counts
  EXPECT_EQ(store.Read(kFontMapTable, 80), 0xFFFD);
  for (int g = 0; g < kTableWords; ++g) {
    if (g != 5 && g != 999) {
      ASSERT_EQ(store.Read(kOverlayMapTable, g), 0) << g;
    }
  }
  EXPECT_EQ(store.Read(kOverlayMapTable, 999), 11);
}

TEST_F(LoaderTest, FontInfoEmptyOrMissing) {
  EXPECT_EQ(LoadFontInfo(store, File("")), kFontInfoBroken);
  EXPECT_EQ(LoadFontInfo(store, File("only a heading\r\n")), 0);
  EXPECT_EQ(LoadFontInfo(store, dir.path() / "none.fil"), kFontInfoMissing);
}

// --- ruby table ---

// A sorted ruby table of n pairs: key 0x9000 + 3i gives 0x2500 + i.
std::string RubyBytes(int n) {
  WordPairs pairs;
  for (int i = 0; i < n; ++i) pairs.emplace_back(static_cast<uint16_t>(0x9000 + 3 * i), static_cast<uint16_t>(0x2500 + i));
  return PairBytes(pairs);
}

TEST_F(LoaderTest, RubySearchFindsEveryKeyOfTablesUpTo1024Pairs) {
  for (int n : {1, 2, 3, 5, 17, 100, 511, 512, 513, 700, 1000, 1023, 1024}) {
    SCOPED_TRACE(n);
    ConversionStore s;
    ASSERT_TRUE(s.AllocateFirst() && s.AllocateSecond());
    ASSERT_EQ(LoadRubyTable(s, File(RubyBytes(n))), 0);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(SearchRubyTable(s, static_cast<uint16_t>(0x9000 + 3 * i)), 0x2500 + i) << "pair " << i;
    }
    EXPECT_EQ(SearchRubyTable(s, 0x9001), kGetaMark);
    EXPECT_EQ(SearchRubyTable(s, 0x8FFF), kGetaMark);  // below every key
    EXPECT_EQ(SearchRubyTable(s, static_cast<uint16_t>(0x9000 + 3 * n)), kGetaMark);
  }
}

TEST_F(LoaderTest, RubySearchReachesTenPairsBeyondTheFirst1024) {
  ASSERT_EQ(LoadRubyTable(store, File(RubyBytes(2048))), 0);
  EXPECT_EQ(SearchRubyTable(store, 0x9000 + 3 * 1034), 0x2500 + 1034);
  EXPECT_EQ(SearchRubyTable(store, 0x9000 + 3 * 2000), kGetaMark);
}

TEST_F(LoaderTest, RubySearchOfAFullTableEndsAtPair1542) {
  // 8192 bytes are read: 2048 pairs, and a 2049th is never loaded. The moves
  // from pair 512 reach pair 1532 at most, the steps behind it ten more: the
  // first 1543 pairs of a sorted table are found, the rest never.
  ASSERT_EQ(LoadRubyTable(store, File(RubyBytes(2049))), 0);
  for (int i = 0; i <= 1542; ++i) {
    ASSERT_EQ(SearchRubyTable(store, static_cast<uint16_t>(0x9000 + 3 * i)), 0x2500 + i) << "pair " << i;
  }
  for (int i = 1543; i < 2049; ++i) {
    ASSERT_EQ(SearchRubyTable(store, static_cast<uint16_t>(0x9000 + 3 * i)), kGetaMark) << "pair " << i;
  }
}

TEST_F(LoaderTest, RubyTableOfAnOddLengthAndEmpty) {
  std::string bytes = RubyBytes(3) + "\x07";
  ASSERT_EQ(LoadRubyTable(store, File(bytes)), 0);
  EXPECT_EQ(SearchRubyTable(store, 0x9006), 0x2502);
  EXPECT_EQ(store.Read(kRubyTable, 6), 7);  // the lone last byte is a low byte
  ConversionStore empty;
  ASSERT_TRUE(empty.AllocateFirst() && empty.AllocateSecond());
  ASSERT_EQ(LoadRubyTable(empty, File("")), 0);
  EXPECT_EQ(SearchRubyTable(empty, 0x9000), kGetaMark);
  EXPECT_EQ(LoadRubyTable(store, dir.path() / "none"), kCodeFileMissing);
}

// --- prepare, overlays, ruby conversion ---

class FontTablesTest : public ::testing::Test {
 protected:
  void WriteAll() {
    dir.Write("root/qdxfiles/conv00.tbl", PairBytes({{0x8001, 0x3021}, {0x8002, 0x3022}, {0x8003, 0x3023}}));
    dir.Write("root/qdxfiles/conv021.tbl", PairBytes({{0xC341, 0x2341}}));
    dir.Write("root/qdxfiles/conv022.tbl", PairBytes({{0xC341, 0x2361}}));
    dir.Write("root/qdxfiles/convpi.tbl", PiRecordBytes({{1, 0, 0x2131}}));
    dir.Write("root/qdxfiles/fntinf.fil",
              FontInfoFile({FontInfoLine(1, 1, 0, 0), FontInfoLine(2, 3, 0, 5), FontInfoLine(3, 5, 0, 5),
                            FontInfoLine(4, 7, 0, 6), FontInfoLine(-4, 9), FontInfoLine(5, 805, 0, 7)}));
    dir.Write("root/qdxfiles/conv05.tbl", PairBytes({{0x8001, 0x4021}, {0x8002, 0x4022}, {0x8001, 0x4023}}));
    dir.Write("root/qdxfiles/conv07.tbl", PairBytes({{0x8003, 0x4723}}));
  }
  uint16_t Base(int index) { return t.store.Read(8, index); }

  TempDir dir;
  TablePaths paths{dir.path() / "root", std::nullopt};
  FontTables t;
};

TEST_F(FontTablesTest, PrepareLoadsEveryFile) {
  WriteAll();
  EXPECT_EQ(PrepareFontTables(t, paths), 0);
  EXPECT_EQ(Base(1), 0x3021);
  EXPECT_EQ(t.store.Read(kRomanTableA, 0x341), 0x2341);
  EXPECT_EQ(t.store.Read(kRomanTableB, 0x341), 0x2361);
  EXPECT_EQ(t.store.Read(kPiTable, 3), 0x2131);
  EXPECT_EQ(t.store.Read(kFontMapTable, 4), 2);
  EXPECT_EQ(t.appliedOverlay, 0);
  EXPECT_EQ(t.store.undoPairs(), 0);
}

TEST_F(FontTablesTest, PrepareStopsAtTheFirstMissingFileWithItsCode) {
  WriteAll();
  struct Step {
    const char* file;
    int16_t code;
  } steps[] = {{"fntinf.fil", kFontInfoMissing},
               {"convpi.tbl", kPiCodesMissing},
               {"conv022.tbl", kRomanBMissing},
               {"conv021.tbl", kRomanAMissing},
               {"conv00.tbl", kCodeFileMissing}};
  for (const Step& s : steps) {
    std::filesystem::remove(dir.path() / "root/qdxfiles" / s.file);
    FontTables fresh;
    EXPECT_EQ(PrepareFontTables(fresh, paths), s.code) << s.file;
    EXPECT_EQ(fresh.prepareResult, s.code);
    EXPECT_NE(fresh.prepareFailure.Text().find(s.file), std::string::npos) << fresh.prepareFailure.Text();
    EXPECT_TRUE(fresh.store.allocated());
  }
}

TEST_F(FontTablesTest, PrefixedFilesComeFromMtblAndCodeFilesFromTheRoot) {
  WriteAll();
  dir.Write("mtbl/QDXFILES/conv021.tbl", PairBytes({{0xC341, 0x2345}}));
  dir.Write("mtbl/QDXFILES/conv022.tbl", "");
  dir.Write("mtbl/QDXFILES/convpi.tbl", "");
  dir.Write("mtbl/QDXFILES/FNTINF.FIL", FontInfoFile({FontInfoLine(9, 33)}));
  TablePaths prefixed(dir.path() / "root", (dir.path() / "mtbl").string());
  EXPECT_EQ(PrepareFontTables(t, prefixed), 0);
  EXPECT_EQ(Base(1), 0x3021);
  EXPECT_EQ(t.store.Read(kRomanTableA, 0x341), 0x2345);
  EXPECT_EQ(t.store.Read(kFontMapTable, 33), 9);
  EXPECT_EQ(t.store.Read(kFontMapTable, 1), 0);
}

TEST_F(FontTablesTest, OverlaysSwitchAndUndo) {
  WriteAll();
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  SelectOverlay(t, paths, 3);  // group 2, overlay 5
  EXPECT_EQ(t.appliedOverlay, 5);
  EXPECT_EQ(Base(1), 0x4023);
  EXPECT_EQ(Base(2), 0x4022);
  SelectOverlay(t, paths, 5);  // group 3, also overlay 5: nothing happens
  EXPECT_EQ(t.store.undoPairs(), 3);
  EXPECT_EQ(Base(1), 0x4023);
  SelectOverlay(t, paths, 1);  // overlay 0: the base comes back, even for the key named twice
  EXPECT_EQ(t.appliedOverlay, 0);
  EXPECT_EQ(Base(1), 0x3021);
  EXPECT_EQ(Base(2), 0x3022);
  EXPECT_EQ(t.store.undoPairs(), 0);
  SelectOverlay(t, paths, 805);  // a ruby font looks up its own number
  EXPECT_EQ(t.appliedOverlay, 7);
  EXPECT_EQ(Base(3), 0x4723);
  SelectOverlay(t, paths, 9);  // group -4 reads as 0xFFFC, over 1000: no change
  EXPECT_EQ(t.appliedOverlay, 7);
  SelectOverlay(t, paths, 4);
  EXPECT_EQ(Base(3), 0x3023);
  EXPECT_EQ(Base(1), 0x4023);
}

TEST_F(FontTablesTest, AnOverlaySelectedAgainAppliesWhatItsFileGaveWithoutReadingIt) {
  WriteAll();
  // Overlay 6 is larger than an overlay that is kept (the undo list takes
  // its first 4032 records).
  WordPairs large = {{0x8003, 0x4623}};
  large.resize(kKeptOverlayRecords + 1, {0x8002, 0x4622});
  dir.Write("root/qdxfiles/conv06.tbl", PairBytes(large));
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  SelectOverlay(t, paths, 3);  // overlay 5, read
  SelectOverlay(t, paths, 7);  // overlay 6, read
  SelectOverlay(t, paths, 1);
  // Gone from the disk: overlay 5 applies as it was read, the key named
  // twice included, and undoes as before; overlay 6, too large to be kept,
  // is read again and so is missing now.
  std::filesystem::remove(dir.path() / "root/qdxfiles/conv05.tbl");
  std::filesystem::remove(dir.path() / "root/qdxfiles/conv06.tbl");
  for (int round = 0; round < 2; ++round) {
    SelectOverlay(t, paths, 3);
    EXPECT_EQ(t.appliedOverlay, 5);
    EXPECT_EQ(Base(1), 0x4023);
    EXPECT_EQ(Base(2), 0x4022);
    EXPECT_EQ(t.store.undoPairs(), 3);
    SelectOverlay(t, paths, 7);
    EXPECT_EQ(t.appliedOverlay, 0);
    EXPECT_EQ(Base(1), 0x3021);
    EXPECT_EQ(Base(3), 0x3023);
  }
  // A large overlay still applies whole while its file is there.
  dir.Write("root/qdxfiles/conv06.tbl", PairBytes(large));
  SelectOverlay(t, paths, 7);
  EXPECT_EQ(Base(2), 0x4622);
  EXPECT_EQ(Base(3), 0x4623);
  // The next job reads its overlays afresh.
  dir.Write("root/qdxfiles/conv05.tbl", PairBytes({{0x8001, 0x4031}}));
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  SelectOverlay(t, paths, 3);
  EXPECT_EQ(Base(1), 0x4031);
  EXPECT_EQ(Base(2), 0x3022);
}

TEST_F(FontTablesTest, AKeptOverlayAppliedAgainWritesWhatItsFileWrote) {
  WriteAll();
  // Keys 0 and keys of no table, a key named twice, and more records than
  // the undo list takes, still few enough to be kept.
  WordPairs pairs = {{0x0000, 0x1111}, {0x3011, 0x1112}, {0xD001, 0x1113}, {0x8001, 0x4001}, {0x1005, 0x4002}};
  for (uint16_t i = 0; pairs.size() < kUndoPairs + 50; ++i) {
    pairs.emplace_back(static_cast<uint16_t>(0x8000 + i), static_cast<uint16_t>(0x5000 + i));
  }
  ASSERT_LE(pairs.size(), kKeptOverlayRecords);
  dir.Write("root/qdxfiles/conv07.tbl", PairBytes(pairs));
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  auto snapshot = [&] {
    std::vector<uint16_t> all;
    for (int table = 0; table < 22; ++table) {
      for (int i = 0; i < kTableWords; ++i) all.push_back(t.store.Read(table, i));
    }
    all.push_back(static_cast<uint16_t>(t.store.undoPairs()));
    return all;
  };
  const std::vector<uint16_t> base = snapshot();
  SelectOverlay(t, paths, 805);  // overlay 7, from its file
  const std::vector<uint16_t> read = snapshot();
  EXPECT_EQ(t.store.undoPairs(), kUndoPairs);
  std::filesystem::remove(dir.path() / "root/qdxfiles/conv07.tbl");
  for (int round = 0; round < 2; ++round) {
    SelectOverlay(t, paths, 1);
    EXPECT_TRUE(snapshot() == base);
    SelectOverlay(t, paths, 805);  // from what was kept
    EXPECT_TRUE(snapshot() == read);
  }
}

// The tables kept as they held the base and an overlay are not put back
// once anything but the overlays changed them: that change would be lost.
TEST_F(FontTablesTest, TablesChangedBesideTheOverlaysAreNotPutBackAsTheyWere) {
  WriteAll();
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  SelectOverlay(t, paths, 3);  // overlay 5
  SelectOverlay(t, paths, 1);  // the base
  t.store.Write(8, 3, 0x3033);
  SelectOverlay(t, paths, 3);
  EXPECT_EQ(Base(1), 0x4023);
  EXPECT_EQ(Base(3), 0x3033);
  SelectOverlay(t, paths, 1);
  EXPECT_EQ(Base(1), 0x3021);
  EXPECT_EQ(Base(3), 0x3033);
  EXPECT_EQ(t.store.undoPairs(), 0);
}

TEST_F(FontTablesTest, FontsBeyondTheFontMapCountAsFontsWithoutAnEntry) {
  WriteAll();
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  t.store.Write(kFontMapTable, 4095, 2);  // the last font of the map: group 2, overlay 5
  t.store.Write(kOverlayMapTable, 0, 7);  // fonts without an entry: group 0, overlay 7
  SelectOverlay(t, paths, 4095);
  EXPECT_EQ(t.appliedOverlay, 5);
  EXPECT_EQ(Base(1), 0x4023);
  for (int16_t font : {int16_t{4096}, int16_t{32767}, int16_t{-1}}) {
    SCOPED_TRACE(font);
    SelectOverlay(t, paths, 4095);
    SelectOverlay(t, paths, font);
    EXPECT_EQ(t.appliedOverlay, 7);
    EXPECT_EQ(Base(1), 0x3021);
    EXPECT_EQ(Base(3), 0x4723);
  }
}

TEST_F(FontTablesTest, MissingOverlayFileLeavesTheBaseRestored) {
  WriteAll();
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  SelectOverlay(t, paths, 3);
  SelectOverlay(t, paths, 7);  // overlay 6 has no file
  EXPECT_EQ(t.appliedOverlay, 0);
  EXPECT_EQ(Base(1), 0x3021);
  SelectOverlay(t, paths, 3);  // and overlay 5 applies again afterwards
  EXPECT_EQ(Base(1), 0x4023);
}

TEST_F(FontTablesTest, AnOverlayFileIsLookedForOnceAPass) {
  WriteAll();
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  SelectOverlay(t, paths, 7);  // overlay 6 has no file
  EXPECT_EQ(t.appliedOverlay, 0);
  ASSERT_EQ(t.notes.size(), 1u);
  EXPECT_NE(t.notes[0].Text().find("conv06.tbl missing; the fonts of the groups with overlay 6 keep the base codes"),
            std::string::npos)
      << t.notes[0].Text();
  // A file that turns up later in the pass is not looked for, nor noted again.
  dir.Write("root/qdxfiles/conv06.tbl", PairBytes({{0x8003, 0x4623}}));
  SelectOverlay(t, paths, 3);
  SelectOverlay(t, paths, 7);
  EXPECT_EQ(t.appliedOverlay, 0);
  EXPECT_EQ(Base(3), 0x3023);
  EXPECT_EQ(t.notes.size(), 1u);
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  EXPECT_TRUE(t.notes.empty());
  SelectOverlay(t, paths, 7);
  EXPECT_EQ(Base(3), 0x4623);

  // A file too large to be kept is read at every switch to it, under the
  // name found the first time: its name is not matched against the folder
  // again.
  std::filesystem::remove(dir.path() / "root/qdxfiles/conv06.tbl");
  WordPairs large(kKeptOverlayRecords + 1, {0x8002, 0x4622});
  dir.Write("root/qdxfiles/CONV06.TBL", PairBytes(large));
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  SelectOverlay(t, paths, 7);
  EXPECT_EQ(Base(2), 0x4622);
  dir.Write("root/qdxfiles/conv06.tbl", PairBytes({{0x8002, 0x4699}}));
  large.assign(kKeptOverlayRecords + 1, {0x8002, 0x4655});
  dir.Write("root/qdxfiles/CONV06.TBL", PairBytes(large));
  SelectOverlay(t, paths, 1);
  SelectOverlay(t, paths, 7);
  EXPECT_EQ(Base(2), 0x4655);
  EXPECT_TRUE(t.notes.empty());
}

TEST_F(FontTablesTest, RubyConvertLoadsOnFirstUseAndNotesAMissingFileOnce) {
  WriteAll();
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  uint16_t code = 0x9003;
  EXPECT_EQ(RubyConvert(t, paths, code), kCodeFileMissing);
  EXPECT_EQ(code, 0x9003);
  EXPECT_FALSE(t.rubyLoaded);
  ASSERT_EQ(t.notes.size(), 1u);
  EXPECT_NE(t.notes[0].Text().find("convura.tbl missing"), std::string::npos) << t.notes[0].Text();
  // Not looked for again in the pass; the next pass finds it.
  dir.Write("root/qdxfiles/convura.tbl", RubyBytes(4));
  EXPECT_EQ(RubyConvert(t, paths, code), kCodeFileMissing);
  EXPECT_EQ(t.notes.size(), 1u);
  ASSERT_EQ(PrepareFontTables(t, paths), 0);
  EXPECT_TRUE(t.notes.empty());
  EXPECT_EQ(RubyConvert(t, paths, code), 0);
  EXPECT_EQ(code, 0x2501);
  code = 0x9004;
  EXPECT_EQ(RubyConvert(t, paths, code), 0);
  EXPECT_EQ(code, kGetaMark);
  ReleaseFontTables(t);
  EXPECT_FALSE(t.rubyLoaded);
  EXPECT_FALSE(t.store.allocated());
}

}  // namespace
}  // namespace velkan
