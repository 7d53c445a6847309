// Arguments read from the block against the readers over the stream: the
// same values, counts and current word, and the block's reading falling
// short (nothing taken) wherever the stream would do more than take words.
#include "commands/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/pass_fixture.h"
#include "tables/command_words.h"

namespace velkan::test {
namespace {

constexpr uint16_t kComma = kCommaSeparator;
constexpr uint16_t kPoint = kPointSeparator;
constexpr uint16_t kClose = kGroupClose;
constexpr uint16_t kFiller = kFillerWord;
constexpr uint16_t kSkip = kSkipRegion;

uint16_t D(int digit) { return static_cast<uint16_t>(0xC340 + digit); }

// Reads a quarter value, a length, a count of characters, a unit length
// and an integer in turn from `a`, then passes over what is left of the
// arguments; the values, counts and current words, joined in a text.
template <typename Arguments>
std::string ReadAll(Arguments& a) {
  std::string seen;
  auto note = [&](long long value, int count) {
    seen += std::to_string(value) + "/" + std::to_string(count) + "@" + std::to_string(a.current()) + " ";
  };
  int16_t q = 0, n = 0;
  int32_t l = 0, ch = 0, u = 0;
  int r = a.Quarters(q);
  note(q, r);
  if (r < 0) return seen;
  r = a.Length(l);
  note(l, r);
  if (r < 0) return seen;
  r = a.CharsFull(ch);
  note(ch, r);
  if (r < 0) return seen;
  r = a.UnitLength(u);
  note(u, r);
  if (r < 0) return seen;
  r = a.Integer(n);
  note(n, r);
  if (r < 0) return seen;
  note(0, a.Skip());
  return seen;
}

// What ReadAll sees from the block and from the stream over `words`, the
// command word being current, and the word each stream delivers next.
struct Both {
  std::string block, stream;
  bool complete = false;
  uint16_t blockNext = 0, streamNext = 0;
};

Both ReadBoth(std::vector<uint16_t> words, int unit) {
  Both both;
  Session s1, s2;
  words.insert(words.begin(), 0xD02F);
  HandlerPass p1(s1, words, unit), p2(s2, words, unit);
  for (HandlerPass* p : {&p1, &p2}) {
    p->c.typo.width = 40;
    p->c.typo.jkr = 2;
    p->c.stream.Take();  // the command word, as a handler finds it
  }
  BlockArguments block(p1.c);
  both.block = ReadAll(block);
  both.complete = block.complete();
  if (both.complete) block.Commit();
  both.blockNext = p1.Next();
  StreamArguments stream(p2.c);
  both.stream = ReadAll(stream);
  both.streamNext = p2.Next();
  return both;
}

TEST(BlockArguments, ReadAsTheReadersReadTheStream) {
  const std::vector<std::vector<uint16_t>> cases = {
      // 12.5, 1.2.5 (picas, points, quarters), 3 at a pitch of 9, 0.75, 65539 (wraps), then ,4.
      {D(1), D(2), kPoint, D(5), kComma, D(1), kPoint, D(2), kPoint, D(5), kComma, D(3), kComma, D(9), kComma,
       D(0), kPoint, D(7), D(5), kComma, D(6), D(5), D(5), D(3), D(9), kComma, D(4), kClose, 0x8140},
      // No digits anywhere: every count 0, each reader stopping at the next separator.
      {kComma, kComma, kPoint, kComma, kComma, kComma, 0xD034, 0x8140},
      // A number ended by a command word, the rest of the readers meeting commands.
      {D(7), 0xD035, D(1), D(2), 0xD02F, 0xD030, 0xD031, D(3), 0xD032, 0x8140},
  };
  for (int unit : {0, 1}) {
    for (const auto& words : cases) {
      Both both = ReadBoth(words, unit);
      EXPECT_TRUE(both.complete) << both.block;
      EXPECT_EQ(both.block, both.stream) << "unit " << unit;
      EXPECT_EQ(both.blockNext, both.streamNext) << both.block;
    }
  }
}

TEST(BlockArguments, FallShortWhereTheStreamWouldDoMore) {
  // A filler among the digits, a skipped region, the end of the input
  // within the arguments: the stream reads on, the block takes nothing.
  const std::vector<std::vector<uint16_t>> cases = {
      {D(1), kFiller, D(2), kComma, D(3), kComma, D(4), kComma, D(5), kComma, D(6), kClose},
      {D(1), kComma, D(2), kSkip, 0x8140, kSkip, kComma, D(3), kComma, D(4), kComma, D(5), kClose},
      {D(1), kComma, D(2), kComma, D(3)},
      {D(1), kComma, D(2), kComma, D(3), kComma, D(4), kComma, D(5), 0x0000, kClose},
  };
  for (const auto& words : cases) {
    Both both = ReadBoth(words, 0);
    EXPECT_FALSE(both.complete) << both.block;
    // Nothing was taken: the block's pass still delivers the first word.
    EXPECT_EQ(both.blockNext, words[0] == kFiller ? words[1] : words[0]);
  }
}

// A handler run through WithArguments leaves the stream where the readers
// leave it, read from the block or (a filler among its digits) again from
// the stream.
TEST(WithArguments, FromTheBlockOrAgainFromTheStream) {
  for (bool filler : {false, true}) {
    Session s;
    std::vector<uint16_t> words = {0xD02F, D(1), D(2), kComma, D(3), kClose, 0x8140};
    if (filler) words.insert(words.begin() + 2, kFiller);
    HandlerPass p(s, words);
    p.c.stream.Take();
    int runs = 0;
    int16_t a = 0, b = 0;
    Flow r = WithArguments(p.c, [&](auto& args) {
      ++runs;
      if (args.Integer(a) < 0 || args.Integer(b) < 0) return Flow::kFail;
      return Flow::kGoOn;
    });
    EXPECT_EQ(r, Flow::kGoOn);
    EXPECT_EQ(runs, filler ? 2 : 1);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(p.c.stream.current(), kClose);
    EXPECT_EQ(p.Next(), 0x8140);
  }
}

}  // namespace
}  // namespace velkan::test
