// The bundled sample table set agrees with itself and with JIS X 0208: a
// character of a text job reaches the same character in the output, the
// combined numbers have the single bytes their tags need, and every escape
// name of a text job can be matched.
#include <gtest/gtest.h>

#include <map>

#include "support/test_support.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/replacement_table.h"
#include "tables/table_file.h"
#include "tools/shift_jis_text.h"

namespace velkan {
namespace {

std::vector<std::pair<uint16_t, uint16_t>> Records(const std::string& name, size_t header) {
  std::string bytes;
  EXPECT_EQ(ReadTableFile(std::filesystem::path(VELKAN_SAMPLE_ROOT) / "qdxfiles" / name, bytes), TableFileStatus::kRead)
      << name;
  std::vector<std::pair<uint16_t, uint16_t>> r;
  auto w = [&](size_t i) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  };
  for (size_t i = header; i + 4 <= bytes.size(); i += 4) r.emplace_back(w(i), w(i + 2));
  return r;
}

std::map<uint16_t, uint16_t> Map(const std::vector<std::pair<uint16_t, uint16_t>>& records) {
  return {records.begin(), records.end()};
}

TablePaths Sample() { return TablePaths(VELKAN_SAMPLE_ROOT, std::nullopt); }

TEST(SampleTables, EveryCharacterOfATextJobConvertsBackToItself) {
  std::map<uint16_t, uint16_t> base = Map(Records("conv00.tbl", 0));
  size_t checked = 0;
  for (auto [sjis, code] : Records("SJIS_ZAN.TBL", 0)) {
    if (code < 0x8000 || code > 0x9FFF || code == 0x95BE) continue;  // commands, modes, a user-defined character
    std::string typed = ShiftJisCharacter(sjis);
    ASSERT_FALSE(typed.empty()) << std::hex << sjis;
    ASSERT_TRUE(base.count(code)) << std::hex << code << " has no code in conv00.tbl";
    std::string written = JisCharacter(base[code]);
    if (code == 0x95B4) {
      EXPECT_EQ(written, "⑩");
      continue;
    }
    EXPECT_EQ(written, typed) << std::hex << sjis << " -> " << code << " -> " << base[code];
    ++checked;
  }
  EXPECT_EQ(checked, 3509u) << "JIS X 0208 non-kanji, the first level of kanji and ①-⑳";
}

TEST(SampleTables, RubyAndRomanPagesConvertToTheirCharacters) {
  std::map<uint16_t, uint16_t> ruby = Map(Records("convura.tbl", 0));
  for (auto [sjis, code] : Records("SJIS_RUB.TBL", 2)) {
    ASSERT_TRUE(ruby.count(code)) << std::hex << code;
    EXPECT_EQ(JisCharacter(ruby[code]), ShiftJisCharacter(sjis)) << std::hex << code;
  }
  std::map<uint16_t, uint16_t> romanA = Map(Records("conv021.tbl", 0));
  std::map<uint16_t, uint16_t> base = Map(Records("conv00.tbl", 0));
  for (auto [sjis, code] : Records("SJIS_ROM.TBL", 2)) {
    EXPECT_EQ(JisCharacter(romanA[code]), ShiftJisCharacter(sjis)) << std::hex << code;
    EXPECT_EQ(JisCharacter(base[code]), ShiftJisCharacter(sjis)) << std::hex << code;
  }
}

TEST(SampleTables, CodeTablesGiveArgumentsCombinedNumbersAndRomanLettersTheirForms) {
  CodeTables t;
  ASSERT_EQ(LoadCodeTables(t, Sample()), 0);
  auto single = [&](uint16_t code) { return static_cast<char>(t.SingleByteOf(t.ShiftJisOf(code))); };
  for (int d = 0; d < 10; ++d) {
    char digit = static_cast<char>('0' + d);
    EXPECT_EQ(single(0xC340 + d), digit) << "argument digits";
    EXPECT_EQ(single(0xC101 + d), digit) << "half-width digits";
    for (uint16_t first : {0xC700, 0xC710, 0xC720, 0xC730, 0xC740, 0xC750}) EXPECT_EQ(single(first + d), digit);
    for (uint16_t second : {0x8034, 0x96E6, 0x9700, 0x9714, 0x9822}) EXPECT_EQ(single(second + d), digit);
  }
  EXPECT_EQ(single(0xC334), '.');
  EXPECT_EQ(single(0xC335), ',');
  EXPECT_EQ(single(0xC301), 'A');
  EXPECT_EQ(single(0xC46A), 'z');
  EXPECT_EQ(single(0xC70A), '!');
  EXPECT_EQ(single(0x96C1), '?');
  EXPECT_NE(t.ShiftJisOf(0x95B4), 0) << "the combined circled 10 needs a Shift-JIS form";
  EXPECT_NE(t.ShiftJisOf(0x95BE), 0) << "the combined parenthesized 10 needs a Shift-JIS form";
  EXPECT_EQ(ShiftJisCharacter(t.ShiftJisOf(0xC521)), "ぁ");
  EXPECT_EQ(ShiftJisCharacter(t.ShiftJisOf(0xC67C)), "ー");
}

TEST(SampleTables, EveryEscapeNameIsMatchedAsItself) {
  EscapeDefinitions defs;
  ASSERT_EQ(LoadEscapeDefinitions(defs, Sample()), 0);
  EXPECT_TRUE(defs.locked) << "the system file locks the names again";
  EXPECT_TRUE(IsCommandLead(defs, '\\'));
  EXPECT_TRUE(IsModeLead(defs, '|'));
  EXPECT_TRUE(IsMarkerLead(defs, '@'));
  int names = 0;
  for (int low = 0; low < 256; ++low) {
    const EscapeName& n = defs.commandNames[low];
    if (n.length == 0) continue;
    std::string name(n.text.data(), n.length);
    EXPECT_EQ(name[0], '\\') << name;
    EXPECT_EQ(MatchCommandName(defs, name).code, 0xD000 + low) << name << " is matched as another command";
    EXPECT_EQ(MatchModeName(defs, name).code, 0) << name << " is taken for a mode";
    ++names;
  }
  EXPECT_GE(names, 70);
  for (int mode = 1; mode <= 10; ++mode) {
    const EscapeName& n = defs.modeNames[mode];
    ASSERT_GT(n.length, 0) << "mode " << mode;
    std::string name(n.text.data(), n.length);
    EXPECT_EQ(MatchModeName(defs, name).code, mode) << name;
  }
  EXPECT_EQ(LookupEscapePair(defs, 0x816F), 0xD003);
  EXPECT_EQ(LookupEscapePair(defs, 0x8170), 0xD004);
  MarkerMatch page = MatchMarker(defs, "@p@00012abc");
  EXPECT_EQ(page.marker, 0);
  EXPECT_EQ(page.length, 8u);
  MarkerMatch join = MatchMarker(defs, "@-@\r\n");
  EXPECT_EQ(join.marker, 1);
  EXPECT_EQ(join.code, 0xD009);
}

TEST(SampleTables, ReplacementsSpellCodeWordsOfTheSample) {
  ReplacementTable r;
  ASSERT_EQ(LoadReplacementTable(r, Sample()), 0);
  ASSERT_EQ(r.size(), 4u);
  std::map<uint16_t, uint16_t> base = Map(Records("conv00.tbl", 0));
  const ReplacementEntry* dots = r.Match("...");
  ASSERT_NE(dots, nullptr);
  EXPECT_EQ(JisCharacter(base[dots->Word(0)]), "…");
  const ReplacementEntry* bars = r.Match("--");
  ASSERT_NE(bars, nullptr);
  EXPECT_EQ(JisCharacter(base[bars->Word(1)]), "―");
  const ReplacementEntry* both = r.Match("!?");
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(both->Word(0), 0xC70A);
  EXPECT_EQ(both->Word(1), 0x96C1);
}

}  // namespace
}  // namespace velkan
