// Store files of any size and content: "udf2.tbl" and "udf2.fle" made from
// the fuzz data (each length-prefixed), then a job (the rest of the data)
// that defines, calls and replays formats with them. Without job words a
// fixed job calls formats 0-9 and 399.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

const std::string& CallingJob() {
  static const std::string job = [] {
    std::vector<uint16_t> words;
    for (uint16_t n = 0; n < 10; ++n) words.insert(words.end(), {0xD003, 0xD03F, uint16_t(0xC340 + n), 0xD004, 0xD009});
    words.insert(words.end(), {0xD003, 0xD03F, 0xC343, 0xC349, 0xC349, 0xD004, 0xD0B3, 0x45A1, 0xD0B3});
    return velkan::fuzz::BigEndianWords(words);
  }();
  return job;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velkan::fuzz::Fixture;
  const Fixture& f = Fixture::Get();
  velkan::fuzz::Split table = velkan::fuzz::SplitByLength(data, size);
  velkan::fuzz::Split formats =
      velkan::fuzz::SplitByLength(reinterpret_cast<const uint8_t*>(table.rest.data()), table.rest.size());
  f.Write("fstore/QDXFILES/udf2.tbl", table.first);
  f.Write("fstore/QDXFILES/udf2.fle", formats.first);
  static velkan::fuzz::PreparedPass pass;
  velkan::fuzz::PassChoices choices;
  choices.storeDir = f.dir() / "fstore";
  pass.Convert(formats.rest.empty() ? std::string_view(CallingJob()) : formats.rest, choices);
  return 0;
}
