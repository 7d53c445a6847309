// Paths as messages show them: UTF-8 kept, every other byte escaped.
#include "io/shown_path.h"

#include <gtest/gtest.h>

namespace velkan {
namespace {

TEST(ShownPath, KeepsUtf8AndEscapesEverythingElse) {
  EXPECT_EQ(ShownPath("/tmp/job.zan"), "/tmp/job.zan");
  EXPECT_EQ(ShownPath("/原稿/第1章.zan"), "/原稿/第1章.zan");
  EXPECT_EQ(ShownPath("😀 \xc2\xa0 \xdf\xbf \xef\xbf\xbf \xf4\x8f\xbf\xbf"),
            "😀 \xc2\xa0 \xdf\xbf \xef\xbf\xbf \xf4\x8f\xbf\xbf");
  // Shift_JIS and Latin-1 names.
  EXPECT_EQ(ShownPath("\x8c\xb4\x8d"
                      "e.zan"),
            "\\x8c\\xb4\\x8de.zan");
  EXPECT_EQ(ShownPath("caf\xe9"), "caf\\xe9");
  // Stray continuation bytes, cut sequences, overlong forms, surrogates and
  // values beyond U+10FFFF.
  EXPECT_EQ(ShownPath("\x80\xbf"), "\\x80\\xbf");
  EXPECT_EQ(ShownPath("\xe5\x8e"), "\\xe5\\x8e");
  EXPECT_EQ(ShownPath("\xe5\x8e/"), "\\xe5\\x8e/");
  EXPECT_EQ(ShownPath("\xc0\xaf \xe0\x80\xaf \xf0\x80\x80\xaf"), "\\xc0\\xaf \\xe0\\x80\\xaf \\xf0\\x80\\x80\\xaf");
  EXPECT_EQ(ShownPath("\xed\xa0\x80"), "\\xed\\xa0\\x80");
  EXPECT_EQ(ShownPath("\xf4\x90\x80\x80 \xf5\x80\x80\x80"), "\\xf4\\x90\\x80\\x80 \\xf5\\x80\\x80\\x80");
  // Control characters would break the line of a message.
  EXPECT_EQ(ShownPath(std::string("a\nb\tc\x1b[1m\x7f", 10)), "a\\x0ab\\x09c\\x1b[1m\\x7f");
  EXPECT_EQ(ShownPath(std::string("\0", 1)), "\\x00");
  // Showing twice changes nothing more.
  EXPECT_EQ(ShownPath(ShownPath("caf\xe9\n")), "caf\\xe9\\x0a");
  EXPECT_EQ(ShownPath(std::filesystem::path("/a\xff")), "/a\\xff");
}

}  // namespace
}  // namespace velkan
