// One font table made from the fuzz data (the first byte chooses which: the
// base code file, overlay 1, the roman tables, "convpi.tbl", "fntinf.fil",
// "convura.tbl" or the pitch file), the others from the fixture; a job that
// switches fonts, writes roman, ruby and pi characters is converted with it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

constexpr const char* kFontFiles[] = {"qdxfiles/conv00.tbl",  "qdxfiles/conv01.tbl",  "qdxfiles/conv021.tbl",
                                      "qdxfiles/conv022.tbl", "qdxfiles/convpi.tbl",  "qdxfiles/fntinf.fil",
                                      "qdxfiles/convura.tbl", "QDXFILES/pitfile.fil"};

// { D02D #font } as words.
void Font(std::vector<uint16_t>& w, int font) {
  w.insert(w.end(), {0xD003, 0xD02D});
  std::string digits = std::to_string(font);
  for (char d : digits) w.push_back(static_cast<uint16_t>(0xC340 + (d - '0')));
  w.push_back(0xD004);
}

const std::string& FontJob() {
  static const std::string job = [] {
    std::vector<uint16_t> w;
    const std::vector<uint16_t> chars = {0x8021, 0x8022, 0x0041, 0x9701, 0xA001, 0xB001, 0xC105, 0xC341,
                                         0xC342, 0xC441, 0xC521, 0x96C0, 0x9860, 0xC001, 0xD009};
    for (int font : {1, 3, 5, 227, 801, 2000, 1, 851, 221, 3}) {
      Font(w, font);
      w.insert(w.end(), chars.begin(), chars.end());
    }
    // Pi characters, a one-shot code and ruby.
    w.insert(w.end(), {0xD05B, 0xC341, 0xD05B, 0xC345, 0xD093, 0x8021, 0xD009});
    return velkan::fuzz::BigEndianWords(w);
  }();
  return job;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velkan::fuzz::Fixture;
  static velkan::fuzz::PreparedPass pass;
  if (size < 1) return 0;
  const Fixture& f = Fixture::Get();
  static bool laidOut = false;
  if (!laidOut) {
    f.WriteFontTables("fonts");
    laidOut = true;
  }
  size_t which = data[0] % std::size(kFontFiles);
  f.Write(std::string("fonts/") + kFontFiles[which], std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  velkan::fuzz::PassChoices choices;
  choices.tableRoot = f.dir() / "fonts";
  pass.Convert(FontJob(), choices);
  choices.direction = 1;
  pass.Convert(FontJob(), choices);
  f.WriteFontTables("fonts");  // back as the next run expects them
  return 0;
}
