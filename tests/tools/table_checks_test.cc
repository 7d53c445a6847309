// What the table checks find: the parts of a file the converter rejects, cuts
// or misreads are malformed; what it reads fully but may surprise is a note.
#include "tools/table_checks.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velkan {
namespace {

std::string Words(std::initializer_list<uint16_t> words) {
  std::string s;
  for (uint16_t w : words) {
    s.push_back(static_cast<char>(w & 0xFF));
    s.push_back(static_cast<char>(w >> 8));
  }
  return s;
}

// The findings of one level, joined by "; ".
std::string Found(const std::vector<TableFinding>& findings, FindingLevel level) {
  std::string s;
  for (const TableFinding& f : findings) {
    if (f.level == level) s += (s.empty() ? "" : "; ") + f.text;
  }
  return s;
}

std::string Malformed(TableFormat f, const std::string& bytes, std::string_view name = {}) {
  return Found(CheckTableBytes(f, bytes, name), FindingLevel::kMalformed);
}

std::string Notes(TableFormat f, const std::string& bytes, std::string_view name = {}) {
  return Found(CheckTableBytes(f, bytes, name), FindingLevel::kNote);
}

TEST(TableChecks, PairTablesNeedAHeaderWholeRecordsAndRoomForThem) {
  EXPECT_EQ(Malformed(TableFormat::kPairs, "\x01"), "no whole header word: loading the code tables stops at this file");
  EXPECT_EQ(Malformed(TableFormat::kPairs, Words({0})), "no records: a text job stops loading its tables at this file");
  EXPECT_EQ(Malformed(TableFormat::kPairs, Words({0, 0x8140, 1}) + "xy"), "2 byte(s) after the last whole record are not read");
  EXPECT_EQ(Malformed(TableFormat::kPairs, Words({0, 0x8140, 1})), "");

  // 129 records: too many for the 256-word block of SJ_KU2_0.TBL, not for
  // the 1024-word block of SJIS_ROM.TBL.
  std::string many = Words({0});
  for (uint16_t i = 0; i < 129; ++i) many += Words({static_cast<uint16_t>(0x8140 + i), i});
  EXPECT_EQ(Malformed(TableFormat::kPairs, many, "/x/qdxfiles/sj_ku2_0.tbl"),
            "text jobs read only the first 128 of its 129 records");
  EXPECT_EQ(Malformed(TableFormat::kPairs, many, "SJIS_ROM.TBL"), "");
}

TEST(TableChecks, ZanAndHalfWidthTablesCountWhatTheyHold) {
  EXPECT_EQ(Notes(TableFormat::kZan, Words({0xF049, 0xD009, 0xF185, 0x1000, 0x889F, 0x84A1})),
            "1 command character(s), 1 mode character(s)");
  EXPECT_EQ(Malformed(TableFormat::kZan, ""), "no records: no character of a text job is known");
  EXPECT_EQ(Notes(TableFormat::kHalfWidth, Words({0, 0x8260, 0x41, 0x9000, 0x42, 0x8261, 0x142})),
            "1 record(s) give no single byte (code word above 00FF); "
            "1 record(s) name a full-width code outside 8000-8FFF, which conversion jobs ignore");
}

TEST(TableChecks, CodeFilesMustAddressATable) {
  EXPECT_EQ(Malformed(TableFormat::kCodes, Words({0x84A1, 0x3021, 0x2000, 1, 0xD000, 2, 0, 0})),
            "2 record(s) address no code table (key above 1FFF and below 8000, or above CFFF)");
  EXPECT_EQ(Notes(TableFormat::kRoman, Words({0xC341, 0x2341, 0xC380, 0x2342})),
            "1 record(s) lie outside the indexes 300-37F, which roman fonts never read");
  std::string big;
  for (int i = 0; i < 4033; ++i) big += Words({static_cast<uint16_t>(0x8001 + i), 1});
  EXPECT_EQ(Malformed(TableFormat::kCodes, big, "conv05.tbl"),
            "an overlay changes at most 4032 entries; 1 record(s) are not applied");
  EXPECT_EQ(Malformed(TableFormat::kCodes, big, "conv00.tbl"), "") << "the base code file has no undo list";
}

TEST(TableChecks, PiCodesAndWidths) {
  EXPECT_EQ(Malformed(TableFormat::kPiCodes, Words({1, 2, 3, 2048, 0, 0}) + "z"),
            "1 byte(s) after the last whole record are not read; "
            "1 record(s) have a pi number of 2048 or over and are skipped");
  EXPECT_EQ(Notes(TableFormat::kPiCodes, Words({1000, 2, 3})),
            "1 record(s) have a pi number of 1000-2047, which no pi command reaches");
  EXPECT_EQ(Notes(TableFormat::kPiWidths, std::string(500, '\0')), "pi characters 500-999 have the width 0");
  EXPECT_EQ(Notes(TableFormat::kPiWidths, std::string(1000, '\0')), "");
  EXPECT_EQ(Notes(TableFormat::kPiWidths, std::string(1002, '\0')), "2 byte(s) after the first 1000 are not read");
}

TEST(TableChecks, RubyTablesMustBeSortedAndSearchable) {
  EXPECT_EQ(Malformed(TableFormat::kRuby, Words({0x8221, 1, 0x8222, 2, 0, 0, 0, 0})), "");
  EXPECT_EQ(Malformed(TableFormat::kRuby, Words({0x8222, 1, 0x8221, 2})),
            "the codes are not in ascending order: the search can miss some");
  EXPECT_EQ(Malformed(TableFormat::kRuby, Words({0x8221, 1, 0, 0, 0x8222, 2})),
            "a zero pair stands before other pairs: the search can miss those behind it");
  std::string many;
  for (uint16_t i = 1; i <= 1035; ++i) many += Words({i, i});
  EXPECT_EQ(Malformed(TableFormat::kRuby, many), "the search reaches only the first 1034 of its 1035 pairs");
  std::string huge;
  for (uint16_t i = 1; i <= 2050; ++i) huge += Words({i, i});
  EXPECT_NE(Malformed(TableFormat::kRuby, huge).find("only the first 8192 bytes (2048 pairs) are read"), std::string::npos);
}

TEST(TableChecks, FontInfoAndPitchFiles) {
  EXPECT_EQ(Malformed(TableFormat::kFontInfo, ""), "empty: the font tables report it broken, no font has a group");
  EXPECT_EQ(Notes(TableFormat::kFontInfo, "title only\r\n"), "no font line is used: every font is in group 0");

  EXPECT_EQ(Malformed(TableFormat::kPitch, std::string(1000, '\0')),
            "the header is shorter than 1024 bytes: no font has widths");
  std::string pitch(1024 + 256, '\0');
  pitch[2 + 1] = 1;
  pitch[2 + 2] = 2;
  pitch[2 + 3] = static_cast<char>(-1);
  EXPECT_EQ(Malformed(TableFormat::kPitch, pitch), "font index 2: block 2 lies beyond the end of the file");
}

TEST(TableChecks, EscapeDefinitionsAndReplacementsWithinTheirLimits) {
  std::string escapes = "%0000 0\r\n#D009 \\linefeed1\r\n$0001 |o\r\n@9002 @\r\n";
  for (int i = 0; i < 4; ++i) escapes += "@000" + std::to_string(i) + " @m" + std::to_string(i) + "@\r\n";
  escapes += "\\ " + std::string(80, 'x') + "\r\n";
  EXPECT_EQ(Malformed(TableFormat::kEscapes, escapes),
            "the name \"\\linefeed1\" (D009) is cut to 8 characters; "
            "1 line(s) are longer than 79 characters and are read in pieces; "
            "only the first 3 of its 4 markers are kept");

  std::string replacements = "ab=D00A,8140\r\nno equals sign\r\n=8140\r\n";
  replacements += "twentyone-bytes-key!!=8140\r\n";
  replacements += "k=00010002000300040005000600070008000900100011\r\n";
  EXPECT_EQ(Malformed(TableFormat::kReplacements, replacements),
            "the key \"twentyone-bytes-key!!\" is cut to 20 bytes; the entry for \"k\" keeps only 10 of its 11 words");
  EXPECT_EQ(Notes(TableFormat::kReplacements, replacements), "2 line(s) define no entry and are ignored");
}

TEST(TableChecks, SummariesAndTheOverlaysOfTheFontInformation) {
  EXPECT_EQ(SummariseTable(TableFormat::kPairs, Words({0, 1, 2, 3, 4})), "2 records");
  EXPECT_EQ(SummariseTable(TableFormat::kPiCodes, Words({1, 2, 3})), "1 record");
  EXPECT_EQ(SummariseTable(TableFormat::kText, "a\r\nb"), "2 lines");
  EXPECT_EQ(SummariseTable(TableFormat::kPiWidths, std::string(1000, '\0')), "1000 bytes");

  std::string line(127, ' ');
  std::string info = "title\r\n";
  line.replace(0, 6, "  1  1");
  line.replace(125, 2, "05");
  info += line + "\r\n";
  line.replace(0, 6, "  2  3");
  line.replace(125, 2, "12");
  info += line + "\r\n";
  line.replace(0, 6, "  2  9");  // group 2 again: its overlay becomes 0
  line.replace(125, 2, "00");
  info += line + "\r\n";
  line.replace(0, 6, "  4  7");
  line.replace(125, 2, "05");
  info += line + "\r\n";
  EXPECT_EQ(OverlaysNamedByFontInfo(info), (std::vector<int>{5}));
  EXPECT_EQ(SummariseTable(TableFormat::kFontInfo, info), "4 font lines");
}

}  // namespace
}  // namespace velkan
