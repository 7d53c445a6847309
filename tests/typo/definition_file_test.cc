// Look-ups in the definition file: sections, whole keys, values to the end of
// the line, line ends and the 259-byte line limit.
#include "typo/definition_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"
#include "tables/table_file.h"

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

// The look-up as a pass over the lines: the first whole header of the
// section starts it, the next line starting with "<" ends it, the first key
// line of the key wins.
std::optional<std::string> ScanLines(const std::vector<std::string_view>& lines, std::string_view section,
                                     std::string_view key) {
  bool inSection = false;
  for (std::string_view line : lines) {
    if (!inSection) {
      inSection = line.size() == section.size() + 2 && line.front() == '<' && line.back() == '>' &&
                  line.substr(1, section.size()) == section;
      continue;
    }
    if (!line.empty() && line[0] == '<') return std::nullopt;
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos && line.substr(0, eq) == key) return std::string(line.substr(eq + 1));
  }
  return std::nullopt;
}

TEST(DefinitionFile, TheIndexFindsWhatAPassOverTheLinesFinds) {
  // Small files of headers, key lines and stray bytes over a few names:
  // headers repeated, keys given twice, empty sections and keys, lines
  // before any header, lines that start with "<" and are no header.
  const std::string_view names[] = {"", "a", "b", "ab", "a>", "<a", "a=b", "=", "ba"};
  const char stray[] = "<>=ab";
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  auto name = [&] { return std::string(names[next() % std::size(names)]); };
  int found = 0;
  for (int file = 0; file < 3000; ++file) {
    std::string text;
    for (unsigned n = next() % 12; n > 0; --n) {
      switch (next() % 4) {
        case 0: text += "<" + name() + ">"; break;
        case 1:
        case 2: text += name() + "=" + name(); break;
        default:
          for (unsigned k = next() % 4; k > 0; --k) text += stray[next() % (sizeof stray - 1)];
      }
      text += next() % 3 == 0 ? "\r\n" : "\n";
    }
    DefinitionFile d;
    d.OpenFromMemory(text);
    const std::vector<std::string_view> lines = SplitTableLines(text, kMostDefinitionLine);
    for (std::string_view section : names) {
      for (std::string_view key : names) {
        const std::optional<std::string> want = ScanLines(lines, section, key);
        ASSERT_EQ(d.Lookup(section, key), want) << "file \"" << text << "\" section " << section << " key " << key;
        found += want.has_value();
      }
    }
  }
  // The files are such that many look-ups find something.
  EXPECT_GT(found, 1000);
}

TEST(DefinitionFile, ManyKeysInManySections) {
  // Every key given twice in its section, and every section header given
  // again later with other values: the first line of a key, in the first
  // section of a name, is the one found.
  std::string text;
  for (int round = 0; round < 2; ++round) {
    for (int s = 0; s < 40; ++s) {
      text += "<S" + std::to_string(s) + ">\n";
      for (int twice = 0; twice < 2; ++twice) {
        for (int k = 99; k >= 0; --k) {
          text += std::to_string(k) + "=" + std::to_string(round) + std::to_string(twice) + "\n";
        }
      }
      if (round == 1) text += "late=1\n";
    }
  }
  DefinitionFile d;
  d.OpenFromMemory(text);
  for (int s = 0; s < 40; ++s) {
    const std::string section = "S" + std::to_string(s);
    for (int k = 0; k < 100; ++k) ASSERT_EQ(d.Lookup(section, std::to_string(k)), "00") << section << " " << k;
    EXPECT_EQ(d.Lookup(section, "late"), std::nullopt);
    EXPECT_EQ(d.Lookup(section, "100"), std::nullopt);
  }
  EXPECT_EQ(d.Lookup("S", "1"), std::nullopt);
  EXPECT_EQ(d.Lookup("S40", "1"), std::nullopt);
}

}  // namespace
}  // namespace velkan::test
