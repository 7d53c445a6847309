// Readers of command arguments: digit words 0xC340-0xC349, the point
// separator 0xC334 and the comma separator 0xC335.
//
// Every reader starts by fetching the word after the current one (the command
// word or separator the caller stands on is never part of the number) and
// leaves the first word it did not use in `currentWord`. Results are -1 when
// fetching a word failed, otherwise a count as described per reader.
// Integers wrap as signed 16-bit values; lengths are signed 32-bit internal
// units (12960 to a unit of the job), computed with explicit wrap-around.
#pragma once

#include <cstddef>
#include <cstdint>

#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "io/byte_order.h"
#include "tables/command_words.h"
#include "typo/wrap.h"

namespace velkan {

// Internal units in a quarter of a unit of the job.
inline constexpr int32_t kQuarterUnits = 3240;

// Accumulates the digit words stored high byte first from `p` on, before
// `end`, into `value` (value * 10 + digit, wrapping at 32 bits). Returns
// where the first other word (or `end`) lies.
[[gnu::always_inline]] inline const uint8_t* DigitsAt(const uint8_t* p, const uint8_t* end, uint32_t& value) {
  uint32_t v = value;
  for (; p < end; p += 2) {
    const uint32_t digit = uint32_t{LoadBigEndian16(p)} - kDigitZero;
    if (digit > 9) break;
    v = v * 10 + digit;
  }
  value = v;
  return p;
}

// DigitsAt that also counts the digits in `count`.
inline const uint8_t* ScanDigits(const uint8_t* p, const uint8_t* end, uint32_t& value, uint32_t& count) {
  const uint8_t* const q = DigitsAt(p, end, value);
  count += static_cast<uint32_t>(q - p) / 2;
  return q;
}

// Reads digits into `value` (value * 10 + digit, wrapping). Returns the number
// of digits (0 when the first word is none; value is then 0).
int16_t ReadInteger(Conversion& c, int16_t& value);

// ReadDigits taking every word through CodeStream::Take, wherever it lies.
int16_t ReadDigitsWordByWord(CodeStream& s, int16_t& value, int16_t n);

// For main-slot handlers: consumes the command word, then reads up to n
// digits. Returns 0 when all n were digits (the last one consumed), else the
// number still missing with the stopping word left pending (`wordPending` 1).
// When the n words after the command lie in the block read and hold the
// digits, or the word that stops them is one Take gives as it is, they are
// taken from the block at once; otherwise word by word.
[[gnu::always_inline]] inline int16_t ReadDigits(Conversion& c, int16_t& value, int16_t n) {
  CodeStream& s = c.stream;
  size_t avail = 0;
  const uint8_t* const p = s.PeekWords(avail);
  if (n > 0 && static_cast<size_t>(n) <= avail) [[likely]] {
    uint32_t v = 0;
    const uint8_t* const q = DigitsAt(p, p + 2 * n, v);
    const auto k = static_cast<int16_t>((q - p) / 2);
    if (k == n) {
      s.Consume();
      s.TakeWords(static_cast<size_t>(k));
      value = Wrap16(static_cast<int32_t>(v));
      return 0;
    }
    const uint16_t stop = LoadBigEndian16(q);
    if (CodeStream::TakenAsItIs(stop)) {
      s.TakeWordsKeepingLast(static_cast<size_t>(k) + 1, stop);
      value = Wrap16(static_cast<int32_t>(v));
      return static_cast<int16_t>(n - k);
    }
  }
  return ReadDigitsWordByWord(s, value, n);
}

// Quarters of a unit from fraction digits read as an integer: 5 and 50 give 2,
// 25 gives 1, 75 gives 3, 125 gives 0.
int16_t RoundToQuarters(int16_t fraction);

// A integer part A and, after a point separator, fraction digits B:
// A * 4 + RoundToQuarters(B). Returns the words read.
int16_t ReadQuarters(Conversion& c, int16_t& value);

// A length in the job unit. Q: quarters * 3240. pt: (picas * 12 + points) *
// 12960, plus RoundToQuarters(C) * 3240 after a second point separator.
// Returns the words read.
int16_t ReadLength(Conversion& c, int32_t& value);

// ReadQuarters scaled to internal units (* 3240).
int16_t ReadUnitLength(Conversion& c, int32_t& value);

// Quarter millimetres: * 12960 in a Q job, * 9220 in a pt job.
int16_t ReadMillimetres(Conversion& c, int32_t& value);

// A count of characters n (quarters) and, after a comma, an explicit pitch p:
// n * p * 810, else n * (w + jkr) * 810 with the current width and pitch
// difference. Returns 1, or -1.
int16_t ReadCharsFull(Conversion& c, int32_t& value);

// As ReadCharsFull, but without the last pitch difference when no pitch is
// given: (n * (w + jkr) - 4 * jkr) * 810.
int16_t ReadCharsSpan(Conversion& c, int32_t& value);

// Fetches words while `currentWord` is a digit or separator. Returns 0 at the
// first other word, -1 when a fetch failed.
int16_t SkipArguments(Conversion& c);

}  // namespace velkan
