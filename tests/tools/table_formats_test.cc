// The readable forms of the table files: every format dumps any bytes to a
// text that builds back to the same bytes, the sources of the bundled tables
// build and dump again unchanged, and malformed sources are refused with the
// line they fail on.
#include "tools/table_formats.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/test_support.h"
#include "tools/font_info_lines.h"

namespace velkan {
namespace {

using test::Sjis;

std::string Built(const std::string& source) {
  TableBuild b = BuildTable(source);
  EXPECT_TRUE(b.ok) << b.error << "\n" << source;
  return b.bytes;
}

std::string BuildError(const std::string& source) {
  TableBuild b = BuildTable(source);
  EXPECT_FALSE(b.ok) << "built although malformed:\n" << source;
  return b.error;
}

std::string Words(std::initializer_list<uint16_t> words) {
  std::string s;
  for (uint16_t w : words) {
    s.push_back(static_cast<char>(w & 0xFF));
    s.push_back(static_cast<char>(w >> 8));
  }
  return s;
}

void ExpectRoundTrip(TableFormat f, const std::string& bytes) {
  std::string dump = DumpTable(f, bytes);
  TableBuild b = BuildTable(dump);
  ASSERT_TRUE(b.ok) << FormatName(f) << ": " << b.error << "\n" << dump;
  EXPECT_EQ(b.format, f);
  EXPECT_EQ(b.bytes, bytes) << FormatName(f) << " did not build back:\n" << dump;
}

TEST(TableFormats, AnyBytesOfEveryFormatDumpAndBuildBack) {
  std::mt19937 random(20240611);
  for (const TableFormatInfo& info : TableFormats()) {
    for (size_t size : {0, 1, 2, 3, 5, 6, 7, 600, 1023, 1024, 1025, 1300, 2049}) {
      std::string bytes(size, '\0');
      for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
      ExpectRoundTrip(info.format, bytes);
      // Sparse bytes too: mostly zeros, so the dumps leave rows and runs out.
      std::string sparse(size, '\0');
      for (size_t i = 0; i < size; i += 37) sparse[i] = static_cast<char>(random() & 0xFF);
      ExpectRoundTrip(info.format, sparse);
    }
  }
}

TEST(TableFormats, TextTablesKeepTheirLineEndsAndBytesThatAreNoText) {
  for (TableFormat f : {TableFormat::kEscapes, TableFormat::kReplacements, TableFormat::kFontInfo, TableFormat::kText}) {
    ExpectRoundTrip(f, "a\r\nb\nc\r\n\r\n\nlast");
    ExpectRoundTrip(f, "\r\n");
    ExpectRoundTrip(f, "lone\rcarriage return\r\n\ttab \x7f\r\n");
    ExpectRoundTrip(f, Sjis("日本語の行\r\n") + "\x81\r\n" + "\xff\xfe\r\n");
    ExpectRoundTrip(f, "trailing blanks   \r\n  leading\r\n");
    ExpectRoundTrip(f, "| a bar and # a hash\r\n#9001 \\\r\n");
  }
}

TEST(TableFormats, TextLinesAreShiftJisWithCrLfUnlessToldOtherwise) {
  EXPECT_EQ(Built("format text\n| 漢字\n|\n| a  \nline-end lf\n| b\nline-end none\n|x 41 00 FF\n"),
            Sjis("漢字") + "\r\n\r\na  \r\nb\nA" + std::string("\0\xff", 2));
  EXPECT_EQ(Built("# comment first\n\nformat escapes\n  |  two blanks kept\n"), " two blanks kept\r\n");
}

TEST(TableFormats, WordFormatsWriteLittleEndianRecordsRunsAndTails) {
  EXPECT_EQ(Built("format pairs\nheader 1234\n8260 C341 # Ａ\nrun 8261 c342 3\ntail 01 02 03\n"),
            Words({0x1234, 0x8260, 0xC341, 0x8261, 0xC342, 0x8262, 0xC343, 0x8263, 0xC344}) + "\x01\x02\x03");
  EXPECT_EQ(Built("format zan\nF049 D009\n"), Words({0xF049, 0xD009}));
  EXPECT_EQ(Built("format pi-codes\n7 2221 2222\nrun 10 0001 0002 2\n"),
            Words({7, 0x2221, 0x2222, 10, 1, 2, 11, 2, 3}));
  EXPECT_EQ(Built("format codes\nrun FFFF 0001 2\n"), Words({0xFFFF, 1, 0x0000, 2}));
}

TEST(TableFormats, DumpsShowRunsAndTheCharactersOfTheCodes) {
  std::string dump = DumpTable(TableFormat::kZan, Words({0x889F, 0x84A1, 0x88A0, 0x84A2, 0x88A1, 0x84A3, 0xF049, 0xD009}));
  EXPECT_NE(dump.find("run 889F 84A1 3"), std::string::npos) << dump;
  EXPECT_NE(dump.find("亜 … 娃"), std::string::npos) << dump;
  EXPECT_NE(dump.find("F049 D009"), std::string::npos) << dump;
  EXPECT_NE(dump.find("command D009 line-end"), std::string::npos) << dump;

  dump = DumpTable(TableFormat::kCodes, Words({0x84A1, 0x3021, 0x9631, 0x222E}));
  EXPECT_NE(dump.find("84A1 3021"), std::string::npos) << dump;
  EXPECT_NE(dump.find("# 亜"), std::string::npos) << dump;
  EXPECT_NE(dump.find("# 〓"), std::string::npos) << dump;

  dump = DumpTable(TableFormat::kHalfWidth, Words({0, 0x8260, 0x41}));
  EXPECT_NE(dump.find("Ａ → A"), std::string::npos) << dump;
}

TEST(TableFormats, PitchFilesNameTheFontsOfEachBlock) {
  std::string bytes(1024 + 2 * 256, '\0');
  bytes[2 + 5] = 2;                           // font index 5: block 2
  bytes[2 + 9] = static_cast<char>(-3);       // font index 9: no block
  bytes[1024 + 256 + 0x41] = 36;              // block 2, column 41: C341
  bytes[1024 + 256 + 0x80] = static_cast<char>(-7);  // column 80: C400
  std::string dump = DumpTable(TableFormat::kPitch, bytes);
  EXPECT_NE(dump.find("length 1536"), std::string::npos) << dump;
  EXPECT_NE(dump.find("font 5 2"), std::string::npos) << dump;
  EXPECT_NE(dump.find("font 9 -3"), std::string::npos) << dump;
  EXPECT_NE(dump.find("block 2"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("block 1"), std::string::npos) << "an empty block is left out:\n" << dump;
  EXPECT_NE(dump.find("  40: 0 36 0"), std::string::npos) << dump;
  EXPECT_NE(dump.find("  80: -7"), std::string::npos) << dump;
  EXPECT_EQ(Built(dump), bytes);

  // Without a length the file ends after the last block.
  std::string small = Built("format pitch\nfont 1 1\nblock 1\n  00: 5\n");
  ASSERT_EQ(small.size(), 1280u);
  EXPECT_EQ(small[3], 1);
  EXPECT_EQ(small[1024], 5);
}

TEST(TableFormats, PiWidthsDefaultToTheLastWidthGiven) {
  std::string bytes = Built("format pi-widths\n007: 108 54\n");
  ASSERT_EQ(bytes.size(), 9u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[7]), 108);
  EXPECT_EQ(bytes[8], 54);
  EXPECT_EQ(Built("format pi-widths\nlength 1000\n").size(), 1000u);
}

TEST(TableFormats, FontLinesAreLaidOutInTheirColumns) {
  std::string line = Built("format fontinfo\nline-end none\nfont 3 5 also 17 overlay 4 name 旧字体\n");
  ASSERT_EQ(line.size(), 127u);
  EXPECT_EQ(line.substr(0, 6), "  3  5");
  EXPECT_EQ(line.substr(6, 7), " " + Sjis("旧字体"));
  EXPECT_EQ(line.substr(110, 4), "17  ") << "left-aligned: a blank column 110 would hide the font";
  EXPECT_EQ(line.substr(125), "04");
  auto read = ReadFontInfoLine(line);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->group, 3);
  EXPECT_EQ(read->font, 5);
  EXPECT_TRUE(read->pairedFont);
  EXPECT_EQ(read->alsoFont, 17);
  EXPECT_EQ(read->overlay, 4);
  // The dump gives the directive back; a line of any other layout stays text.
  std::string dump = DumpTable(TableFormat::kFontInfo, "title\r\n" + line + "\r\n  1  1\r\n");
  EXPECT_NE(dump.find("font 3 5 also 17 overlay 4 name 旧字体\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("|   1  1\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("not used: column 113 is no blank"), std::string::npos) << dump;
}

TEST(TableFormats, FontInfoLinesAreReadAsTheConverterReadsThem) {
  std::string line(127, ' ');
  line.replace(0, 6, "  7 12");
  auto f = ReadFontInfoLine(line);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->font, 11) << "an even font of a pair stands for the odd one";
  EXPECT_EQ(f->overlay, 0) << "a blank column 125 is overlay 0";
  EXPECT_EQ(f->alsoFont, -1);
  line[0] = 'A';
  EXPECT_FALSE(ReadFontInfoLine(line).has_value());
  line[0] = ' ';
  line[113] = 'x';
  EXPECT_FALSE(ReadFontInfoLine(line).has_value());
  line[113] = ' ';
  line.replace(0, 6, "1000 3");
  f = ReadFontInfoLine(line);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->group, 100) << "%3d reads three digits";
  EXPECT_EQ(f->font, 0);
}

