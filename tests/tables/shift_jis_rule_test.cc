#include "tables/shift_jis_rule.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace velkan {
namespace {

// Every assigned JIS X 0208 character converts as the system's converter
// converts it (EUC-JP carries the same row and cell with the high bits set).
TEST(ShiftJisRuleTest, AgreesWithTheSystemConverterOnEveryAssignedCharacter) {
  iconv_t cd = iconv_open("SHIFT_JIS", "EUC-JP");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  int compared = 0;
  for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
      char in[2] = {static_cast<char>(j1 | 0x80), static_cast<char>(j2 | 0x80)};
      char out[4];
      char* src = in;
      char* dst = out;
      size_t srcLeft = 2, dstLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || dst - out != 2) continue;
      uint16_t want = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]));
      ASSERT_EQ(JisToShiftJis(static_cast<uint16_t>(j1 << 8 | j2)), want) << std::hex << (j1 << 8 | j2);
      ++compared;
    }
  }
  iconv_close(cd);
  EXPECT_GT(compared, 6800);
}

TEST(ShiftJisRuleTest, CodesOutsideTheRowsAndCellsHaveNoForm) {
  for (uint16_t code : {0x0000, 0x2020, 0x217F, 0x7F21, 0x2100, 0xA1A1, 0x21A1, 0x8140}) {
    EXPECT_EQ(JisToShiftJis(code), 0) << std::hex << code;
  }
  EXPECT_EQ(JisToShiftJis(0x7E7E), 0xEFFC);  // rows beyond the assigned ones follow the rule too
  EXPECT_EQ(JisToShiftJis(0x7921), 0xED40);
}

}  // namespace
}  // namespace velkan
