// Conversions between encodings through one descriptor.
#include "io/encoding_converter.h"

#include <gtest/gtest.h>

#include <string>

namespace velkan {
namespace {

TEST(EncodingConverter, ConvertsWholeTextsOneAfterTheOther) {
  EncodingConverter toSjis("CP932", "UTF-8");
  EncodingConverter toUtf8("UTF-8", "CP932");
  ASSERT_TRUE(toSjis.ok());
  ASSERT_TRUE(toUtf8.ok());
  std::string sjis, back;
  ASSERT_TRUE(toSjis.Convert("組版 ABC", sjis));
  EXPECT_EQ(sjis.size(), 8u);  // two double-byte characters, four single bytes
  ASSERT_TRUE(toUtf8.Convert(sjis, back));
  EXPECT_EQ(back, "組版 ABC");
  // A text longer than one round of the converter's buffer, and an empty one.
  std::string longText;
  for (int i = 0; i < 1000; ++i) longText += "字a";
  ASSERT_TRUE(toSjis.Convert(longText, sjis));
  EXPECT_EQ(sjis.size(), 3000u);
  ASSERT_TRUE(toUtf8.Convert(sjis, back));
  EXPECT_EQ(back, longText);
  EXPECT_TRUE(toSjis.Convert("", sjis));
  EXPECT_EQ(sjis, "");
}

TEST(EncodingConverter, StopsAtTheFirstByteThatDoesNotConvert) {
  EncodingConverter toSjis("CP932", "UTF-8");
  std::string out;
  size_t stoppedAt = 99;
  // No valid UTF-8: the bytes before it are converted.
  EXPECT_FALSE(toSjis.Convert("ab\xff" "cd", out, &stoppedAt));
  EXPECT_EQ(stoppedAt, 2u);
  EXPECT_EQ(out, "ab");
  // A character without a Shift_JIS form.
  EXPECT_FALSE(toSjis.Convert("x\xF0\x9F\x98\x80", out, &stoppedAt));
  EXPECT_EQ(stoppedAt, 1u);
  // A sequence cut short at the end.
  EXPECT_FALSE(toSjis.Convert("abc\xe7\xb5", out, &stoppedAt));
  EXPECT_EQ(stoppedAt, 3u);
  EXPECT_EQ(out, "abc");
  // The descriptor serves the next text from its start again.
  EXPECT_TRUE(toSjis.Convert("ok", out, &stoppedAt));
  EXPECT_EQ(out, "ok");
  EXPECT_EQ(stoppedAt, 0u);
}

TEST(EncodingConverter, AnUnknownEncodingConvertsNothing) {
  EncodingConverter converter("NO-SUCH-ENCODING", "UTF-8");
  EXPECT_FALSE(converter.ok());
  std::string out = "old";
  EXPECT_FALSE(converter.Convert("abc", out));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace velkan
