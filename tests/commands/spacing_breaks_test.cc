// Line-start flags across jobs, the no-break marks, and the bell's switch of
// the replay source.
#include "commands/spacing_breaks.h"

#include <gtest/gtest.h>

#include "commands/pass_fixture.h"

namespace velkan::test {
namespace {

TEST(LineEnds, FlagsCarryOverToTheNextJob) {
  Session s;
  // The first job writes no text: its line end is suppressed, and that
  // clears the suppression for good.
  EXPECT_EQ(RunWords(s, {0xD009}).output, "");
  EXPECT_EQ(s.atLineStart, 1);
  EXPECT_EQ(s.suppressLineEnd, 0);
  // A later job of the same run writes its first line end.
  EXPECT_EQ(RunWords(s, {0xD009}).output, "\r\n");
}

TEST(LineEnds, ZeroLineInTheFirstJobLeavesTheNextLineEndWritten) {
  Session s;
  EXPECT_EQ(RunWords(s, {0xD029}).output, "<G l=0>");
  EXPECT_EQ(s.suppressLineEnd, 1);
  EXPECT_EQ(s.atLineStart, 0);
  EXPECT_EQ(RunWords(s, {0xD009}).output, "\r\n");
}

TEST(RawTag, AnOpenBracketDoesNotOutliveItsJob) {
  Session s;
  EXPECT_EQ(RunWords(s, {0xD03D, 0x45A1, 0xD002}).output, "<<ZAN2 code=45a1> ");
  EXPECT_EQ(RunWords(s, {0x45A1, 0xD002}).output, "<ZAN2 code=45a1><sp>");
}

TEST(NoBreak, MarksTheNextMoveTag) {
  Session s;
  HandlerPass p(s, {});
  EXPECT_EQ(p.Call(CmdNoBreakDm, 0xD060), Flow::kEndPrePhase);
  EXPECT_EQ(p.c.move.bnkn, -1);
  EXPECT_EQ(p.output(), "<dm wid=0>");

  HandlerPass q(s, {});
  EXPECT_EQ(q.Call(CmdNoBreak, 0xD078), Flow::kGoOn);  // the pre-phase goes on
  EXPECT_EQ(q.c.move.bnkn, -1);
  EXPECT_EQ(q.output(), "");
}

TEST(BellTable, EndsWithTheEndRow) {
  auto table = BellTable();
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table.back().word, 0xD023);
  EXPECT_EQ(table.back().action, nullptr);
}

TEST(Bell, SwitchesTheReplaySourceBackAndForth) {
  Session s;
  // Format 3 sits in cache slot 0 and is being replayed; its own next words
  // are the bell's second half and then a character.
  HandlerPass p(s, {0xD00A, 0x4522});
  p.c.store.state[3] = 0x80;
  p.c.store.cache[0] = {};
  p.c.store.cache[0][0] = 0xD00A;
  p.c.store.cache[0][1] = 0x4521;
  p.c.store.replaying = 3;
  p.c.store.replaySlot = 0;
  p.c.store.position = 0;

  // From the input: over to the replay. The bell gives the result of the
  // handler it runs, 0xD0B3's (which also stands in the pre-phase).
  EXPECT_EQ(p.Call(CmdBell, 0xD00A), Flow::kEndPrePhase);
  EXPECT_TRUE(p.c.stream.replayRuns());
  EXPECT_FALSE(p.c.stream.pending());
  // From the replay: back to the input, the replay keeping its place.
  EXPECT_EQ(p.Call(CmdBell, 0xD00A), Flow::kEndPrePhase);
  EXPECT_FALSE(p.c.stream.replayRuns());
  EXPECT_EQ(p.c.store.position, 1);
  EXPECT_EQ(p.Next(), 0x4522);
  EXPECT_EQ(p.output(), "");
}

TEST(Bell, SwitchingWithoutAReplayFails) {
  Session s;
  HandlerPass p(s, {0xD00A});
  EXPECT_EQ(p.Call(CmdBell, 0xD00A), Flow::kFail);
  EXPECT_FALSE(p.c.stream.replayRuns());
}

}  // namespace
}  // namespace velkan::test
