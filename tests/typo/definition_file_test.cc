// Look-ups in the definition file: sections, whole keys, values to the end of
// the line, line ends and the 259-byte line limit.
#include "typo/definition_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace velkan::test {
namespace {

std::optional<std::string> Find(const std::string& content, const std::string& section, const std::string& key) {
  DefinitionFile d;
  d.OpenFromMemory(content);
  return d.Lookup(section, key);
}

TEST(DefinitionFile, ClosedFileFindsNothing) {
  DefinitionFile d;
  EXPECT_FALSE(d.isOpen());
  EXPECT_EQ(d.Lookup("F", "1"), std::nullopt);
  EXPECT_FALSE(d.Open("/nonexistent/velkan/defs.def"));
  EXPECT_EQ(d.Lookup("F", "1"), std::nullopt);
}

TEST(DefinitionFile, CarriageReturnBeforeLineFeedIsNoPartOfTheLine) {
  const std::string text = "<F>\r\n1=Mincho\r\n2=Gothic\r\n";
  EXPECT_EQ(Find(text, "F", "1"), "Mincho");
  EXPECT_EQ(Find(text, "F", "2"), "Gothic");
  // A last line without a line end counts too.
  EXPECT_EQ(Find("<F>\r\n3=Round", "F", "3"), "Round");
}

TEST(DefinitionFile, CarriageReturnElsewhereStays) {
  EXPECT_EQ(Find("<F>\n1=a\rb\n", "F", "1"), "a\rb");
  EXPECT_EQ(Find("<F>\n1=ab\r", "F", "1"), "ab\r");
}

TEST(DefinitionFile, KeyMatchesWholeAndValueRunsToTheEnd) {
  const std::string text = "<F>\n30=Thirty\n3= three = 3 \n=empty key\n";
  EXPECT_EQ(Find(text, "F", "3"), " three = 3 ");
  EXPECT_EQ(Find(text, "F", "30"), "Thirty");
  EXPECT_EQ(Find(text, "F", ""), "empty key");
  EXPECT_EQ(Find(text, "F", "0"), std::nullopt);
  EXPECT_EQ(Find("<F>\n4=\n", "F", "4"), "");
}

TEST(DefinitionFile, SectionsStartAtTheirWholeHeaderAndEndAtTheNextAngle) {
  const std::string text =
      "1=before\n"
      "<F> \n"
      "1=not a header\n"
      "<F>\n"
      "no equals sign\n"
      "2=two\n"
      "<other\n"
      "1=after\n"
      "<F>\n"
      "1=second section of the same name\n";
  EXPECT_EQ(Find(text, "F", "2"), "two");
  // The first section of the name is the only one searched.
  EXPECT_EQ(Find(text, "F", "1"), std::nullopt);
  EXPECT_EQ(Find(text, "G", "1"), std::nullopt);
}

TEST(DefinitionFile, ShiftJisSectionNames) {
  const std::string text = Sjis("<書体名>\r\n3=明朝体\r\n<カラー>\r\n3=藍色\r\n");
  EXPECT_EQ(Find(text, Sjis("書体名"), "3"), Sjis("明朝体"));
  EXPECT_EQ(Find(text, Sjis("カラー"), "3"), Sjis("藍色"));
}

TEST(DefinitionFile, LongLinesAreReadInPiecesOf259Bytes) {
  // A value cut at the line limit: the piece after the cut is a line of its
  // own, and here one that starts a new key.
  std::string first = "1=" + std::string(257, 'v');
  std::string text = "<F>\n" + first + "2=rest\n";
  EXPECT_EQ(Find(text, "F", "1"), std::string(257, 'v'));
  EXPECT_EQ(Find(text, "F", "2"), "rest");
  // A piece that starts with "<" ends the section.
  text = "<F>\n" + std::string(259, 'x') + "<\n3=three\n";
  EXPECT_EQ(Find(text, "F", "3"), std::nullopt);
  // A line of exactly 259 bytes and its CR LF is one line.
  text = "<F>\n" + first + "\r\n3=three\r\n";
  EXPECT_EQ(Find(text, "F", "1"), std::string(257, 'v'));
  EXPECT_EQ(Find(text, "F", "3"), "three");
}

TEST(DefinitionFile, OpensAFileOnDisk) {
  TempDir dir;
  auto path = dir.Write("names.def", "<F>\r\n5=Five\r\n");
  DefinitionFile d;
  ASSERT_TRUE(d.Open(path.string()));
  EXPECT_EQ(d.Lookup("F", "5"), "Five");
  d.Close();
  EXPECT_EQ(d.Lookup("F", "5"), std::nullopt);
}

TEST(DefinitionFile, ADirectoryIsNoDefinitionFileAndAFailedOpenClosesTheOldOne) {
  TempDir dir;
  auto path = dir.Write("names.def", "<F>\n5=Five\n");
  DefinitionFile d;
  ASSERT_TRUE(d.Open(path.string()));
  EXPECT_FALSE(d.Open(dir.path().string()));
  EXPECT_FALSE(d.isOpen());
  EXPECT_EQ(d.Lookup("F", "5"), std::nullopt);
}

}  // namespace
}  // namespace velkan::test
