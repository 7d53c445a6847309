// The table tools read font information lines as the converter's loader
// does: for a file of varied lines, the groups and overlays they derive are
// those the loader puts into FontMap and OverlayMap.
#include "tools/font_info_lines.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tables/conversion_store.h"
#include "tables/font_tables.h"

namespace velkan {
namespace {

std::string FontLine(const std::string& start, const std::string& at110, const std::string& at125,
                     char at113 = ' ') {
  std::string line(127, ' ');
  line.replace(0, start.size(), start);
  line.replace(110, at110.size(), at110);
  line[113] = at113;
  line.replace(125, at125.size(), at125);
  return line;
}

TEST(FontInfoLines, TheToolsReadLinesAsTheLoaderDoes) {
  std::vector<std::string> lines = {
      "title line, never read",
      FontLine("  1  1", "", "00"),         // fonts 1 and 2
      FontLine("  2 12", "17 ", "03"),       // fonts 11 and 12, also 17, overlay 3
      FontLine("  4301", "", "  "),          // "%3d%3d" reads group 430, font 1 (and 2); overlay blank: 0
      FontLine("100301", "", "04"),          // fonts 301 and 302
      FontLine(" 10227", "228", "05"),       // font 227 only, also 228
      FontLine("  6 50", " 51", "07"),       // a blank column 110 hides the further font
      FontLine("  7 60", "", "08", 'x'),     // column 113 is no blank: not used
      "A  8 70" + std::string(120, ' '),     // begins with a letter: not used
      FontLine("999900", "", "09"),          // group 999, font 900
      FontLine("200801", "802", "02"),       // a ruby font, also the next
  };
  std::string file;
  for (const std::string& l : lines) file += l + "\r\n";

  test::TempDir dir;
  ConversionStore store;
  ASSERT_TRUE(store.AllocateFirst() && store.AllocateSecond());
  ASSERT_EQ(LoadFontInfo(store, dir.Write("fntinf.fil", file)), 0);

  std::vector<int> fontMap(4096, 0), overlayMap(4096, 0);
  for (size_t i = 1; i < lines.size(); ++i) {
    auto f = ReadFontInfoLine(lines[i]);
    if (!f) continue;
    fontMap[static_cast<size_t>(f->font)] = f->group;
    if (f->pairedFont) fontMap[static_cast<size_t>(f->font + 1)] = f->group;
    if (f->alsoFont >= 0) fontMap[static_cast<size_t>(f->alsoFont)] = f->group;
    if (f->setsOverlay) overlayMap[static_cast<size_t>(f->group)] = f->overlay;
  }
  for (int i = 0; i < 4096; ++i) {
    EXPECT_EQ(store.Read(kFontMapTable, i), fontMap[static_cast<size_t>(i)]) << "font " << i;
    EXPECT_EQ(store.Read(kOverlayMapTable, i), overlayMap[static_cast<size_t>(i)]) << "group " << i;
  }
  EXPECT_EQ(fontMap[17], 2);
  EXPECT_EQ(fontMap[51], 0);
  EXPECT_EQ(fontMap[1], 430) << "a small group runs into a three-digit font";
  EXPECT_EQ(overlayMap[430], 0);
  EXPECT_EQ(fontMap[302], 100);
  EXPECT_EQ(overlayMap[2], 3);
}

}  // namespace
}  // namespace velkan
