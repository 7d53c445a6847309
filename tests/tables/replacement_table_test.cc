#include "tables/replacement_table.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WordBytes;

class ReplacementTableTest : public ::testing::Test {
 protected:
  int16_t Load(const std::string& content) {
    root_.Write("qdxfiles/nmcnv.tbl", content);
    return LoadReplacementTable(table_, TablePaths(root_.path(), std::nullopt));
  }
  TempDir root_;
  ReplacementTable table_;
};

TEST_F(ReplacementTableTest, ALineGivesAKeyAndBigEndianWords) {
  ASSERT_EQ(Load("ab=D00A,8140\r\n=8141\r\nnoequals 8142\r\n"), 0);
  ASSERT_EQ(table_.size(), 1u);
  EXPECT_EQ(table_[0].Key(), "ab");
  EXPECT_EQ(table_[0].wordCount, 2);
  EXPECT_EQ(table_[0].Word(0), 0xD00A);
  EXPECT_EQ(table_[0].Word(1), 0x8140);
  EXPECT_EQ(table_[0].WordBytes(), WordBytes({0xD00A, 0x8140}));
}

TEST_F(ReplacementTableTest, WordsNeedNoCommasAndScanningStopsAtOtherCharacters) {
  ASSERT_EQ(Load(test::Sjis("丸1=d00a8140;9999\n") +
                 "k=12,,34,5678 9ABC\nshort=123\nbad=x1234\nhalf=1234567\n"),
            0);
  ASSERT_EQ(table_.size(), 3u);
  EXPECT_EQ(table_[0].Key(), test::Sjis("丸1"));
  EXPECT_EQ(table_[0].WordBytes(), WordBytes({0xD00A, 0x8140}));
  // Commas between digits are skipped; the blank ends the scan.
  EXPECT_EQ(table_[1].WordBytes(), WordBytes({0x1234, 0x5678}));
  // Digits that do not make a whole word are dropped.
  EXPECT_EQ(table_[2].Key(), "half");
  EXPECT_EQ(table_[2].WordBytes(), WordBytes({0x1234}));
}

TEST_F(ReplacementTableTest, LimitsCutKeysWordsAndTheTable) {
  std::string key25(25, 'K');
  std::string words12;
  for (int i = 0; i < 12; ++i) words12 += "A00" + std::to_string(i % 10) + ",";
  std::string text = key25 + "=1111\nw=" + words12 + "\n";
  for (int i = 0; i < 300; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "e%03d=8140\n", i);
    text += line;
  }
  ASSERT_EQ(Load(text), 0);
  ASSERT_EQ(table_.size(), kMaxReplacementEntries);
  EXPECT_EQ(table_[0].Key(), std::string(20, 'K'));
  EXPECT_EQ(table_[1].wordCount, kMaxReplacementWords);
  EXPECT_EQ(table_[1].Word(9), 0xA009);
  EXPECT_EQ(table_[255].Key(), "e253");
  EXPECT_EQ(table_.Match("e254"), nullptr);
  ASSERT_NE(table_.Match("e253"), nullptr);
  // The cut key matches the text that begins with its 20 bytes.
  EXPECT_EQ(table_.Match(std::string(20, 'K')), &table_[0]);
}

TEST_F(ReplacementTableTest, KeysWordsAndEntriesAtTheirLimits) {
  std::string text = std::string(19, 'a') + "=0001\n" +  // keys of 19, 20 and 21 bytes
                     std::string(20, 'b') + "=0002\n" +
                     std::string(21, 'c') + "=0003\n";
  std::string nine, ten, eleven;
  for (int i = 0; i < 11; ++i) {
    std::string w = "B00" + std::to_string(i % 10);
    if (i < 9) nine += w;
    if (i < 10) ten += w;
    eleven += w;
  }
  text += "w9=" + nine + "\nw10=" + ten + "\nw11=" + eleven + "\n";
  // 256 entries in all: six above, then 250 more; the 257th line is dropped.
  for (int i = 0; i < 251; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "e%03d=8140\n", i);
    text += line;
  }
  ASSERT_EQ(Load(text), 0);
  ASSERT_EQ(table_.size(), kMaxReplacementEntries);
  EXPECT_EQ(table_[0].Key(), std::string(19, 'a'));
  EXPECT_EQ(table_[1].Key(), std::string(20, 'b'));
  EXPECT_EQ(table_[2].Key(), std::string(20, 'c'));
  EXPECT_EQ(table_[3].wordCount, 9);
  EXPECT_EQ(table_[4].wordCount, 10);
  EXPECT_EQ(table_[5].wordCount, 10);
  EXPECT_EQ(table_[5].Word(9), 0xB009);
  EXPECT_EQ(table_[255].Key(), "e249");
  EXPECT_EQ(table_.Match("e250"), nullptr);
}

TEST_F(ReplacementTableTest, OnlyTheFirst75CharactersAfterTheEqualsSignAreScanned) {
  // 69 commas, then two words: the second word ends beyond the 75 scanned.
  std::string line = "k=" + std::string(69, ',') + "1234" + "5678";
  ASSERT_EQ(line.size(), kReplacementLineLength);
  ASSERT_EQ(Load(line + "\n"), 0);
  ASSERT_EQ(table_.size(), 1u);
  EXPECT_EQ(table_[0].WordBytes(), WordBytes({0x1234}));
}

TEST_F(ReplacementTableTest, LongLinesAreReadInPieces) {
  // The "=" of the first line lies beyond its first piece; the second piece
  // is then a line of its own.
  std::string line = std::string(79, 'x') + "yy=8140";
  ASSERT_EQ(Load(line + "\n"), 0);
  ASSERT_EQ(table_.size(), 1u);
  EXPECT_EQ(table_[0].Key(), "yy");
}

TEST_F(ReplacementTableTest, MatchesTheFirstEntryInFileOrderWithoutReadingPastTheText) {
  ASSERT_EQ(Load("abc=0001\nab=0002\na=0003\nab=0004\nb=0005\n"), 0);
  EXPECT_EQ(table_.Match("abcd")->Word(0), 0x0001);
  EXPECT_EQ(table_.Match("ab")->Word(0), 0x0002);
  EXPECT_EQ(table_.Match("a")->Word(0), 0x0003);
  EXPECT_EQ(table_.Match("bx")->Word(0), 0x0005);
  EXPECT_EQ(table_.Match("xab"), nullptr);
  EXPECT_EQ(table_.Match(""), nullptr);
  // A view that ends before a longer key: the longer key cannot match.
  std::string buffer = "abc";
  EXPECT_EQ(table_.Match(std::string_view(buffer.data(), 2))->Word(0), 0x0002);
}

TEST_F(ReplacementTableTest, MissingEmptyAndDirectoryFilesLeaveTheTableEmpty) {
  ASSERT_EQ(Load("a=0001\n"), 0);
  ASSERT_EQ(Load(""), 0);
  EXPECT_TRUE(table_.empty());
  ASSERT_EQ(Load("a=0001\n"), 0);
  fs::remove(root_.path() / "qdxfiles" / "nmcnv.tbl");
  EXPECT_EQ(LoadReplacementTable(table_, TablePaths(root_.path(), std::nullopt)), -1);
  EXPECT_TRUE(table_.empty());
  fs::create_directory(root_.path() / "qdxfiles" / "nmcnv.tbl");
  EXPECT_EQ(LoadReplacementTable(table_, TablePaths(root_.path(), std::nullopt)), -1);
  EXPECT_TRUE(table_.empty());
}

}  // namespace
}  // namespace velkan
