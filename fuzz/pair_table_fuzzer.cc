// One code table of a table root made from the fuzz data (the first byte
// chooses which of the twenty), the others holding only their header word;
// the tables are loaded, every look-up is made, a job of characters from
// every page is converted with them, and the same root is loaded as the
// text pre-pass loads it and a text is run through it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "io/byte_streams.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/pre_pass_tables.h"
#include "tables/text_pre_pass.h"

namespace {

constexpr const char* kOtherTables[] = {"SJIS_ZAN.TBL", "SJIS_JIS.TBL"};
constexpr size_t kTableCount = std::size(velkan::kPairTableNames) + std::size(kOtherTables);

const char* TableName(size_t i) {
  i %= kTableCount;
  return i < std::size(velkan::kPairTableNames) ? velkan::kPairTableNames[i]
                                                : kOtherTables[i - std::size(velkan::kPairTableNames)];
}

// Characters of every page the character output tells apart, with the
// neighbours the combined characters look at.
const std::string& CharacterJob() {
  static const std::string job = velkan::fuzz::BigEndianWords(
      {0x0041, 0x0141, 0x8021, 0x9FFF, 0x95B4, 0x95BE, 0xA001, 0xA201, 0xA301, 0xB001, 0xB201, 0xC001,
       0xC105, 0xC15F, 0xC201, 0xC330, 0xC33C, 0xC341, 0xC43E, 0xC462, 0xC521, 0xC621, 0xC701, 0x8034,
       0xC710, 0xC720, 0x96E6, 0xC731, 0x9701, 0xC741, 0x9714, 0xC751, 0x9822, 0xC731, 0xD009, 0x4521});
  return job;
}

// A text of characters from the fixture's tables and others, with digits in
// the modes that count them.
const std::string& TextJob() {
  using velkan::fuzz::BigEndianWords;
  static const std::string text =
      BigEndianWords({0x889F, 0x88A0, 0x8260, 0x824F, 0x8250, 0x81A6, 0x81A7, 0x8250, 0x8251}) + "ab10" +
      BigEndianWords({0x8140}) + "xyz" + BigEndianWords({0x8341, 0xE040, 0x9020}) + "\r\n";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velkan::fuzz::Fixture;
  if (size < 1) return 0;
  const Fixture& f = Fixture::Get();
  static bool laidOut = false;
  if (!laidOut) {
    for (size_t i = 0; i < kTableCount; ++i) {
      f.Write(std::string("pairs/QDXFILES/") + TableName(i), velkan::fuzz::LittleEndianWords({0x0001}));
    }
    laidOut = true;
  }
  const char* name = TableName(data[0]);
  std::string header = std::string(name) == "SJIS_ZAN.TBL" ? "" : velkan::fuzz::LittleEndianWords({0x0001});
  f.Write(std::string("pairs/QDXFILES/") + name,
          std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

  velkan::TablePaths paths(f.dir() / "pairs", std::nullopt);
  velkan::CodeTables tables;
  velkan::LoadCodeTables(tables, paths);
  unsigned sum = 0;
  for (unsigned code = 0; code <= 0xFFFF; code += 7) sum += tables.ShiftJisOf(static_cast<uint16_t>(code));
  for (unsigned code = 0x7FF0; code <= 0x9010; ++code) sum += tables.SingleByteOf(static_cast<uint16_t>(code));
  if (sum == 0xFFFFFFFF) return 0;  // keeps the look-ups from being dropped

  static velkan::fuzz::PreparedPass pass;
  velkan::fuzz::PassChoices choices;
  choices.codes = &tables;
  pass.Convert(CharacterJob(), choices);
  choices.direction = 1;
  pass.Convert(CharacterJob(), choices);
  velkan::ReleaseCodeTables(tables);

  // The same root read as the text pre-pass reads it, and a text through it.
  velkan::PrePassTables prePass;
  velkan::EscapeDefinitions escapes;
  velkan::LoadTextInputTables(prePass, escapes, paths, nullptr);
  velkan::MemorySource text(TextJob());
  velkan::TextPrePass words(text, prePass, escapes);
  uint8_t buf[512];
  while (words.Read(buf, sizeof buf) > 0) {
  }

  // Put the table back as the other runs expect it.
  f.Write(std::string("pairs/QDXFILES/") + name, header);
  return 0;
}
