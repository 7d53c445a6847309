#include "tables/shift_jis_rule.h"

#include <gtest/gtest.h>

#include <string>

#include "io/byte_order.h"
#include "io/encoding_converter.h"

namespace velkan {
namespace {

// Every assigned JIS X 0208 character converts as the system's converter
// converts it (EUC-JP carries the same row and cell with the high bits set).
TEST(ShiftJisRuleTest, AgreesWithTheSystemConverterOnEveryAssignedCharacter) {
  EncodingConverter converter("SHIFT_JIS", "EUC-JP");
  ASSERT_TRUE(converter.ok());
  int compared = 0;
  std::string out;
  for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
      const char in[2] = {static_cast<char>(j1 | 0x80), static_cast<char>(j2 | 0x80)};
      if (!converter.Convert(std::string_view(in, 2), out) || out.size() != 2) continue;
      ASSERT_EQ(JisToShiftJis(static_cast<uint16_t>(j1 << 8 | j2)), LoadBigEndian16(out.data())) << std::hex << (j1 << 8 | j2);
      ++compared;
    }
  }
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
