#include "tables/utf8_text_source.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace velkan {
namespace {

using test::Readable;
using test::Sjis;

// A source that gives its bytes `step` at a time, so that characters are cut
// between reads.
class Trickle final : public ByteSource {
 public:
  Trickle(std::string data, size_t step) : data_(std::move(data)), step_(step) {}
  long Read(uint8_t* buf, size_t n) override {
    size_t k = std::min({n, step_, data_.size() - pos_});
    std::copy_n(data_.data() + pos_, k, buf);
    pos_ += k;
    return static_cast<long>(k);
  }

 private:
  std::string data_;
  size_t step_;
  size_t pos_ = 0;
};

std::string ReadAll(ByteSource& s) {
  std::string out;
  uint8_t buf[7];
  for (long n; (n = s.Read(buf, sizeof buf)) > 0;) out.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
  return out;
}

TEST(Utf8TextSource, GivesTheShiftJisTextWhereverTheReadsCutIt) {
  ASSERT_TRUE(ShiftJisForms::Get().available());
  const std::string utf8 = "\xEF\xBB\xBF漢字ｶﾅ、abc\r\n～－￥\n";
  for (size_t step : {1, 2, 3, 5, 1000}) {
    Trickle in(utf8, step);
    Utf8TextSource s(in);
    EXPECT_EQ(Readable(ReadAll(s)), Readable(Sjis("漢字ｶﾅ、abc\r\n～－￥\n"))) << step;
    EXPECT_EQ(s.faultCount(), 0);
    EXPECT_EQ(s.utf8Read(), static_cast<long long>(utf8.size()));
  }
}

TEST(Utf8TextSource, OnlyALeadingByteOrderMarkIsSkipped) {
  Trickle in("a\xEF\xBB\xBF", 1);
  Utf8TextSource s(in);
  // U+FEFF inside the text has no Shift_JIS form.
  EXPECT_EQ(Readable(ReadAll(s)), Readable("a" + Sjis("〓")));
  ASSERT_EQ(s.faults().size(), 1u);
  EXPECT_EQ(s.faults()[0].codePoint, 0xFEFFu);
}

TEST(Utf8TextSource, BadBytesAndCharactersWithoutAFormAreGetaMarksInTheirPlace) {
  // An overlong form, a surrogate, a lone continuation byte, a character
  // broken off by ASCII, one beyond U+10FFFF, an emoji, a cut end.
  Trickle in("\xC0\xAF\n\xED\xA0\x80z\x80\n\xE6\xBCq\xF5\x80\x80\x80\xF0\x9F\x98\x80\xE6", 2);
  Utf8TextSource s(in);
  const std::string geta = Sjis("〓");
  EXPECT_EQ(Readable(ReadAll(s)), Readable(geta + geta + "\n" + geta + geta + geta + "z" + geta + "\n" + geta + "q" +
                                           geta + geta + geta + geta + geta + geta));
  EXPECT_EQ(s.faultCount(), 13);
  ASSERT_EQ(s.faults().size(), Utf8TextSource::kFaultsKept);
  EXPECT_EQ(s.faults()[0].line, 1);
  EXPECT_EQ(s.faults()[0].column, 1);
  EXPECT_EQ(s.faults()[1].column, 2);
  EXPECT_EQ(s.faults()[5].line, 2);
  EXPECT_EQ(s.faults()[5].column, 5);
  EXPECT_EQ(s.faults()[6].line, 3);
  EXPECT_EQ(s.faults()[6].column, 1);
  EXPECT_EQ(s.faults()[6].codePoint, 0u);
}

}  // namespace
}  // namespace velkan
