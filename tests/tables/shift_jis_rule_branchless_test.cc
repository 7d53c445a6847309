// The Shift_JIS rule computed without branches gives, for every 16-bit
// code, what the rule written out case by case gives.
#include <gtest/gtest.h>

#include "tables/shift_jis_rule.h"

namespace velkan {
namespace {

uint16_t RuleCaseByCase(uint16_t jis) {
  unsigned j1 = jis >> 8;
  unsigned j2 = jis & 0xFF;
  if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) return 0;
  unsigned s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
  unsigned s2 = (j1 & 1) != 0 ? j2 + (j2 >= 0x60 ? 0x20 : 0x1F) : j2 + 0x7E;
  return static_cast<uint16_t>(s1 << 8 | s2);
}

TEST(ShiftJisRuleTest, EveryCodeAsTheRuleCaseByCase) {
  for (uint32_t code = 0; code <= 0xFFFF; ++code) {
    ASSERT_EQ(JisToShiftJis(static_cast<uint16_t>(code)), RuleCaseByCase(static_cast<uint16_t>(code)))
        << std::hex << code;
  }
}

}  // namespace
}  // namespace velkan
