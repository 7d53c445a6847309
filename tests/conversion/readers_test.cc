// The argument readers, started as a handler starts them: standing on the
// command word, which is never part of the number.
#include "conversion/readers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "conversion/code_stream.h"
#include "conversion/word_fixture.h"

namespace velkan::test {
namespace {

constexpr uint16_t kCommand = 0xD02E;
constexpr uint16_t kPoint = 0xC334;
constexpr uint16_t kComma = 0xC335;

// Argument words for a text such as "1.25,3" (digits, '.' point, ',' comma).
std::vector<uint16_t> Args(const std::string& text) {
  std::vector<uint16_t> w;
  for (char ch : text) {
    if (ch == '.') w.push_back(kPoint);
    else if (ch == ',') w.push_back(kComma);
    else w.push_back(static_cast<uint16_t>(0xC340 + (ch - '0')));
  }
  return w;
}

std::vector<uint16_t> Cat(std::vector<uint16_t> a, const std::vector<uint16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A conversion positioned on a command word followed by `rest`.
struct OnCommand : WordConversion {
  explicit OnCommand(const std::vector<uint16_t>& rest, int unit = 0)
      : WordConversion(Cat({kCommand}, rest), unit, 0) {
    c.stream.Take();
  }
};

TEST(ReadInteger, ReadsDigitsUpToTheFirstOtherWord) {
  OnCommand w({0xC341, 0xC342, 0xD004, 0x4521});
  int16_t v = -7;
  EXPECT_EQ(ReadInteger(w.c, v), 2);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(w.c.stream.current(), 0xD004);
  EXPECT_EQ(w.Next(), 0x4521);  // the stopping word was not consumed twice
}

TEST(ReadInteger, NoDigitGivesZeroAndCountZero) {
  OnCommand w({kComma, 0xC341});
  int16_t v = 99;
  EXPECT_EQ(ReadInteger(w.c, v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(w.c.stream.current(), kComma);
}

TEST(ReadInteger, CommandWordItselfIsNeverADigit) {
  // Standing on a digit word (as after a separator), the reader still starts
  // with the word after it.
  WordConversion w({0xC345, 0xC346, 0xD004});
  w.c.stream.Take();
  int16_t v = 0;
  EXPECT_EQ(ReadInteger(w.c, v), 1);
  EXPECT_EQ(v, 6);
}

TEST(ReadInteger, FillersAndSkippedRegionsInsideANumberAreInvisible) {
  OnCommand w({0xC341, 0x0000, 0xC342, 0xD000, 0xD050, 0xC349, 0xD004, 0xD050, 0xC343, 0xD004});
  int16_t v = 0;
  EXPECT_EQ(ReadInteger(w.c, v), 3);
  EXPECT_EQ(v, 123);
  EXPECT_EQ(w.c.stream.current(), 0xD004);
}

TEST(ReadInteger, EndOfInputEndsTheNumber) {
  OnCommand w({0xC347});
  int16_t v = 0;
  EXPECT_EQ(ReadInteger(w.c, v), 1);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(w.c.stream.current(), kEndOfJob);
}

TEST(ReadInteger, LongDigitGroupsWrapAsSixteenBitValues) {
  struct Case {
    std::string digits;
    int16_t value;
  };
  for (const Case& k : {Case{"32767", 32767}, Case{"32768", -32768}, Case{"65536", 0}, Case{"99999", -31073},
                        Case{"123456789012", 6676}, Case{std::string(30, '9'), -1}}) {
    OnCommand w(Args(k.digits));
    int16_t v = 0;
    EXPECT_EQ(ReadInteger(w.c, v), static_cast<int16_t>(k.digits.size())) << k.digits;
    EXPECT_EQ(v, k.value) << k.digits;
  }
}

TEST(ReadDigits, ReadsExactlyNDigitsAndConsumesTheLast) {
  OnCommand w({0xC340, 0xC341, 0xC342, 0xC343});
  w.c.stream.Keep();
  int16_t v = 0;
  EXPECT_EQ(ReadDigits(w.c, v, 3), 0);
  EXPECT_EQ(v, 12);
  EXPECT_FALSE(w.c.stream.pending());
  EXPECT_EQ(w.c.stream.current(), 0xC342);
  EXPECT_EQ(w.Next(), 0xC343);  // the fourth digit is not read
}

TEST(ReadDigits, NonDigitLeavesTheWordPendingAndCountsTheMissing) {
  OnCommand w({0xC345, 0x4521});
  int16_t v = 0;
  EXPECT_EQ(ReadDigits(w.c, v, 3), 2);
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(w.c.stream.pending());
  EXPECT_EQ(w.c.stream.current(), 0x4521);

  OnCommand none({0xD009});
  EXPECT_EQ(ReadDigits(none.c, v, 2), 2);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(none.c.stream.current(), 0xD009);
  EXPECT_TRUE(none.c.stream.pending());
}

TEST(ReadDigits, ZeroCountReadsNothingButConsumesTheCommand) {
  OnCommand w({0xC345});
  w.c.stream.Keep();
  int16_t v = 3;
  EXPECT_EQ(ReadDigits(w.c, v, 0), 0);
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(w.c.stream.pending());
  EXPECT_EQ(w.c.stream.current(), kCommand);
  EXPECT_EQ(w.Next(), 0xC345);
}

TEST(ReadDigits, EndOfInputCountsAsMissingDigits) {
  OnCommand w({0xC341});
  int16_t v = 0;
  EXPECT_EQ(ReadDigits(w.c, v, 2), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(w.c.stream.current(), kEndOfJob);
  EXPECT_TRUE(w.c.stream.pending());
}

// ReadDigits takes the digits from the block read when it can: it must
// leave the stream exactly as the word-by-word reader does, for digits and
// stopping words wherever the blocks of a chunked source end.
TEST(ReadDigits, TakenFromTheBlockAsWordByWord) {
  const std::vector<std::vector<uint16_t>> shapes = {
      {0x4521, 0xC341},                          // no digit
      Cat(Args("8765432"), {0xD004}),            // more digits than read
      Cat(Args("42"), {0xD009, 0x4521}),         // digits, then a command
      Cat(Args("4"), {0xD000, 0xC345, 0x4521}),  // a filler among the digits
      Cat(Args("4"), {0x0000, 0x4521}),          // a filler where they stop
      Cat(Args("4"), {0xD050, 0xC341, 0xD050, 0xC342, 0xC343}),  // a skipped region
      Args("61"),                                // the end of the input
  };
  for (const std::vector<uint16_t>& shape : shapes) {
    for (const std::string& tail : {std::string(), std::string("\x7F")}) {  // and a lone byte at the end
      const std::string bytes = WordBytes(Cat({kCommand}, shape)) + tail;
      for (size_t chunk : {size_t{2}, size_t{3}, size_t{4}, size_t{6}, size_t{1} << 20}) {
        for (int16_t n = 1; n <= 4; ++n) {
          struct Side {
            explicit Side(const std::string& b, size_t chunk) : source(b, chunk) {}
            Session session;
            LoadedTables tables;
            ChunkedSource source;
            MemorySink sink;
            Pass pass{session, PassSettings{}, tables, source, sink};
            CodeStream& s = pass.conversion().stream;
            int16_t value = -1, missing = -1;
          } fast(bytes, chunk), slow(bytes, chunk);
          ASSERT_EQ(fast.s.Take(), 0);
          ASSERT_EQ(slow.s.Take(), 0);
          fast.missing = ReadDigits(fast.pass.conversion(), fast.value, n);
          slow.missing = ReadDigitsWordByWord(slow.s, slow.value, n);
          const std::string where = testing::PrintToString(shape) + " chunk " + std::to_string(chunk) + " n " +
                                    std::to_string(n) + (tail.empty() ? "" : " lone byte");
          EXPECT_EQ(fast.missing, slow.missing) << where;
          EXPECT_EQ(fast.value, slow.value) << where;
          EXPECT_EQ(fast.s.current(), slow.s.current()) << where;
          EXPECT_EQ(fast.s.pending(), slow.s.pending()) << where;
          for (uint16_t a = 0, b = 0; a != kEndOfJob;) {
            ASSERT_EQ(fast.s.Next(a), 0);
            ASSERT_EQ(slow.s.Next(b), 0);
            ASSERT_EQ(a, b) << where;
          }
        }
      }
    }
  }
}

// The readers take a number whose words all lie in the block read at once
// and any other word by word: whatever the block holds, every reader gives
// the same value, count and current word, and leaves the same words after
// it, in both units.
TEST(Readers, SameWhereverTheBlockReadEnds) {
  const std::vector<std::vector<uint16_t>> shapes = {
      Cat(Args("42"), {0xD009, 0x4521}),           // a whole number, then a command
      Cat(Args("12.5"), {0x4521}),                 // with a fraction
      Cat(Args("1.2.75,3"), {0x4521}),             // picas, points and a quarter fraction
      Cat(Args("7,25"), {0x4521}),                 // a comma after it
      Cat(Args("4"), {0xD000, 0xC345, 0x4521}),    // a filler among the digits
      Cat(Args("4"), {0x0000, 0x4521}),            // a filler where they stop
      Cat(Args("4"), {0xD050, 0xC341, 0xD050, 0xC342, 0x4521}),  // a skipped region
      Cat(Args("."), {0x4521}),                    // no digit before the point
      Args("61"),                                  // the end of the input
  };
  using Reader = std::function<int32_t(Conversion&, int16_t&)>;
  const std::vector<Reader> readers = {
      [](Conversion& c, int16_t& r) { int16_t v = 0; r = ReadInteger(c, v); return int32_t{v}; },
      [](Conversion& c, int16_t& r) { int16_t v = 0; r = ReadQuarters(c, v); return int32_t{v}; },
      [](Conversion& c, int16_t& r) { int32_t v = 0; r = ReadLength(c, v); return v; },
      [](Conversion& c, int16_t& r) { int32_t v = 0; r = ReadUnitLength(c, v); return v; },
      [](Conversion& c, int16_t& r) { int32_t v = 0; r = ReadCharsSpan(c, v); return v; },
  };
  for (const std::vector<uint16_t>& shape : shapes) {
    const std::string bytes = WordBytes(Cat({kCommand}, shape));
    for (int unit : {0, 1}) {
      for (size_t k = 0; k < readers.size(); ++k) {
        struct Side {
          Side(const std::string& b, size_t chunk, int unit) : source(b, chunk) {
            session.settings.unit = static_cast<int16_t>(unit);
          }
          Session session;
          LoadedTables tables;
          ChunkedSource source;
          MemorySink sink;
          Pass pass{session, PassSettings{}, tables, source, sink};
          Conversion& c = pass.conversion();
        };
        // The words a side leaves after the reader.
        auto rest = [](CodeStream& s) {
          std::vector<uint16_t> words;
          for (uint16_t w = 0; w != kEndOfJob;) {
            if (s.Next(w) < 0) break;
            words.push_back(w);
          }
          return words;
        };
        Side whole(bytes, size_t{1} << 20, unit);
        ASSERT_EQ(whole.c.stream.Take(), 0);
        int16_t wholeRead = 0;
        const int32_t wholeValue = readers[k](whole.c, wholeRead);
        const uint16_t wholeCurrent = whole.c.stream.current();
        const std::vector<uint16_t> wholeRest = rest(whole.c.stream);
        for (size_t chunk : {size_t{2}, size_t{3}, size_t{4}, size_t{6}, size_t{10}}) {
          Side part(bytes, chunk, unit);
          ASSERT_EQ(part.c.stream.Take(), 0);
          int16_t read = 0;
          const int32_t value = readers[k](part.c, read);
          const std::string where = testing::PrintToString(shape) + " reader " + std::to_string(k) + " unit " +
                                    std::to_string(unit) + " chunk " + std::to_string(chunk);
          EXPECT_EQ(value, wholeValue) << where;
          EXPECT_EQ(read, wholeRead) << where;
          EXPECT_EQ(part.c.stream.current(), wholeCurrent) << where;
          EXPECT_EQ(rest(part.c.stream), wholeRest) << where;
        }
      }
    }
  }
}

TEST(RoundToQuarters, FractionDigitsToQuarters) {
  struct Case {
    int16_t f;
    int16_t q;
  };
  // 1-digit fractions count tenths, 2-digit ones hundredths; longer ones are
  // cut to their first two or three digits.
  for (const Case& k : {Case{0, 0}, Case{1, 0}, Case{2, 1}, Case{5, 2}, Case{9, 4}, Case{10, 0}, Case{12, 0},
                        Case{13, 1}, Case{25, 1}, Case{37, 1}, Case{38, 2}, Case{50, 2}, Case{62, 2},
                        Case{63, 3}, Case{75, 3}, Case{87, 3}, Case{88, 4}, Case{99, 4}, Case{100, 4},
                        Case{101, 0}, Case{125, 0}, Case{375, 1}, Case{999, 4}, Case{1000, 4},
                        Case{7500, 3}, Case{32767, 1}}) {
    EXPECT_EQ(RoundToQuarters(k.f), k.q) << "f=" << k.f;
  }
}

TEST(RoundToQuarters, WrappedNegativeFractionsStaySixteenBit) {
  // A fraction of five digits or more may have wrapped negative; it is then
  // scaled by ten as a 16-bit integer like every other integer read.
  EXPECT_EQ(RoundToQuarters(-1), 0);
  EXPECT_EQ(RoundToQuarters(-5), -1);
  EXPECT_EQ(RoundToQuarters(-3276), -1309);
  EXPECT_EQ(RoundToQuarters(-3277), 1311);  // -32770 wraps to 32766
  EXPECT_EQ(RoundToQuarters(-32768), 0);    // -327680 wraps to 0
}

TEST(ReadQuarters, IntegerAndFraction) {
  struct Case {
    std::string args;
    int16_t value;
    int16_t count;
  };
  for (const Case& k : {Case{"1.5", 6, 3}, Case{"1.25", 5, 4}, Case{"1", 4, 1}, Case{"1.", 4, 2},
                        Case{".5", 2, 2}, Case{"0.05", 2, 4}, Case{"12.75", 51, 5}, Case{"", 0, 0}}) {
    OnCommand w(Cat(Args(k.args), {0xD004}));
    int16_t v = -1;
    EXPECT_EQ(ReadQuarters(w.c, v), k.count) << k.args;
    EXPECT_EQ(v, k.value) << k.args;
    EXPECT_EQ(w.c.stream.current(), 0xD004) << k.args;
  }
}

TEST(ReadQuarters, StopsAtASecondPointOrAComma) {
  OnCommand w(Args("1.5.5"));
  int16_t v = 0;
  EXPECT_EQ(ReadQuarters(w.c, v), 3);
  EXPECT_EQ(v, 6);
  EXPECT_EQ(w.c.stream.current(), kPoint);

  OnCommand comma(Args("2,3"));
  EXPECT_EQ(ReadQuarters(comma.c, v), 1);
  EXPECT_EQ(v, 8);
  EXPECT_EQ(comma.c.stream.current(), kComma);
}

TEST(ReadQuarters, LargeValuesWrapToSixteenBits) {
  OnCommand w(Args("10000.5"));
  int16_t v = 0;
  EXPECT_EQ(ReadQuarters(w.c, v), 7);
  EXPECT_EQ(v, static_cast<int16_t>(-25534));  // 40002 wrapped
}

TEST(ReadLength, PointJobReadsPicasPointsAndAQuarterFraction) {
  struct Case {
    std::string args;
    int32_t value;
    int16_t count;
  };
  for (const Case& k : {Case{"1.6", 233280, 3}, Case{"0.10.5", 136080, 6}, Case{"12", 1866240, 2},
                        Case{"0.18", 233280, 4}, Case{"0.0.25", 3240, 6}, Case{"", 0, 0},
                        // The points are not rounded: 0.5 is five points.
                        Case{"0.5", 64800, 3}}) {
    OnCommand w(Cat(Args(k.args), {0xD004}), 0);
    int32_t v = -1;
    EXPECT_EQ(ReadLength(w.c, v), k.count) << k.args;
    EXPECT_EQ(v, k.value) << k.args;
    EXPECT_EQ(w.c.stream.current(), 0xD004) << k.args;
  }
}

TEST(ReadLength, QJobReadsUnitsAndAQuarterFraction) {
  OnCommand w(Cat(Args("1.6"), {0xD004}), 1);
  int32_t v = 0;
  EXPECT_EQ(ReadLength(w.c, v), 3);
  EXPECT_EQ(v, 19440);

  // No third number in a Q job: the second point stays.
  OnCommand second(Args("1.6.5"), 1);
  EXPECT_EQ(ReadLength(second.c, v), 3);
  EXPECT_EQ(v, 19440);
  EXPECT_EQ(second.c.stream.current(), kPoint);
}

TEST(ReadLength, PointJobReadsNoFractionWithoutTheFirstPoint) {
  OnCommand w(Cat(Args("2"), {kComma}), 0);
  int32_t v = 0;
  EXPECT_EQ(ReadLength(w.c, v), 1);
  EXPECT_EQ(v, 2 * 12 * 12960);
  EXPECT_EQ(w.c.stream.current(), kComma);
}

TEST(ReadLength, HugeDigitGroupsWrapAsThirtyTwoBitLengths) {
  int32_t v = 0;
  OnCommand big(Args("32767.32767"), 0);
  ReadLength(big.c, v);
  EXPECT_EQ(v, 1225616864);  // (32767 * 12 + 32767) * 12960 wrapped
  OnCommand frac(Args("32767.32767.25"), 0);
  ReadLength(frac.c, v);
  EXPECT_EQ(v, 1225616864 + 3240);
  OnCommand neg(Args("40000"), 0);
  ReadLength(neg.c, v);
  EXPECT_EQ(v, 323608576);  // 40000 is -25536 as an integer
  OnCommand q(Args("40000"), 1);
  ReadLength(q.c, v);
  EXPECT_EQ(v, -25536 * 4 * 3240);
}

TEST(ReadUnitLength, QuartersTimes3240InBothUnits) {
  for (int unit : {0, 1}) {
    OnCommand w(Args("1.5"), unit);
    int32_t v = 0;
    EXPECT_EQ(ReadUnitLength(w.c, v), 3);
    EXPECT_EQ(v, 19440) << "unit " << unit;
  }
}

TEST(ReadMillimetres, ScaledByTheJobUnit) {
  int32_t v = 0;
  OnCommand q(Args("1"), 1);
  EXPECT_EQ(ReadMillimetres(q.c, v), 1);
  EXPECT_EQ(v, 4 * 12960);
  OnCommand pt(Args("2.5"), 0);
  EXPECT_EQ(ReadMillimetres(pt.c, v), 3);
  EXPECT_EQ(v, 10 * 9220);
}

TEST(ReadChars, CurrentPitchOrAnExplicitOne) {
  int32_t v = 0;
  // The default width is 8 units (32 quarters), no pitch difference.
  OnCommand plain(Args("2"));
  EXPECT_EQ(ReadCharsFull(plain.c, v), 1);
  EXPECT_EQ(v, 2 * 8 * 12960);

  OnCommand full(Args("2"));
  full.c.typo.width = 32;
  full.c.typo.jkr = 4;
  EXPECT_EQ(ReadCharsFull(full.c, v), 1);
  EXPECT_EQ(v, 8 * 36 * 810);

  OnCommand span(Args("2"));
  span.c.typo.width = 32;
  span.c.typo.jkr = 4;
  EXPECT_EQ(ReadCharsSpan(span.c, v), 1);
  EXPECT_EQ(v, (8 * 36 - 16) * 810);  // two widths and one pitch difference

  for (auto reader : {ReadCharsFull, ReadCharsSpan}) {
    OnCommand pitch(Cat(Args("2,10"), {0xD004}));
    pitch.c.typo.jkr = 4;
    EXPECT_EQ(reader(pitch.c, v), 1);
    EXPECT_EQ(v, 8 * 40 * 810);
    EXPECT_EQ(pitch.c.stream.current(), 0xD004);
  }
}

TEST(ReadChars, LargeProductsWrapToThirtyTwoBits) {
  int32_t v = 0;
  OnCommand w(Args("8191,8191"));
  EXPECT_EQ(ReadCharsFull(w.c, v), 1);
  EXPECT_EQ(v, 1935159968);  // 32764 * 32764 * 810 wrapped
  OnCommand neg(Args("8191"));
  neg.c.typo.width = -32768;
  neg.c.typo.jkr = -32768;
  ReadCharsSpan(neg.c, v);
  EXPECT_EQ(v, static_cast<int32_t>(static_cast<uint32_t>((32764LL * -65536 + 4 * 32768LL) * 810)));
}

TEST(SkipArguments, PassesEveryDigitAndBothSeparators) {
  WordConversion w({0xC340, 0xC341, 0xC342, 0xC343, 0xC344, 0xC345, 0xC346, 0xC347, 0xC348, 0xC349, kPoint,
                    kComma, 0x0000, 0xC340, 0x4521, 0xC341});
  w.c.stream.Take();
  EXPECT_EQ(SkipArguments(w.c), 0);
  EXPECT_EQ(w.c.stream.current(), 0x4521);
}

TEST(SkipArguments, StopsAtOnceOnAnotherWord) {
  for (uint16_t stop : {uint16_t{0xD004}, uint16_t{0xC33F}, uint16_t{0xC34A}, uint16_t{0xC336}, uint16_t{0xC333}}) {
    WordConversion w({stop, 0xC341});
    w.c.stream.Take();
    EXPECT_EQ(SkipArguments(w.c), 0);
    EXPECT_EQ(w.c.stream.current(), stop);
    EXPECT_EQ(w.Next(), 0xC341);  // nothing was fetched
  }
}

TEST(SkipArguments, EndOfInputStopsIt) {
  WordConversion w({0xC340, 0xC341, kComma});
  w.c.stream.Take();
  EXPECT_EQ(SkipArguments(w.c), 0);
  EXPECT_EQ(w.c.stream.current(), kEndOfJob);
}

}  // namespace
}  // namespace velkan::test
