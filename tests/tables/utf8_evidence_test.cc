// Telling a UTF-8 text job from the Shift_JIS one it must be.
#include "tables/utf8_evidence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace velkan {
namespace {

using test::Readable;
using test::Sjis;
using test::Slurp;

bool LooksLikeUtf8(const std::string& bytes, size_t cut = std::string::npos) {
  Utf8Evidence e;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  cut = std::min(cut, bytes.size());
  e.Take(p, cut);
  e.Take(p + cut, bytes.size() - cut);
  return e.LooksLikeUtf8();
}

TEST(Utf8Evidence, TellsUtf8FromShiftJis) {
  const std::string sample = Slurp(std::filesystem::path(VELKAN_SOURCE_DIR) / "examples" / "sample.txt");
  ASSERT_FALSE(sample.empty());
  const std::string twin = Readable(sample);  // the same text in UTF-8
  ASSERT_EQ(twin.find("\\x"), std::string::npos) << "a character of the sample has no UTF-8 form";
  struct Case {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {sample, false},
      {twin, true},
      {Sjis("吾輩は猫である。\r\n"), false},
      {"吾輩は猫である。\r\n", true},
      {"\xEF\xBB\xBFplain text after a byte order mark\r\n", true},
      {"plain ASCII is both\r\n", false},
      {"", false},
      // Two bytes that happen to form one character of two bytes, as a pair
      // of half-width katakana may (ﾃｽ), are no evidence; three are.
      {Sjis("ﾃｽ") + " test\r\n", false},
      {"caf\xC3\xA9 na\xC3\xAFve \xC3\xA0 la carte\r\n", true},
      // Overlong forms, surrogates and stray continuation bytes break UTF-8.
      {"\xE3\x81\x82\xC0\xAF", false},
      {"\xE3\x81\x82\xED\xA0\x80", false},
      {"\xE3\x81\x82\x81", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Readable(c.bytes.substr(0, 40)));
    EXPECT_EQ(LooksLikeUtf8(c.bytes), c.utf8);
    // Read in blocks that cut characters anywhere, the answer is the same.
    for (size_t cut = 1; cut < std::min<size_t>(c.bytes.size(), 12); ++cut) {
      EXPECT_EQ(LooksLikeUtf8(c.bytes, cut), c.utf8) << "cut after " << cut;
    }
  }
}

TEST(Utf8Evidence, OnlyTheFirstBytesAreLookedAt) {
  // A fault after the bytes looked at, or after the characters that settle
  // it, changes nothing.
  std::string ascii(Utf8Evidence::kLookedAtBytes, 'a');
  EXPECT_FALSE(LooksLikeUtf8(ascii + "\xE3\x81\x82"));
  std::string kana;
  for (int i = 0; i < Utf8Evidence::kSettlingCharacters; ++i) kana += "\xE3\x81\x82";
  Utf8Evidence e;
  e.Take(reinterpret_cast<const uint8_t*>(kana.data()), kana.size());
  EXPECT_TRUE(e.settled());
  e.Take(reinterpret_cast<const uint8_t*>("\x81"), 1);
  EXPECT_TRUE(e.LooksLikeUtf8());
}

}  // namespace
}  // namespace velkan
