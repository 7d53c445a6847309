// The escape definitions ("velkansys.tbl", then "velkanuser.tbl") made from
// the fuzz data (a length-prefixed system file, the rest the user file),
// loaded and matched at every position of both texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "io/byte_order.h"
#include "tables/escape_definitions.h"

namespace {

unsigned MatchEverywhere(const velkan::EscapeDefinitions& defs, std::string_view text) {
  unsigned sum = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    std::string_view at = text.substr(i);
    sum += velkan::MatchModeName(defs, at).code;
    sum += velkan::MatchCommandName(defs, at).code;
    if (velkan::IsMarkerLead(defs, at[0])) sum += static_cast<unsigned>(velkan::MatchMarker(defs, at).length);
    sum += velkan::IsModeLead(defs, at[0]) + velkan::IsCommandLead(defs, at[0]);
    if (at.size() >= 2) {
      uint16_t code = velkan::LoadBigEndian16(at.data());
      sum += velkan::LookupEscapePair(defs, code);
    }
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velkan::fuzz::Fixture;
  const Fixture& f = Fixture::Get();
  velkan::fuzz::Split split = velkan::fuzz::SplitByLength(data, size);
  f.Write("escapes/qdxfiles/velkansys.tbl", split.first);
  f.Write("escapes/qdxfiles/velkanuser.tbl", split.rest);
  velkan::EscapeDefinitions defs;
  velkan::LoadEscapeDefinitions(defs, velkan::TablePaths(f.dir() / "escapes", std::nullopt));
  unsigned sum = MatchEverywhere(defs, split.first) + MatchEverywhere(defs, split.rest);
  velkan::ReleaseEscapeDefinitions(defs);
  sum += velkan::LookupEscapePair(defs, 0x8140);  // released: finds nothing
  return sum == 0xFFFFFFFF ? 1 : 0;
}
