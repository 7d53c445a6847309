// The commands beside the character stage, driven directly where their
// effect is on the state rather than the output.
#include "commands/stage_commands.h"

#include <gtest/gtest.h>

#include "conversion/code_stream.h"
#include "engine/main_loop.h"
#include "support/memory_conversion.h"

namespace velkan::test {
namespace {

// Puts the conversion on its first word, as the dispatch calls a handler.
void StandOnFirstWord(MemoryConversion& m) {
  ASSERT_EQ(m.c.stream.Take(), 0);
  m.c.stream.Keep();
}

TEST(OneShotCode, DropsGroupClosesAndLeavesTheNextWordPending) {
  MemoryConversion m({0xD093, 0xD004, 0xD004, 0x45A1, 0x45A2});
  StandOnFirstWord(m);
  EXPECT_EQ(CmdOneShotCode(m.c), Flow::kGoOn);
  EXPECT_EQ(m.c.stream.current(), 0x45A1);
  EXPECT_TRUE(m.c.stream.pending());
  EXPECT_EQ(m.c.chars.oneShotCode, 1);
  EXPECT_EQ(m.output(), "");
}

TEST(OneShotCode, ClosesAnOpenManualRubyText) {
  MemoryConversion m({0xD093, 0x45A1});
  StandOnFirstWord(m);
  m.c.ruby.manual = 2;
  EXPECT_EQ(CmdOneShotCode(m.c), Flow::kGoOn);
  EXPECT_EQ(m.output(), "</RUB>");
  EXPECT_EQ(m.c.ruby.manual, 0);
}

TEST(OneShotCode, AManualRubyBaseStaysOpen) {
  MemoryConversion m({0xD093, 0x45A1});
  StandOnFirstWord(m);
  m.c.ruby.manual = 1;
  EXPECT_EQ(CmdOneShotCode(m.c), Flow::kGoOn);
  EXPECT_EQ(m.output(), "");
  EXPECT_EQ(m.c.ruby.manual, 1);
}

TEST(OneShotCode, AtTheEndOfTheInputTheEndWordIsPending) {
  MemoryConversion m({0xD093, 0xD004});
  StandOnFirstWord(m);
  EXPECT_EQ(CmdOneShotCode(m.c), Flow::kGoOn);
  EXPECT_EQ(m.c.stream.current(), kEndOfJob);
  EXPECT_TRUE(m.c.stream.pending());
}

TEST(KinsokuRelease, StopsAfterTheLineEndWord) {
  MemoryConversion m({0xD0B9, 0x45A1, 0xD009, 0xD01C, 0x45A2});
  StandOnFirstWord(m);
  EXPECT_EQ(CmdKinsokuRelease(m.c), Flow::kGoOn);
  EXPECT_EQ(m.c.stream.current(), 0xD01C);
  EXPECT_FALSE(m.c.stream.pending());
}

TEST(KinsokuRelease, EndOfInputLeavesTheEndWordPending) {
  MemoryConversion m({0xD0B9, 0x45A1});
  StandOnFirstWord(m);
  EXPECT_EQ(CmdKinsokuRelease(m.c), Flow::kGoOn);
  EXPECT_EQ(m.c.stream.current(), kEndOfJob);
  EXPECT_TRUE(m.c.stream.pending());
}

TEST(IgnoredValues, InGroupHandlersStopAtTheNextWord) {
  MemoryConversion m({0xD076, 0xC341, 0xC340, 0xC340, 0xC340, 0xD004});
  StandOnFirstWord(m);
  EXPECT_EQ(CmdIgnoredInteger(m.c), Flow::kGoOn);
  EXPECT_EQ(m.c.stream.current(), 0xD004);

  MemoryConversion l({0xD074, 0xC341, 0xC334, 0xC345, 0xD052});
  StandOnFirstWord(l);
  EXPECT_EQ(CmdIgnoredLength(l.c), Flow::kGoOn);
  EXPECT_EQ(l.c.stream.current(), 0xD052);
}

}  // namespace
}  // namespace velkan::test
