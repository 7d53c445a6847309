#include "conversion/readers.h"

#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "typo/wrap.h"

namespace velkan {

namespace {

// Accumulates digits starting with the word after the current one. The
// digits in the block read are taken straight from it; the word that ends
// them is taken as any word is. The value and the count wrap at 16 bits.
[[gnu::always_inline]] inline int16_t Accumulate(Conversion& c, int16_t& value, int16_t& count) {
  CodeStream& s = c.stream;
  uint32_t v = 0;
  uint32_t n = 0;
  int16_t r;
  for (;;) {
    size_t avail = 0;
    const uint8_t* p = s.PeekWords(avail);
    s.TakeWords(static_cast<size_t>(ScanDigits(p, p + 2 * avail, v, n) - p) / 2);
    r = s.Take();
    if (r < 0 || !IsDigitWord(s.current())) break;
    v = v * 10 + (s.current() - kDigitZero);
    ++n;
  }
  value = Wrap16(static_cast<int32_t>(v));
  count = Wrap16(static_cast<int32_t>(n));
  return r < 0 ? -1 : 0;
}

// Accumulate for digits that all lie in the block read and end at a word
// there that Take gives as it is (most arguments): the digits and that
// word are taken at once, the word becoming the current one. False, having
// taken nothing, otherwise.
[[gnu::always_inline]] inline bool AccumulateInBlock(CodeStream& s, int16_t& value, int16_t& count) {
  size_t avail = 0;
  const uint8_t* const p = s.PeekWords(avail);
  const uint8_t* const end = p + 2 * avail;
  uint32_t v = 0;
  const uint8_t* const q = DigitsAt(p, end, v);
  if (q == end || !CodeStream::TakenAsItIs(LoadBigEndian16(q))) return false;
  const size_t digits = static_cast<size_t>(q - p) / 2;
  s.TakeWords(digits + 1);
  value = Wrap16(static_cast<int32_t>(v));
  count = Wrap16(static_cast<int32_t>(digits));
  return true;
}

// Accumulate, taking digits that lie in the block read with their stop word
// at once.
[[gnu::always_inline]] inline int16_t AccumulateFromBlock(Conversion& c, int16_t& value, int16_t& count) {
  if (AccumulateInBlock(c.stream, value, count)) [[likely]] return 0;
  return Accumulate(c, value, count);
}

// Quarters from the point separator after the integer part `a` of
// `digitsA` digits on.
[[gnu::noinline]] int16_t QuartersFromPoint(Conversion& c, int16_t a, int16_t digitsA, int16_t& value) {
  int16_t b = 0, digitsB = 0;
  if (AccumulateFromBlock(c, b, digitsB) < 0) return -1;
  value = Wrap16(int32_t{a} * 4 + RoundToQuarters(b));
  return Wrap16(int32_t{digitsA} + digitsB + 1);
}

// Quarters with every word taken as Accumulate takes it.
[[gnu::noinline]] int16_t QuartersWordByWord(Conversion& c, int16_t& value) {
  int16_t a, digitsA;
  if (Accumulate(c, a, digitsA) < 0) return -1;
  if (c.stream.current() == kPointSeparator) return QuartersFromPoint(c, a, digitsA, value);
  value = Wrap16(int32_t{a} * 4);  // RoundToQuarters(0) is 0
  return digitsA;
}

// The quarters of ReadQuarters, with the words read: a whole number in the
// block read without a call.
inline int16_t Quarters(Conversion& c, int16_t& value) {
  int16_t a, digitsA;
  if (!AccumulateInBlock(c.stream, a, digitsA)) [[unlikely]] return QuartersWordByWord(c, value);
  if (c.stream.current() == kPointSeparator) return QuartersFromPoint(c, a, digitsA, value);
  value = Wrap16(int32_t{a} * 4);
  return digitsA;
}

int16_t CharCount(Conversion& c, int32_t& value, bool span) {
  int16_t n;
  if (Quarters(c, n) < 0) return -1;
  if (c.stream.current() == kCommaSeparator) {
    int16_t p;
    if (Quarters(c, p) < 0) return -1;
    value = Wrap32(int64_t{n} * p * 810);
    return 1;
  }
  int64_t pitch = int64_t{c.typo.width} + c.typo.jkr;
  int64_t v = int64_t{n} * pitch;
  if (span) v -= 4 * int64_t{c.typo.jkr};
  value = Wrap32(v * 810);
  return 1;
}

}  // namespace

int16_t ReadInteger(Conversion& c, int16_t& value) {
  int16_t count;
  if (AccumulateInBlock(c.stream, value, count)) [[likely]] return count;
  if (Accumulate(c, value, count) < 0) return -1;
  return count;
}

int16_t ReadDigitsWordByWord(CodeStream& s, int16_t& value, int16_t n) {
  s.Consume();
  value = 0;
  if (n <= 0) return 0;
  for (int16_t i = 0; i < n; ++i) {
    if (s.Take() < 0) return -1;
    if (!IsDigitWord(s.current())) {
      s.Keep();
      return static_cast<int16_t>(n - i);
    }
    value = Wrap16(int32_t{value} * 10 + (s.current() - kDigitZero));
  }
  return 0;
}

int16_t RoundToQuarters(int16_t fraction) {
  // f is a 16-bit integer like every number read: a wrapped negative fraction
  // is scaled by ten with 16-bit wrap-around.
  int16_t f = fraction;
  while (f > 100) f = static_cast<int16_t>(f / 10);
  if (f < 10) f = Wrap16(int32_t{f} * 10);
  return static_cast<int16_t>((int32_t{f} + 12) / 25);
}

int16_t ReadQuarters(Conversion& c, int16_t& value) { return Quarters(c, value); }

namespace {

// ReadLength from the word after the integer part `a` of `digitsA` digits
// on (the current word).
[[gnu::noinline]] int16_t LengthAfterInteger(Conversion& c, int16_t a, int16_t digitsA, int32_t& value) {
  int16_t b = 0, digitsB = 0;
  int32_t read = digitsA;
  bool point = c.stream.current() == kPointSeparator;
  if (point) {
    if (AccumulateFromBlock(c, b, digitsB) < 0) return -1;
    read += digitsB + 1;
  }
  if (c.session.settings.unit == 1) {
    value = Wrap32((int64_t{a} * 4 + RoundToQuarters(b)) * kQuarterUnits);
    return Wrap16(read);
  }
  int64_t v = (int64_t{a} * 12 + b) * 4 * kQuarterUnits;
  if (point && c.stream.current() == kPointSeparator) {
    int16_t f, digitsC;
    if (AccumulateFromBlock(c, f, digitsC) < 0) return -1;
    read += digitsC + 1;
    v += int64_t{RoundToQuarters(f)} * kQuarterUnits;
  }
  value = Wrap32(v);
  return Wrap16(read);
}

}  // namespace

int16_t ReadLength(Conversion& c, int32_t& value) {
  int16_t a, digitsA;
  if (AccumulateInBlock(c.stream, a, digitsA)) [[likely]] {
    if (c.stream.current() != kPointSeparator) {
      // A whole number: quarters in a Q job, picas (12 points) in a pt job.
      value = Wrap32(int64_t{a} * (c.session.settings.unit == 1 ? 4 : 48) * kQuarterUnits);
      return digitsA;
    }
  } else if (Accumulate(c, a, digitsA) < 0) {
    return -1;
  }
  return LengthAfterInteger(c, a, digitsA, value);
}

int16_t ReadUnitLength(Conversion& c, int32_t& value) {
  int16_t q;
  int16_t r = Quarters(c, q);
  if (r < 0) return -1;
  value = int32_t{q} * kQuarterUnits;
  return r;
}

int16_t ReadMillimetres(Conversion& c, int32_t& value) {
  int16_t q;
  int16_t r = Quarters(c, q);
  if (r < 0) return -1;
  value = Wrap32(int64_t{q} * (c.session.settings.unit == 1 ? 12960 : 9220));
  return r;
}

int16_t ReadCharsFull(Conversion& c, int32_t& value) { return CharCount(c, value, false); }
int16_t ReadCharsSpan(Conversion& c, int32_t& value) { return CharCount(c, value, true); }

int16_t SkipArguments(Conversion& c) {
  CodeStream& s = c.stream;
  while (IsDigitWord(s.current()) || s.current() == kPointSeparator || s.current() == kCommaSeparator) {
    if (c.stream.Take() < 0) return -1;
  }
  return 0;
}

}  // namespace velkan
