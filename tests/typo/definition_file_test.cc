#include "typo/definition_file.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velkan {
namespace {

using test::Sjis;
using test::TempDir;

const std::string kFonts = Sjis("書体名");
const std::string kColours = Sjis("カラー");

TEST(DefinitionFileTest, KeysMatchWholeInsideTheirSection) {
  DefinitionFile d;
  d.OpenFromMemory("<" + kColours + ">\n3=" + Sjis("赤") + "\n<" + kFonts + ">\n30=" + Sjis("明朝") +
                   "\nnoequals\n3=" + Sjis("ゴシック") + " B=x\n");
  EXPECT_EQ(d.Lookup(kFonts, "3"), Sjis("ゴシック") + " B=x");  // the value runs to the line end
  EXPECT_EQ(d.Lookup(kFonts, "30"), Sjis("明朝"));
  EXPECT_EQ(d.Lookup(kColours, "3"), Sjis("赤"));
  EXPECT_EQ(d.Lookup(kFonts, "0"), std::nullopt);
  EXPECT_EQ(d.Lookup("PI", "3"), std::nullopt);
}

TEST(DefinitionFileTest, ALineStartingWithALessThanSignEndsTheSection) {
  DefinitionFile d;
  d.OpenFromMemory("<" + kFonts + ">\n1=A\n<other>\n2=B\n<" + kFonts + ">\n2=C\n");
  EXPECT_EQ(d.Lookup(kFonts, "1"), "A");
  // The search ends at "<other>" and never reaches the second header.
  EXPECT_EQ(d.Lookup(kFonts, "2"), std::nullopt);
  EXPECT_EQ(d.Lookup("other", "2"), "B");
  DefinitionFile e;
  e.OpenFromMemory("<PI>\n<007=nope\n007=yes\n");
  EXPECT_EQ(e.Lookup("PI", "007"), std::nullopt);
}

TEST(DefinitionFileTest, HeadersMatchWholeLinesAndCrLfEndsALine) {
  DefinitionFile d;
  d.OpenFromMemory("<PI> \r\n007=no\r\n<PI>\r\n007=" + Sjis("記号") + "\r\n7=short\r\n");
  EXPECT_EQ(d.Lookup("PI", "007"), Sjis("記号"));  // no CR in the value
  EXPECT_EQ(d.Lookup("PI", "7"), "short");
  DefinitionFile lone;
  lone.OpenFromMemory("<PI>\r007=x\n");  // a lone CR ends nothing
  EXPECT_EQ(lone.Lookup("PI", "007"), std::nullopt);
}

TEST(DefinitionFileTest, LongLinesAreReadIn259BytePieces) {
  DefinitionFile d;
  std::string longValue(300, 'v');
  // The tail of the first line, from byte 259 on, is a line of its own.
  std::string filler = "#" + std::string(258, '-');
  d.OpenFromMemory("<PI>\n001=" + longValue + "\n" + filler + "002=tail\n");
  EXPECT_EQ(d.Lookup("PI", "001"), std::string(259 - 4, 'v'));
  EXPECT_EQ(d.Lookup("PI", "002"), "tail");
  // The remaining 45 v's form a line without "=": ignored.
  EXPECT_EQ(d.Lookup("PI", std::string(45, 'v')), std::nullopt);
}

TEST(DefinitionFileTest, MissingFilesAndDirectoriesFindNothing) {
  TempDir dir;
  DefinitionFile d;
  EXPECT_EQ(d.Lookup("PI", "001"), std::nullopt);
  EXPECT_FALSE(d.Open((dir.path() / "missing.def").string()));
  EXPECT_FALSE(d.isOpen());
  EXPECT_FALSE(d.Open(dir.path().string()));
  EXPECT_FALSE(d.isOpen());
  auto file = dir.Write("job.def", "<PI>\n001=x\n");
  ASSERT_TRUE(d.Open(file.string()));
  EXPECT_EQ(d.Lookup("PI", "001"), "x");
  // A failed open closes what was open before.
  EXPECT_FALSE(d.Open((dir.path() / "missing.def").string()));
  EXPECT_EQ(d.Lookup("PI", "001"), std::nullopt);
}

}  // namespace
}  // namespace velkan
