// A definition file made from the fuzz data (length-prefixed), looked up in
// every section the system reads, then a job (the rest of the data, or a
// fixed job of fonts, colours, rules and pi characters when there is none)
// converted with it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "typo/definition_file.h"
#include "typo/typo_literals.h"

namespace {

// Fonts and colours, an underline of each kind, fill rules and rule words,
// and pi characters, each named through the definition file.
const std::string& NamingJob() {
  static const std::string job = velkan::fuzz::BigEndianWords(
      {0xD003, 0xD02D, 0xC343, 0xD084, 0xC341, 0xD004, 0x45A1, 0xD009, 0xD003, 0xD02D, 0xC341, 0xC349,
       0xD084, 0xC345, 0xD004, 0x45A2, 0xD003, 0xD073, 0xC341, 0xD004, 0xD072, 0x45A3, 0xD072, 0xD01E,
       0xD08F, 0xC345, 0xD01E, 0xD00A, 0xD008, 0xC342, 0xD05B, 0xC341, 0xD05B, 0xC349, 0xC349, 0xD009});
  return job;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velkan::fuzz::Split split = velkan::fuzz::SplitByLength(data, size);

  velkan::DefinitionFile def;
  def.OpenFromMemory(std::string(split.first));
  static const char* const kSections[] = {velkan::lit::kSectionFontNames, velkan::lit::kSectionColourNames,
                                          velkan::lit::kSectionRuleThickness, velkan::lit::kSectionRuleKind,
                                          velkan::lit::kSectionFillRule, "PI"};
  size_t sum = 0;
  for (const char* section : kSections) {
    for (const char* key : {"0", "1", "3", "5", "-1", "30", ""}) {
      if (auto v = def.Lookup(section, key)) sum += v->size();
    }
    if (auto v = def.Lookup(section, split.rest.substr(0, 8))) sum += v->size();
  }

  static velkan::fuzz::PreparedPass pass;
  std::string text(split.first);
  velkan::fuzz::PassChoices choices;
  choices.definitions = &text;
  pass.Convert(split.rest.empty() ? std::string_view(NamingJob()) : split.rest, choices);
  return sum == static_cast<size_t>(-1) ? 1 : 0;
}
