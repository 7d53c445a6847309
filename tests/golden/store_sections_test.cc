// The case notation's sections for the format store and a second run.
#include <gtest/gtest.h>

#include "golden/case_file.h"

namespace velkan::test {
namespace {

TEST(CaseStoreSections, StoredFormatsSecondRunAndExpectations) {
  CaseFile c;
  std::string error;
  ASSERT_TRUE(ParseCase("== stored 5\n4521 { D03F #7 }\n"
                        "== stored 7 undefined\n4527\n"
                        "== words\n{ D03F #5 }\n"
                        "== expect\n<ZAN2 code=4521>\n"
                        "== rerun\n4522\n"
                        "== rerun-expect\nx\\r\\n\n"
                        "== rerun-status\nfailed\n"
                        "== expect-stored 399 undefined\n",
                        c, error))
      << error;
  ASSERT_EQ(2u, c.stored.size());
  EXPECT_EQ(5, c.stored[0].number);
  EXPECT_TRUE(c.stored[0].defined);
  EXPECT_EQ((std::vector<uint16_t>{0x4521, 0xD003, 0xD03F, 0xC347, 0xD004}), c.stored[0].words);
  EXPECT_EQ(7, c.stored[1].number);
  EXPECT_FALSE(c.stored[1].defined);
  ASSERT_TRUE(c.haveRerun);
  EXPECT_EQ(std::string("\x45\x22", 2), c.rerunInput);
  EXPECT_EQ("x\r\n", c.rerunExpected);
  EXPECT_EQ("failed", c.rerunStatus);
  ASSERT_EQ(1u, c.expectStored.size());
  EXPECT_EQ(399, c.expectStored[0].number);
  EXPECT_FALSE(c.expectStored[0].defined);
  EXPECT_TRUE(c.expectStored[0].words.empty());
}

TEST(CaseStoreSections, MistakesAreReported) {
  const char* bad[] = {
      "== stored 400\n4521\n== words\n4521\n== expect\n",      // no such format
      "== stored\n4521\n== words\n4521\n== expect\n",          // no number
      "== stored 5 maybe\n4521\n== words\n4521\n== expect\n",  // unknown flag
      "== stored 5\n4521*513\n== words\n4521\n== expect\n",    // longer than a record
      "== words\n4521\n== expect\n== rerun\n4521\n",           // second run without its output
  };
  for (const char* text : bad) {
    CaseFile c;
    std::string error;
    EXPECT_FALSE(ParseCase(text, c, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

}  // namespace
}  // namespace velkan::test
