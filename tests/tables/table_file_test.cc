#include "tables/table_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_support.h"

namespace velkan {
namespace {

using test::TempDir;
using Lines = std::vector<std::string_view>;

TEST(TableFileTest, LinesEndAtLineFeedsAndACrBeforeOneIsDropped) {
  EXPECT_EQ(SplitTableLines("ab\r\ncd\nef", 79), (Lines{"ab", "cd", "ef"}));
  // A lone CR stays part of the line; only the one before a line feed goes.
  EXPECT_EQ(SplitTableLines("a\rb\r\r\n", 79), (Lines{"a\rb\r"}));
  EXPECT_EQ(SplitTableLines("\n\r\n", 79), (Lines{"", ""}));
  EXPECT_TRUE(SplitTableLines("", 79).empty());
}

TEST(TableFileTest, LongLinesAreReadInPieces) {
  std::string line(10, 'x');
  line += "yyyyy";
  std::string text = line + "\r\nz";
  EXPECT_EQ(SplitTableLines(text, 5), (Lines{"xxxxx", "xxxxx", "yyyyy", "z"}));
  EXPECT_EQ(SplitTableLines("abcdefg", 5), (Lines{"abcde", "fg"}));
}

TEST(TableFileTest, ReadsWholeFilesAndRejectsWhatIsNoFile) {
  TempDir dir;
  std::string big(200000, 'q');
  big[123456] = '\0';
  auto file = dir.Write("t.tbl", big);
  std::string bytes = "old";
  EXPECT_EQ(ReadTableFile(file, bytes), TableFileStatus::kRead);
  EXPECT_EQ(bytes, big);
  EXPECT_EQ(ReadTableFile(dir.path() / "missing.tbl", bytes), TableFileStatus::kCannotOpen);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(ReadTableFile(dir.path(), bytes), TableFileStatus::kCannotOpen);
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(ReadTableFile(dir.path() / "fifo", bytes), TableFileStatus::kCannotOpen);
}

}  // namespace
}  // namespace velkan