TEST(TableFormats, MalformedSourcesNameTheLine) {
  EXPECT_EQ(BuildError(""), "no format line: the first line must be: format NAME");
  EXPECT_EQ(BuildError("pairs\n"), "line 1: the first line must be: format NAME");
  EXPECT_EQ(BuildError("format tables\n"), "line 1: unknown format 'tables'");
  EXPECT_EQ(BuildError("format pairs\n8140 0001\n"), "line 2: records need a header line before them");
  EXPECT_EQ(BuildError("format zan\nheader 0000\n"), "line 2: format zan has no header word");
  EXPECT_EQ(BuildError("format zan\n8140 10000\n"), "line 2: '10000' is not a word of 1-4 hexadecimal digits");
  EXPECT_EQ(BuildError("format zan\n8140\n"), "line 2: expected: KKKK VVVV");
  EXPECT_EQ(BuildError("format zan\ntail 01 02 03 04\n"), "line 2: a tail holds 1 to 3 bytes");
  EXPECT_EQ(BuildError("format zan\ntail 01\n8140 0001\n"), "line 3: nothing may follow the tail");
  EXPECT_EQ(BuildError("format codes\n| text\n"), "line 2: text lines belong to text formats only");
  EXPECT_EQ(BuildError("format text\n| ☃\n"),
            "line 2: the text has a character without a Shift_JIS form (or is no UTF-8)");
  EXPECT_EQ(BuildError("format text\nline-end cr\n"), "line 2: a line end is crlf, lf or none");
  EXPECT_EQ(BuildError("format pitch\n  00: 1\n"), "line 2: widths need a block line before them");
  EXPECT_EQ(BuildError("format pitch\nblock 1\n  F0: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n"),
            "line 3: a block has 256 columns");
  EXPECT_EQ(BuildError("format pitch\nfont 1022 1\n"), "line 2: expected: font F B (F 0-1021, B -128 to 127)");
  EXPECT_EQ(BuildError("format pitch\nlength 10\nfont 20 1\n"), "a value lies at byte 22, beyond the length 10");
  EXPECT_EQ(BuildError("format pi-widths\n000: 256\n"), "line 2: '256' is no width from 0 to 255");
  EXPECT_EQ(BuildError("format fontinfo\nfont 1 1000\n"),
            "line 2: expected: font G F [also E] [overlay N] [name TEXT] (G, F, E 0-999, N 0-99)");
  EXPECT_EQ(BuildError("format fontinfo\nfont 10 227\n"),
            "line 2: group 10 and font 227 would run together at the start of the line; give the group three "
            "digits (100 or more)");
  EXPECT_EQ(BuildError("format fontinfo\nfont 1 1 name " + std::string(104, 'x') + "\n"),
            "line 2: the name is longer than 103 bytes");
}

