// "nmcnv.tbl" made from the fuzz data, loaded and matched at every position
// of the data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tables/replacement_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velkan::fuzz::Fixture;
  const Fixture& f = Fixture::Get();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  f.Write("replacements/qdxfiles/nmcnv.tbl", text);
  velkan::ReplacementTable table;
  velkan::LoadReplacementTable(table, velkan::TablePaths(f.dir() / "replacements", std::nullopt));
  size_t sum = 0;
  for (size_t i = 0; i < table.size(); ++i) {
    const velkan::ReplacementEntry& e = table[i];
    sum += e.Key().size() + e.WordBytes().size();
    for (size_t w = 0; w < e.wordCount; ++w) sum += e.Word(w);
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (const velkan::ReplacementEntry* e = table.Match(text.substr(i))) sum += e->wordCount;
  }
  return sum == static_cast<size_t>(-1) ? 1 : 0;
}
