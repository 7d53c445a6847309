// The setting commands: what each one reads and which fields it sets.
#include "commands/positioning.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/main_loop.h"
#include "support/memory_conversion.h"

namespace velkan::test {
namespace {

constexpr uint16_t kOpen = 0xD003, kClose = 0xD004, kComma = 0xC335, kPoint = 0xC334;
constexpr uint16_t D(int digit) { return static_cast<uint16_t>(0xC340 + digit); }

// Runs the first pre-phase over a parameter group and the words after it.
void RunGroup(MemoryConversion& m) { ASSERT_EQ(RunPrePhase(m.c), 0); }

TEST(SizeCommands, SizeAndPitch) {
  MemoryConversion m({kOpen, 0xD02E, D(4), D(0), kComma, D(4), D(8), kClose, 0x45A1});
  RunGroup(m);
  EXPECT_EQ(m.c.typo.height, 160);
  EXPECT_EQ(m.c.typo.width, 160);
  EXPECT_EQ(m.c.typo.jkr, 32);
  EXPECT_EQ(m.c.typo.position, 3);
  // The group was closed and the character after it waits.
  EXPECT_EQ(m.c.stream.current(), 0x45A1);
}

TEST(SizeCommands, SizeAloneHasNoPitchDifference) {
  MemoryConversion m({kOpen, 0xD052, D(4), D(0), kClose});
  m.c.typo.jkr = 12;
  m.c.typo.position = 2;
  RunGroup(m);
  EXPECT_EQ(m.c.typo.height, 160);
  EXPECT_EQ(m.c.typo.jkr, 0);
  EXPECT_EQ(m.c.typo.position, 0);
}

TEST(SizeCommands, PositionsAndQuarterSizes) {
  MemoryConversion top({kOpen, 0xD051, D(7), kPoint, D(2), D(5), kClose});
  RunGroup(top);
  EXPECT_EQ(top.c.typo.height, 29);
  EXPECT_EQ(top.c.typo.position, 1);

  MemoryConversion bottom({kOpen, 0xD053, D(7), kComma, D(6), kClose});
  RunGroup(bottom);
  EXPECT_EQ(bottom.c.typo.width, 28);
  EXPECT_EQ(bottom.c.typo.jkr, -4);
  EXPECT_EQ(bottom.c.typo.position, 2);
}

TEST(SizeCommands, NoLimitsAreApplied) {
  MemoryConversion m({kOpen, 0xD052, D(0), kClose});
  RunGroup(m);
  EXPECT_EQ(m.c.typo.height, 0);
  EXPECT_EQ(m.c.typo.width, 0);
}

TEST(SizeCommands, PitchDifferenceWrapsAsSixteenBits) {
  // 8000 units are 32000 quarters; a pitch of 0 gives -32000, and the other
  // way round +32000; 9000 units wrap in the reader already.
  MemoryConversion m({kOpen, 0xD052, D(0), kComma, D(8), D(0), D(0), D(0), kClose});
  RunGroup(m);
  EXPECT_EQ(m.c.typo.jkr, 32000);
  MemoryConversion n({kOpen, 0xD052, D(8), D(0), D(0), D(0), kComma, D(0), kClose});
  RunGroup(n);
  EXPECT_EQ(n.c.typo.jkr, -32000);
}

TEST(WidthCommand, KeepsHeightAndPosition) {
  MemoryConversion m({kOpen, 0xD02E, D(8), 0xD041, D(6), kComma, D(7), kClose});
  RunGroup(m);
  EXPECT_EQ(m.c.typo.height, 32);
  EXPECT_EQ(m.c.typo.width, 24);
  EXPECT_EQ(m.c.typo.jkr, 4);
  EXPECT_EQ(m.c.typo.position, 3);
}

TEST(SettingGroups, SeveralCommandsSetInTurnAndTheLastIsMarked) {
  // Up to five setting commands in one group: each sets its fields, a later
  // one over an earlier one, and the command word marked for the messages
  // is the group's last, as when each command runs with its handler.
  const std::vector<std::vector<uint16_t>> commands = {
      {0xD052, D(9), kComma, D(1), D(0)}, {0xD02D, D(3)}, {0xD041, D(8)}, {0xD038, D(1), D(5)}, {0xD084, D(2)}};
  const TypoState start = MemoryConversion().c.typo;
  for (size_t n = 1; n <= commands.size(); ++n) {
    std::vector<uint16_t> words = {kOpen};
    long long last = 0;
    for (size_t i = 0; i < n; ++i) {
      last = static_cast<long long>(2 * words.size());
      words.insert(words.end(), commands[i].begin(), commands[i].end());
    }
    words.insert(words.end(), {kClose, 0x45A1});
    MemoryConversion m(words);
    RunGroup(m);
    EXPECT_EQ(m.c.stream.current(), 0x45A1) << n;
    EXPECT_EQ(m.c.stream.dispatchOffset(), last) << n;
    EXPECT_EQ(m.c.typo.height, 36) << n;
    EXPECT_EQ(m.c.typo.position, 0) << n;
    EXPECT_EQ(m.c.typo.font, n >= 2 ? 3 : start.font) << n;
    EXPECT_EQ(m.c.typo.width, n >= 3 ? 32 : 36) << n;
    EXPECT_EQ(m.c.typo.jkr, n >= 3 ? 0 : 4) << n;
    EXPECT_EQ(m.c.typo.lineSpacing, n >= 4 ? 60 * 3240 : start.lineSpacing) << n;
    EXPECT_EQ(m.c.typo.colour, n >= 5 ? 2 : start.colour) << n;
  }
}

TEST(FontAndColour, TakeTheIntegerRead) {
  MemoryConversion m({kOpen, 0xD02D, D(1), D(2), 0xD084, D(7), kClose});
  RunGroup(m);
  EXPECT_EQ(m.c.typo.font, 12);
  EXPECT_EQ(m.c.typo.colour, 7);
}

TEST(LineSpacingAndMeasure, InTheJobUnit) {
  MemoryConversion pt({kOpen, 0xD038, D(1), D(4), kPoint, D(5), 0xD039, D(1), D(0), kPoint, D(6), kClose});
  RunGroup(pt);
  EXPECT_EQ(pt.c.typo.lineSpacing, 58 * 3240);
  // 10 picas 6 points.
  EXPECT_EQ(pt.c.typo.measure, 126 * 12960);

  MemoryConversion q({kOpen, 0xD039, D(1), D(0), kPoint, D(5), kClose}, 0, 1);
  RunGroup(q);
  EXPECT_EQ(q.c.typo.measure, 42 * 3240);
}

}  // namespace
}  // namespace velkan::test
