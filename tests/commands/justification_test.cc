// Measure, baseline shifts, the indexed length check and the limits of a job.
#include "commands/justification.h"

#include <gtest/gtest.h>

#include "support/memory_pass.h"
#include "support/test_support.h"
#include "typo/typo_state.h"

namespace velkan::test {
namespace {

constexpr uint16_t kOpen = 0xD003;
constexpr uint16_t kClose = 0xD004;
constexpr uint16_t kCharacter = 0x45A1;

TEST(JobLimits, InitJobSetsTheSameLimitsForPtAndQ) {
  for (int unit : {0, 1}) {
    Session session;
    MemoryPass pass(session, {}, 0, unit);
    pass.c().limits = SizeLimits{};
    InitJob(pass.c(), 0, unit, 0);
    const SizeLimits& lim = pass.c().limits;
    EXPECT_EQ(lim.minSize, 18);
    EXPECT_EQ(lim.maxSize, 744);
    EXPECT_EQ(lim.minLength, 3240);
    EXPECT_EQ(lim.maxLength, 23976000);
  }
}

TEST(Measure, MillimetresScaleByTheJobUnit) {
  for (auto [unit, perQuarter] : {std::pair{0, 9220}, std::pair{1, 12960}}) {
    Session session;
    MemoryPass pass(session, Join({{kOpen, 0xD03A}, Args("10.5"), {kClose}}), 0, unit);
    EXPECT_EQ(pass.Run(), Flow::kEndJob);
    EXPECT_EQ(pass.c().typo.measure, 42 * perQuarter);
  }
}

TEST(Measure, CharactersLeaveOutTheLastPitchDifference) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD05E}, Args("10"), {kClose}}));
  pass.c().typo.jkr = 4;  // pitch 9 units at a width of 8
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.c().typo.measure, (40 * 36 - 4 * 4) * 810);
}

TEST(BaselineShift, ShiftsAccumulateUntilTheNextStep) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD02A}, Args("1"), {0xD02A}, Args("0.5"), {0xD02B}, Args("2"), {kClose}}));
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  // Up 1.5 and down 2: the text moves down half a point.
  EXPECT_EQ(pass.output(), "<MOVE up=0.5pt>");
  EXPECT_EQ(pass.c().move.up, 0);
}

TEST(BaselineShift, HalfLineTruncatesTowardZero) {
  Session session;
  MemoryPass pass(session, {0xD0B5, 0xD0B6, 0xD0B6});
  pass.c().typo.lineSpacing = pass.c().emitted.lineSpacing = 155521;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output(), "<MOVE up=6pt>");  // 77760 up, twice down

  Session other;
  MemoryPass negative(other, {kCharacter, 0xD0B5, kCharacter});
  // Half of -1295 is -647 toward zero (0.04 units), not -648 (0.05 units).
  negative.c().typo.lineSpacing = negative.c().emitted.lineSpacing = -1295;
  EXPECT_EQ(negative.Run(), Flow::kEndJob);
  EXPECT_EQ(negative.output(), "<ZAN2 code=45a1><MOVE up=0.04pt><ZAN2 code=45a1>");
}

TEST(BaselineShift, SumWrapsInsteadOfOverflowing) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD02A}, Args("1"), {kClose}}));
  pass.c().move.up = 2147483647;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  // 2147483647 + 12960 wraps to -2147470689: a move down by 165700.2 units.
  EXPECT_EQ(pass.output(), "<MOVE up=165700pt>");
}

// Runs 0xD03B with the given index, selector and length digits.
Flow IndexedLength(const std::string& index, uint16_t selector, const std::string& length, int unit = 0) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD03B}, Args(index), {selector}, Args(length), {kClose, kCharacter}}), 0,
                  unit);
  return pass.Run();
}

TEST(IndexedLength, WellFormedChecksPass) {
  EXPECT_EQ(IndexedLength("0", kSelectMeasureLength, "0.0.25"), Flow::kEndJob);
  EXPECT_EQ(IndexedLength("60", kSelectMeasureLength, "154"), Flow::kEndJob);
  EXPECT_EQ(IndexedLength("1", kSelectMeasureMillimetres, "1"), Flow::kEndJob);
  EXPECT_EQ(IndexedLength("1", kSelectMeasureChars, "3"), Flow::kEndJob);
  EXPECT_EQ(IndexedLength("1", kSelectMeasureLength, "1850", 1), Flow::kEndJob);  // exactly the longest in Q
}

TEST(IndexedLength, MalformedChecksEndTheConversion) {
  EXPECT_EQ(IndexedLength("61", kSelectMeasureLength, "10"), Flow::kFail);
  EXPECT_EQ(IndexedLength("40000", kSelectMeasureLength, "10"), Flow::kFail);  // wraps negative
  EXPECT_EQ(IndexedLength("1", 0xD038, "10"), Flow::kFail);
  EXPECT_EQ(IndexedLength("1", kSelectMeasureLength, "0.0.1"), Flow::kFail);
  EXPECT_EQ(IndexedLength("1", kSelectMeasureLength, "155"), Flow::kFail);
  EXPECT_EQ(IndexedLength("1", kSelectMeasureLength, "1850.25", 1), Flow::kFail);
}

TEST(FillSpace, ClosesAnOpenManualRubyFirst) {
  Session session;
  MemoryPass pass(session, {0xD0B4});
  pass.c().ruby.manual = 2;  // the ruby text is open
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.c().ruby.manual, 0);
  EXPECT_EQ(pass.output(), "</RUB><FILSP>");
}

TEST(OriginWithValue, ADigitIsConsumedOtherwiseTheWordStays) {
  Session session;
  MemoryPass pass(session, Join({{kCharacter, 0xD09D}, Args("3"), {0xD009}}));
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output().find("<WAR"), std::string::npos);
  EXPECT_EQ(pass.output().substr(pass.output().size() - 2), "\r\n");
}

}  // namespace
}  // namespace velkan::test
