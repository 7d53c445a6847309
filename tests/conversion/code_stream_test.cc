// The code stream: byte order, fillers, skipped regions, the end of the input
// and the block reads behind it.
#include "conversion/code_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion/format_store.h"
#include "conversion/word_fixture.h"
#include "engine/pass.h"
#include "io/byte_streams.h"

namespace velkan::test {
namespace {

// Every word the stream delivers (Next) up to and including the first 0xD056.
std::vector<uint16_t> Drain(WordConversion& w, size_t limit = 200000) {
  std::vector<uint16_t> got;
  for (size_t i = 0; i < limit; ++i) {
    got.push_back(w.Next());
    if (got.back() == kEndOfJob) break;
  }
  return got;
}

TEST(CodeStream, WordsAreReadHighByteFirst) {
  WordConversion w(RawBytes{std::string("\x12\x34\xD0\x09", 4)});
  EXPECT_EQ(Drain(w), (std::vector<uint16_t>{0x1234, 0xD009, kEndOfJob}));
}

TEST(CodeStream, OddTrailingByteIsIgnoredAndEndsTheInput) {
  WordConversion w(RawBytes{std::string("\x45\x21\xD0", 3)});
  EXPECT_EQ(Drain(w), (std::vector<uint16_t>{0x4521, kEndOfJob}));
  WordConversion one(RawBytes{std::string("\x45", 1)});
  EXPECT_EQ(one.Next(), kEndOfJob);
}

TEST(CodeStream, EmptyInputGivesTheEndWordAtOnceAndForever) {
  WordConversion w(std::vector<uint16_t>{});
  for (int i = 0; i < 5; ++i) EXPECT_EQ(w.Next(), kEndOfJob);
  EXPECT_TRUE(w.c.stream.exhausted());
  EXPECT_FALSE(w.c.stream.readError());
}

TEST(CodeStream, EndWordRepeatsAfterTheInputIsUsedUp) {
  WordConversion w({0x4521});
  EXPECT_EQ(w.Next(), 0x4521);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(w.Next(), kEndOfJob);
}

TEST(CodeStream, FillersAreDroppedEverywhere) {
  WordConversion w({0x0000, 0xD000, 0x4521, 0x0000, 0xD003, 0xD000, 0xC341, 0x0000, 0xC334, 0xD000,
                    0xC342, 0xD004, 0x0000, 0xD000});
  EXPECT_EQ(Drain(w), (std::vector<uint16_t>{0x4521, 0xD003, 0xC341, 0xC334, 0xC342, 0xD004, kEndOfJob}));
}

TEST(CodeStream, OnlyTheTwoFillerWordsAreDropped) {
  // Words next to the fillers are ordinary: 0x0001 is a character, 0xD100
  // and 0xE000 reach the later stages.
  WordConversion w({0x0001, 0xD100, 0xE000, 0x00D0});
  EXPECT_EQ(Drain(w), (std::vector<uint16_t>{0x0001, 0xD100, 0xE000, 0x00D0, kEndOfJob}));
}

TEST(CodeStream, SkippedRegionDeliversOnlyWhatFollowsIt) {
  WordConversion w({0xD050, 0x4521, 0xD009, 0x4522, 0xD050, 0x4523});
  EXPECT_EQ(Drain(w), (std::vector<uint16_t>{0x4523, kEndOfJob}));
}

TEST(CodeStream, SkippedRegionHidesFillersCommandsAndTheEndWord) {
  WordConversion w({0x4521, 0xD050, 0x0000, 0xD056, 0xD003, 0xD000, 0xD050, 0xD050, 0xD050, 0x4522});
  // Two regions in a row: the second is empty.
  EXPECT_EQ(Drain(w), (std::vector<uint16_t>{0x4521, 0x4522, kEndOfJob}));
}

TEST(CodeStream, UnclosedSkippedRegionDiscardsTheRest) {
  WordConversion w({0x4521, 0xD050, 0x4522, 0xD009});
  EXPECT_EQ(w.Next(), 0x4521);
  EXPECT_EQ(w.Next(), kEndOfJob);
  EXPECT_EQ(w.Next(), kEndOfJob);
}

TEST(CodeStream, UnclosedRegionEndingInAnOddByte) {
  WordConversion w(RawBytes{std::string("\xD0\x50\x45\x21\xD0", 5)});
  EXPECT_EQ(w.Next(), kEndOfJob);
}

TEST(CodeStream, FetchingDoesNotTouchThePendingFlag) {
  WordConversion w({0x4521});
  w.c.stream.Keep();
  uint16_t word = 0;
  ASSERT_EQ(w.c.stream.Next(word), 0);
  EXPECT_EQ(word, 0x4521);
  EXPECT_TRUE(w.c.stream.pending());
  EXPECT_EQ(w.c.stream.current(), 0);  // only the given variable is set
}

TEST(CodeStream, AWordPutBackIsTakenAgainBeforeTheRest) {
  WordConversion w({0x8140, 0xD000, 0x8141, 0x8142});
  CodeStream& s = w.c.stream;
  EXPECT_FALSE(s.PutBackPending());  // nothing taken, nothing pending
  ASSERT_EQ(s.Take(), 0);
  EXPECT_FALSE(s.PutBackPending());  // taken, not pending
  ASSERT_EQ(s.Take(), 0);            // the filler dropped
  ASSERT_EQ(s.current(), 0x8141);
  s.Keep();
  ASSERT_TRUE(s.PutBackPending());
  EXPECT_FALSE(s.pending());
  size_t avail = 0;
  const uint8_t* p = s.PeekWords(avail);
  ASSERT_EQ(avail, 2u);
  EXPECT_EQ(LoadBigEndian16(p), 0x8141);
  ASSERT_EQ(s.Take(), 0);
  EXPECT_EQ(s.current(), 0x8141);
  // A word kept that is not the one the block read took last stays pending.
  s.Keep(0x8142);
  EXPECT_FALSE(s.PutBackPending());
  EXPECT_TRUE(s.pending());
  EXPECT_EQ(s.current(), 0x8142);
  s.Consume();
  ASSERT_EQ(s.Take(), 0);
  EXPECT_EQ(s.current(), 0x8142);
}

// Words of a large input, delivered by a source in chunks of a given size, so
// that words and regions straddle the reads and the 64 KiB blocks.
void ExpectLargeInputReadWhole(size_t chunk) {
  std::vector<uint16_t> words;
  std::vector<uint16_t> want;
  for (uint32_t i = 0; i < 70000; ++i) {
    uint16_t ch = static_cast<uint16_t>(0x4000 + (i % 0x3FFF));
    words.push_back(ch);
    want.push_back(ch);
    if (i % 9999 == 0) words.push_back(0x0000);
    if (i == 32760) {  // a region around the first block boundary (byte 65536)
      for (uint16_t k = 0; k < 10; ++k) words.push_back(k == 0 || k == 9 ? kSkipRegion : 0x4521);
    }
  }
  std::string bytes = WordBytes(words) + "\x7F";  // and an odd trailing byte
  Session session;
  LoadedTables tables;
  ChunkedSource source(bytes, chunk);
  MemorySink sink;
  Pass pass(session, PassSettings{}, tables, source, sink);
  Conversion& c = pass.conversion();
  std::vector<uint16_t> got;
  for (;;) {
    uint16_t w = 0;
    ASSERT_EQ(c.stream.Next(w), 0);
    if (w == kEndOfJob) break;
    got.push_back(w);
    ASSERT_LE(got.size(), want.size());
  }
  EXPECT_EQ(got, want) << "chunk " << chunk;
  EXPECT_EQ(c.stream.consumed(), static_cast<long long>(bytes.size()) - 1);
  EXPECT_FALSE(c.stream.readError());
}

TEST(CodeStream, WordsSpanningBlockBoundariesStayWhole) {
  ExpectLargeInputReadWhole(1 << 20);  // whole 64 KiB blocks
  ExpectLargeInputReadWhole(65535);    // every block boundary splits a word
  ExpectLargeInputReadWhole(3);        // tiny odd reads
}

TEST(CodeStream, ReadErrorEndsTheInputLikeItsEnd) {
  // Fails once four bytes have been read: the words read before it stand,
  // and the error is remembered for the job's report.
  std::string bytes = WordBytes({0x4521, 0x4522, 0x4523, 0x4524});
  Session session;
  LoadedTables tables;
  ChunkedSource source(bytes, 3, 4);
  MemorySink sink;
  Pass pass(session, PassSettings{}, tables, source, sink);
  Conversion& c = pass.conversion();
  uint16_t w = 0;
  ASSERT_EQ(c.stream.Next(w), 0);
  EXPECT_EQ(w, 0x4521);
  ASSERT_EQ(c.stream.Next(w), 0);
  EXPECT_EQ(w, 0x4522);
  ASSERT_EQ(c.stream.Next(w), 0);
  EXPECT_EQ(w, kEndOfJob);
  ASSERT_EQ(c.stream.Next(w), 0);
  EXPECT_EQ(w, kEndOfJob);
  EXPECT_TRUE(c.stream.readError());
  EXPECT_TRUE(c.stream.exhausted());
}

TEST(CodeStream, ReadErrorInsideASkippedRegionEndsTheInput) {
  std::string bytes = WordBytes({0xD050, 0x4521, 0x4522, 0xD050, 0x4523});
  Session session;
  LoadedTables tables;
  ChunkedSource source(bytes, 2, 4);
  MemorySink sink;
  Pass pass(session, PassSettings{}, tables, source, sink);
  Conversion& c = pass.conversion();
  uint16_t w = 0;
  ASSERT_EQ(c.stream.Next(w), 0);
  EXPECT_EQ(w, kEndOfJob);
  EXPECT_TRUE(c.stream.readError());
}

// A thread running one pass after another lends each the same block: a
// stream reads nothing of what an earlier one left there, not behind its
// own words nor before it read any.
TEST(CodeStream, ABlockAnEarlierStreamReadIntoShowsNothingOfIt) {
  SpareBlock spare;
  FormatStore store;
  const std::string earlier = WordBytes(std::vector<uint16_t>(40000, 0x4521));
  {
    MemorySource in(earlier);
    CodeStream s(in, store, &spare);
    // Ended early, as by a failing command: its words are still there.
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(s.Take(), 0);
    ASSERT_EQ(s.current(), 0x4521);
  }
  // One word and a lone byte.
  MemorySource in(std::string_view("\x45\x22\x45", 3));
  CodeStream s(in, store, &spare);
  size_t count = 7;
  const uint8_t* words = s.PeekWords(count);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(s.WordsEndTheBytes());
  EXPECT_EQ(LoadBigEndian16(words), 0) << "no zero word where nothing was read yet";
  ASSERT_EQ(s.Take(), 0);
  EXPECT_EQ(s.current(), 0x4522);
  s.PeekWords(count);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(s.FindTakenWord(0x4521, 0), -1);
  ASSERT_EQ(s.Take(), 0);
  EXPECT_EQ(s.current(), kEndOfJob);
  EXPECT_EQ(s.consumed(), 2);  // the lone byte makes no word
}

// While a replay's words are the block read, the input's place is asked of
// the input kept aside: a command marked in the replay counts as marked at
// the input's word taken last, also once a skipped region the replay opened
// moved the input on and once the input's block was read again after the
// replay; the bytes consumed and the end of the input are the input's too.
TEST(CodeStream, AReplayAsksTheInputKeptAsideForItsPlace) {
  const std::vector<uint16_t> input = {0x4521, 0x4522, kSkipRegion, 0x4523, 0x4524, 0x4525};
  for (size_t chunk : {2, 3, 5, 64}) {
    SCOPED_TRACE("reads of " + std::to_string(chunk) + " bytes");
    ChunkedSource in(WordBytes(input), chunk);
    FormatStore store;
    FormatWords body{};
    body[0] = 0x4531;
    body[1] = 0xD02D;
    body[2] = kSkipRegion;
    body[3] = 0x4532;
    PutInCache(store, 7, body);
    CodeStream s(in, store);
    auto play = [&] {
      store.replaying = 7;
      store.replaySlot = static_cast<int16_t>(store.state[7] & kNoSlot);
      store.position = 0;
      s.PlayStoredFormat();
    };
    auto take = [&] {
      EXPECT_EQ(s.Take(), 0);
      return s.current();
    };
    EXPECT_EQ(take(), 0x4521);
    s.MarkDispatch();
    play();
    EXPECT_TRUE(s.replayRuns());
    EXPECT_EQ(s.consumed(), 2);
    EXPECT_EQ(take(), 0x4531);
    EXPECT_EQ(take(), 0xD02D);
    s.MarkDispatch();
    EXPECT_EQ(s.dispatchOffset(), 0);
    // The region runs from the replay's 0xD050 to the input's.
    EXPECT_EQ(take(), 0x4532);
    EXPECT_EQ(s.consumed(), 6);
    EXPECT_EQ(s.dispatchOffset(), 0);
    s.MarkDispatch();
    EXPECT_EQ(s.dispatchOffset(), 4);
    EXPECT_EQ(take(), kGroupClose);
    EXPECT_FALSE(s.replayRuns());
    EXPECT_EQ(store.replaying, -1);
    EXPECT_EQ(take(), 0x4523);
    EXPECT_EQ(take(), 0x4524);
    EXPECT_EQ(s.dispatchOffset(), 4);
    EXPECT_EQ(take(), 0x4525);
    EXPECT_EQ(take(), kEndOfJob);
    // A replay after the end of the input plays; a region it opens ends
    // at the input's end, and the replay goes on behind it.
    play();
    EXPECT_TRUE(s.exhausted());
    EXPECT_EQ(s.consumed(), 12);
    EXPECT_EQ(take(), 0x4531);
    EXPECT_EQ(take(), 0xD02D);
    EXPECT_EQ(take(), kEndOfJob);
    EXPECT_TRUE(s.replayRuns());
    EXPECT_EQ(take(), 0x4532);
    EXPECT_EQ(take(), kGroupClose);
    EXPECT_EQ(take(), kEndOfJob);
  }
}

TEST(CodeStream, ReadRawWordLeavesTheWordAtTheEnd) {
  WordConversion w(RawBytes{std::string("\xAB", 1)});
  uint16_t word = 0x1111;
  EXPECT_EQ(w.c.stream.ReadRawWord(word), 2);
  EXPECT_EQ(word, 0x1111);
}

}  // namespace
}  // namespace velkan::test
