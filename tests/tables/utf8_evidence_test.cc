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
      // Pairs of half-width katakana form characters of two bytes (ﾃｽ is
      // C3 BD, ﾊｲ is CA B2), however many: no evidence. So is é (C3 A9,
      // which is ﾃｩ); à (C3 A0) is no katakana pair.
      {Sjis("ﾃｽ") + " test\r\n", false},
      {Sjis("ﾊｲ ﾊｲ ﾊｲ") + "\\br\r\n", false},
      {"caf\xC3\xA9\r\n", false},
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

TEST(Utf8Evidence, EveryByteIsLookedAtUntilOneBreaksUtf8) {
  const std::string ascii(size_t{2} << 20, 'a');
  // Kanji after megabytes of ASCII.
  EXPECT_TRUE(LooksLikeUtf8(ascii + "吾輩は猫である。\r\n"));
  EXPECT_FALSE(LooksLikeUtf8(ascii + Sjis("吾輩は猫である。\r\n")));
  // UTF-8 lines, then Shift_JIS ones: the text is no UTF-8.
  std::string mixed;
  for (int i = 0; i < 1000; ++i) mixed += "吾輩は猫である。\r\n";
  EXPECT_TRUE(LooksLikeUtf8(mixed));
  mixed += Sjis("名前はまだ無い。\r\n");
  EXPECT_FALSE(LooksLikeUtf8(mixed));
  Utf8Evidence e;
  e.Take(reinterpret_cast<const uint8_t*>(mixed.data()), mixed.size());
  EXPECT_TRUE(e.settled());
}

}  // namespace
}  // namespace velkan