TEST(TableFormats, FilesAreKnownByTheirNames) {
  EXPECT_EQ(FormatOfFileName("/r/qdxfiles/SJIS_HNW.TBL"), TableFormat::kPairs);
  EXPECT_EQ(FormatOfFileName("sj_kur_2.tbl"), TableFormat::kPairs);
  EXPECT_EQ(FormatOfFileName("C:\\QDXFILES\\SJIS_ZAN.TBL"), TableFormat::kZan);
  EXPECT_EQ(FormatOfFileName("SJIS_JIS.TBL"), TableFormat::kHalfWidth);
  EXPECT_EQ(FormatOfFileName("conv00.tbl"), TableFormat::kCodes);
  EXPECT_EQ(FormatOfFileName("CONV99.TBL"), TableFormat::kCodes);
  EXPECT_EQ(FormatOfFileName("conv021.tbl"), TableFormat::kRoman);
  EXPECT_EQ(FormatOfFileName("conv022.tbl"), TableFormat::kRoman);
  EXPECT_EQ(FormatOfFileName("conv023.tbl"), std::nullopt);
  EXPECT_EQ(FormatOfFileName("conv1.tbl"), std::nullopt);
  EXPECT_EQ(FormatOfFileName("convpi.tbl"), TableFormat::kPiCodes);
  EXPECT_EQ(FormatOfFileName("convura.tbl"), TableFormat::kRuby);
  EXPECT_EQ(FormatOfFileName("fntinf.fil"), TableFormat::kFontInfo);
  EXPECT_EQ(FormatOfFileName("pitfile.fil"), TableFormat::kPitch);
  EXPECT_EQ(FormatOfFileName("PIFONT.FIL"), TableFormat::kPiWidths);
  EXPECT_EQ(FormatOfFileName("velkanuser.tbl"), TableFormat::kEscapes);
  EXPECT_EQ(FormatOfFileName("nmcnv.tbl"), TableFormat::kReplacements);
  EXPECT_EQ(FormatOfFileName("shop.DEF"), TableFormat::kText);
  EXPECT_EQ(FormatOfFileName("SJIS_ZAN.TBL.txt"), std::nullopt);
  for (const TableFormatInfo& f : TableFormats()) EXPECT_EQ(FormatNamed(f.name), f.format);
}

// Every readable source of the bundled set builds, and the dump of what it
// builds builds to the same bytes again.
TEST(TableFormats, TheBundledSourcesBuildAndDumpBack) {
  namespace fs = std::filesystem;
  int sources = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(VELKAN_SOURCE_DIR) / "data" / "sample")) {
    if (entry.path().extension() != ".txt") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    TableBuild b = BuildTable(text.str());
    ASSERT_TRUE(b.ok) << entry.path() << ": " << b.error;
    std::string name = entry.path().stem().string();  // the table's own name
    if (auto known = FormatOfFileName(name)) {
      EXPECT_EQ(*known, b.format) << name;
    }
    ExpectRoundTrip(b.format, b.bytes);
    ++sources;
  }
  EXPECT_GE(sources, 32);
}

}  // namespace
}  // namespace velkan
