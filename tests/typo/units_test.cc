// Lengths and sizes as output numbers: the truncation to hundredths, "%g",
// the unit names, whole numbers of characters and per-mille values.
#include "typo/units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace velkan {
namespace {

std::string G(double v) {
  std::string s;
  AppendG(s, v);
  return s;
}

TEST(FormatLength, TruncatesToHundredthsTowardZero) {
  EXPECT_EQ(FormatLength(12960), 1.0);
  EXPECT_EQ(FormatLength(12960 - 1), 0.99);
  EXPECT_EQ(FormatLength(1296), 0.1);
  EXPECT_EQ(FormatLength(129), 0.0);
  EXPECT_EQ(FormatLength(-129), 0.0);
  EXPECT_EQ(FormatLength(-12960), -1.0);
  EXPECT_EQ(FormatLength(155520), 12.0);
  EXPECT_EQ(FormatLength(1710720), 132.0);
  EXPECT_EQ(FormatLength(136080), 10.5);
  EXPECT_EQ(FormatLength(3240), 0.25);
}

TEST(FormatLength, SmallNegativeLengthsPrintAsZeroNotMinusZero) {
  // Truncation goes through an integer count of hundredths, so a length just
  // below zero gives 0 and never the text "-0".
  EXPECT_FALSE(std::signbit(FormatLength(-129)));
  EXPECT_EQ(G(FormatLength(-129)), "0");
  EXPECT_EQ(G(FormatLength(-1)), "0");
}

TEST(FormatLength, ExtremeLengthsStayFinite) {
  EXPECT_EQ(G(FormatLength(INT32_MAX)), "165701");
  EXPECT_EQ(G(FormatLength(INT32_MIN)), "-165701");
  EXPECT_DOUBLE_EQ(FormatLength(INT32_MAX), 165700.89);
}

TEST(FormatSize, QuarterUnitsExactly) {
  EXPECT_EQ(FormatSize(32), 8.0);
  EXPECT_EQ(FormatSize(41), 10.25);
  EXPECT_EQ(FormatSize(1), 0.25);
  EXPECT_EQ(FormatSize(0), 0.0);
  EXPECT_EQ(FormatSize(-32768), -8192.0);
  EXPECT_EQ(FormatSize(32767), 8191.75);
}

TEST(NumberFormat, PercentGWithUnit) {
  EXPECT_EQ(G(12), "12");
  EXPECT_EQ(G(10.25), "10.25");
  EXPECT_EQ(G(0.5), "0.5");
  EXPECT_EQ(G(0.99), "0.99");
  EXPECT_EQ(G(8191.75), "8191.75");
  EXPECT_EQ(G(165700.89), "165701");  // six significant digits
  EXPECT_EQ(G(1e6), "1e+06");
  EXPECT_EQ(G(-2.5), "-2.5");

  char buf[kMostNumberWithUnit];
  EXPECT_EQ(std::string(buf, PutNumberWithUnit(buf, FormatLength(155520), 0)), "12pt");
  EXPECT_EQ(std::string(buf, PutNumberWithUnit(buf, FormatLength(155520), 1)), "12Q");
  EXPECT_EQ(std::string(buf, PutNumberWithUnit(buf, -1e6, 0)), "-1e+06pt");
  std::string unit = "5";
  AppendUnit(unit, 1);
  AppendUnit(unit, 0);
  EXPECT_EQ(unit, "5Qpt");
}

TEST(MojiCount, WholeNumbersOfCharacterHeights) {
  const int32_t unit = 12960;
  MojiCountResult m = MojiCount(128 * unit, 32);  // 128 units at 8 units
  EXPECT_TRUE(m.isWhole);
  EXPECT_EQ(m.count, 16);
  m = MojiCount(130 * unit, 32);
  EXPECT_FALSE(m.isWhole);
  EXPECT_EQ(m.count, 16);
  m = MojiCount(12 * unit, 32);  // 1.5 characters
  EXPECT_FALSE(m.isWhole);
  EXPECT_EQ(m.count, 1);
  m = MojiCount(0, 32);
  EXPECT_TRUE(m.isWhole);
  EXPECT_EQ(m.count, 0);
  m = MojiCount(-16 * unit, 32);
  EXPECT_TRUE(m.isWhole);
  EXPECT_EQ(m.count, -2);
  m = MojiCount(10 * unit + 5184, 41);  // 10.4 units at 10.25: not whole
  EXPECT_FALSE(m.isWhole);
  EXPECT_EQ(m.count, 1);
  m = MojiCount(41 * 3240 * 3, 41);  // three characters of 10.25 units
  EXPECT_TRUE(m.isWhole);
  EXPECT_EQ(m.count, 3);
}

TEST(MojiCount, ZeroHeightIsWholeOnlyForZero) {
  MojiCountResult m = MojiCount(0, 0);
  EXPECT_TRUE(m.isWhole);
  EXPECT_EQ(m.count, 0);
  m = MojiCount(12960, 0);
  EXPECT_FALSE(m.isWhole);
  EXPECT_EQ(m.count, 0);
  m = MojiCount(-129, 0);  // 0 after truncation
  EXPECT_TRUE(m.isWhole);
}

TEST(MojiCount, ExtremeValuesAreDefined) {
  MojiCountResult m = MojiCount(INT32_MAX, 1);
  EXPECT_EQ(m.count, 662803);
  EXPECT_FALSE(m.isWhole);
  m = MojiCount(INT32_MIN, -1);
  EXPECT_EQ(m.count, 662803);
  m = MojiCount(12960, -32768);
  EXPECT_EQ(m.count, 0);
  EXPECT_FALSE(m.isWhole);
}

TEST(PerMille, TruncatesTowardZero) {
  EXPECT_EQ(PerMille(54), 1000);
  EXPECT_EQ(PerMille(50), 925);
  EXPECT_EQ(PerMille(27), 500);
  EXPECT_EQ(PerMille(0), 0);
  EXPECT_EQ(PerMille(-1), -18);
  EXPECT_EQ(PerMille(-54), -1000);
  EXPECT_EQ(PerMille(99), 1833);
  EXPECT_EQ(PerMille(-99), -1833);
  EXPECT_EQ(PerMille(32767), 606796);
  EXPECT_EQ(PerMille(-32768), -606814);
}

}  // namespace
}  // namespace velkan
