// AppendG writes what printf's "%g" writes, for every kind of number the
// output holds and for the others it hands to printf.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "typo/units.h"

namespace velkan {
namespace {

std::string Printf(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string Appended(double v) {
  std::string s = "x";
  AppendG(s, v);
  return s.substr(1);
}

TEST(AppendG, HundredthsAsPrintfWritesThem) {
  for (long k = -1200000; k <= 1200000; k += (k > -30000 && k < 30000) ? 1 : 7) {
    double v = static_cast<double>(k) * 0.01;
    ASSERT_EQ(Appended(v), Printf(v)) << k;
  }
}

TEST(AppendG, SizesAndLengthsAsPrintfWritesThem) {
  for (int q = -32768; q <= 32767; ++q) {
    double size = FormatSize(static_cast<int16_t>(q));
    ASSERT_EQ(Appended(size), Printf(size)) << q;
  }
  for (int64_t v = INT32_MIN; v <= INT32_MAX; v += 99991) {
    double x = FormatLength(static_cast<int32_t>(v));
    ASSERT_EQ(Appended(x), Printf(x)) << v;
    ASSERT_EQ(Appended(-x), Printf(-x)) << v;
  }
}

TEST(AppendG, OtherNumbersAsPrintfWritesThem) {
  const double others[] = {-0.0, 0.0, 0.001, 0.005, -0.005, 12.345, -12.345, 0.125, 1.0 / 3, 9999.995, 9999.99, 10000.0, 12345.67,
                           123456.0, 999999.0, 1e6, 1.5e7, -2.5e-5, 1e300,
                           std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  for (double v : others) EXPECT_EQ(Appended(v), Printf(v)) << v;
}

std::string PutFromHundredths(int32_t count) {
  char buf[kMostG];
  return std::string(buf, static_cast<size_t>(PutHundredths(buf, Hundredths{count}) - buf));
}

// Lengths and sizes written from their whole counts of hundredths read as
// printf reads count * 0.01: every count around the point where printf
// turns to six significant digits, and the extreme lengths and sizes.
TEST(PutHundredths, WritesWhatPrintfWritesOfTheCountInHundredths) {
  for (int32_t k = -1200000; k <= 1200000; k += (k > -30000 && k < 30000) || (k > 990000 && k < 1010000) ? 1 : 7) {
    ASSERT_EQ(PutFromHundredths(k), Printf(k * 0.01)) << k;
  }
  for (int32_t k : {999999, 1000000, -999999, -1000000, 16570089, -16570089}) {
    EXPECT_EQ(PutFromHundredths(k), Printf(k * 0.01)) << k;
  }
  EXPECT_EQ(LengthHundredths(INT32_MAX).count * 0.01, FormatLength(INT32_MAX));
  EXPECT_EQ(PutFromHundredths(LengthHundredths(INT32_MIN).count), "-165701");
  EXPECT_EQ(PutFromHundredths(SizeHundredths(-32768).count), Printf(FormatSize(-32768)));
  EXPECT_EQ(PutFromHundredths(LengthHundredths(-129).count), "0");
}

}  // namespace
}  // namespace velkan
