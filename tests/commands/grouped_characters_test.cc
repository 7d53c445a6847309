// Group marks: part sizes against a non-square current size, the state
// cycle, and an enclosure left open by an earlier job.
#include "commands/grouped_characters.h"

#include <gtest/gtest.h>

#include "support/memory_pass.h"

namespace velkan::test {
namespace {

constexpr uint16_t kOpen = 0xD003;
constexpr uint16_t kClose = 0xD004;
constexpr uint16_t kMark = 0xD09A;
constexpr uint16_t kA = 0x45A1;
constexpr uint16_t kB = 0x45A2;

// The output of a group of the given part sizes around two characters, at a
// current height and width.
std::string Group(const std::string& sizes, int16_t height, int16_t width, int direction) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD099}, Args(sizes), {kClose, kMark, kA, kMark, kB, kMark}}), direction);
  // The size is already in force: no size tag of its own is written.
  pass.c().typo.height = pass.c().emitted.height = height;
  pass.c().typo.width = pass.c().emitted.width = width;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  return pass.output();
}

TEST(GroupTags, FirstPartComparedWithTheCurrentSize) {
  // Current size 8 high, 6 wide.
  EXPECT_EQ(Group("8,6,8,6", 32, 24, 0), "<GOU><ZAN2 code=45a1><GOU2><ZAN2 code=45a2></GOU>");
  EXPECT_EQ(Group("8,6,8,6", 32, 24, 1), "<GOU><ZAN2 code=45a1><GOU2><ZAN2 code=45a2></GOU>");
  EXPECT_EQ(Group("10,6,10,6", 32, 24, 0), "<GOU h=10pt><ZAN2 code=45a1><GOU2><ZAN2 code=45a2></GOU>");
  EXPECT_EQ(Group("10,6,10,6", 32, 24, 1), "<GOU w=10pt><ZAN2 code=45a1><GOU2><ZAN2 code=45a2></GOU>");
  EXPECT_EQ(Group("8,8,8,8", 32, 24, 1), "<GOU size=8pt><ZAN2 code=45a1><GOU2><ZAN2 code=45a2></GOU>");
}

TEST(GroupTags, SecondPartComparedWithTheFirst) {
  EXPECT_EQ(Group("8,6,8,5", 32, 24, 0), "<GOU><ZAN2 code=45a1><GOU2 w=5pt><ZAN2 code=45a2></GOU>");
  EXPECT_EQ(Group("8,6,8,5", 32, 24, 1), "<GOU><ZAN2 code=45a1><GOU2 h=5pt><ZAN2 code=45a2></GOU>");
  EXPECT_EQ(Group("8,6,4,4", 32, 24, 1), "<GOU><ZAN2 code=45a1><GOU2 size=4pt><ZAN2 code=45a2></GOU>");
}

TEST(GroupState, CyclesThroughTheThreeMarks) {
  Session session;
  MemoryPass pass(session, {kMark, kA, kMark, kB});
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.c().groups.groupState, 2);
  InitJob(pass.c(), 0, 0, 0);
  EXPECT_EQ(pass.c().groups.groupState, 0);
}

TEST(GroupState, EnclosureLeftOpenByAnEarlierJobDoesNotCarryOver) {
  Session session;
  session.enclosureFlag = 1;  // an enclosure was still open when the last job ended
  MemoryPass pass(session, {kMark, kA, kMark, kB, kMark});
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output(), "<GOU><ZAN2 code=45a1><GOU2><ZAN2 code=45a2></GOU>");
  EXPECT_EQ(session.enclosureFlag, 0);
}

TEST(GroupSizes, TakenTogetherOrNotAtAll) {
  Session session;
  MemoryPass pass(session, Join({{kOpen, 0xD099}, Args("10,9,8,7"), {0xD099}, Args("1,2,3"), {0xD099},
                                 Args("1,2,186.25,3"), {kClose}}));
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  const GroupSizes& g = pass.c().groups.sizes;
  EXPECT_EQ(g.height0, 40);
  EXPECT_EQ(g.width0, 36);
  EXPECT_EQ(g.height1, 32);
  EXPECT_EQ(g.width1, 28);
}

}  // namespace
}  // namespace velkan::test
