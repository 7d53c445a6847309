// The arguments of an in-group command, read either from the stream by the
// readers (conversion/readers.h) or straight from the block read.
//
// A handler whose reads all come before anything it changes is written once
// over an argument source `a` and run by WithArguments: first over the words
// of the block read (BlockArguments), which costs no call a number; when
// those words end before the handler is done, or hold a word the stream
// would not give as it is (a filler, a skipped region), the handler runs
// again from the start over the stream (StreamArguments). Both give the
// same values and leave the same current word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/flow.h"
#include "conversion/readers.h"
#include "io/byte_order.h"
#include "tables/command_words.h"
#include "typo/wrap.h"

namespace velkan {

// The readers themselves, over the stream. Each reader returns what its
// namesake in conversion/readers.h returns: -1 when fetching a word failed.
class StreamArguments {
 public:
  explicit StreamArguments(Conversion& c) : c_(c) {}
  static constexpr bool kFromBlock = false;
  int16_t Integer(int16_t& value) { return ReadInteger(c_, value); }
  int16_t Quarters(int16_t& value) { return ReadQuarters(c_, value); }
  int16_t Length(int32_t& value) { return ReadLength(c_, value); }
  int16_t UnitLength(int32_t& value) { return ReadUnitLength(c_, value); }
  int16_t CharsFull(int32_t& value) { return ReadCharsFull(c_, value); }
  // The next meaningful word becomes the current word: 0, or -1.
  int16_t Take() { return c_.stream.Take(); }
  // SkipArguments: 0, or -1.
  int16_t Skip() { return SkipArguments(c_); }
  uint16_t current() const { return c_.stream.current(); }

 private:
  Conversion& c_;
};

// The same readers over the words of the block read, none of them taken
// until Commit. A reader that would need a word behind them, or meets a
// word that Take would not give as it is, returns -1 and so does every
// later one (`complete` is then false).
class BlockArguments {
 public:
  explicit BlockArguments(Conversion& c) : c_(c), current_(c.stream.current()) {
    size_t avail = 0;
    start_ = p_ = c.stream.PeekWords(avail);
    end_ = start_ + 2 * avail;
  }
  BlockArguments(const BlockArguments&) = delete;
  BlockArguments& operator=(const BlockArguments&) = delete;
  static constexpr bool kFromBlock = true;

  int16_t Integer(int16_t& value) {
    int16_t count = 0;
    return Accumulate(value, count) ? count : -1;
  }
  int16_t Quarters(int16_t& value) {
    int16_t a = 0, digitsA = 0;
    if (!Accumulate(a, digitsA)) return -1;
    if (current_ != kPointSeparator) [[likely]] {
      value = Wrap16(int32_t{a} * 4);  // RoundToQuarters(0) is 0
      return digitsA;
    }
    return QuartersFromPoint(a, digitsA, value);
  }
  int16_t Length(int32_t& value) {
    int16_t a = 0, digitsA = 0;
    if (!Accumulate(a, digitsA)) return -1;
    if (current_ != kPointSeparator) [[likely]] {
      // A whole number: quarters in a Q job, picas (12 points) in a pt job.
      value = Wrap32(int64_t{a} * (c_.session.settings.unit == 1 ? 4 : 48) * kQuarterUnits);
      return digitsA;
    }
    return LengthFromPoint(a, digitsA, value);
  }
  int16_t UnitLength(int32_t& value) {
    int16_t q = 0;
    const int16_t r = Quarters(q);
    if (r < 0) return -1;
    value = int32_t{q} * kQuarterUnits;
    return r;
  }
  int16_t CharsFull(int32_t& value) {
    int16_t n = 0;
    if (Quarters(n) < 0) return -1;
    if (current_ == kCommaSeparator) {
      int16_t pitch = 0;
      if (Quarters(pitch) < 0) return -1;
      value = Wrap32(int64_t{n} * pitch * 810);
      return 1;
    }
    value = Wrap32(int64_t{n} * (int64_t{c_.typo.width} + c_.typo.jkr) * 810);
    return 1;
  }
  int16_t Take() { return TakeOne() ? 0 : -1; }
  int16_t Skip() {
    while (IsDigitWord(current_) || current_ == kPointSeparator || current_ == kCommaSeparator) {
      if (!TakeOne()) return -1;
    }
    return 0;
  }
  uint16_t current() const { return current_; }

  // True while every reader found its words.
  bool complete() const { return complete_; }
  // Takes the words read from the stream: the last becomes its current word.
  void Commit() { c_.stream.TakeWords(static_cast<size_t>(p_ - start_) / 2); }

 private:
  // Quarters from the point separator after the integer part `a` of
  // `digitsA` digits on: apart, so that a whole number keeps few registers.
  [[gnu::noinline]] int16_t QuartersFromPoint(int16_t a, int16_t digitsA, int16_t& value) {
    int16_t b = 0, digitsB = 0;
    if (!Accumulate(b, digitsB)) return -1;
    value = Wrap16(int32_t{a} * 4 + RoundToQuarters(b));
    return Wrap16(int32_t{digitsA} + digitsB + 1);
  }
  // Length from the point separator after the integer part on, as Quarters.
  [[gnu::noinline]] int16_t LengthFromPoint(int16_t a, int16_t digitsA, int32_t& value) {
    int16_t b = 0, digitsB = 0;
    if (!Accumulate(b, digitsB)) return -1;
    int32_t read = digitsA + digitsB + 1;
    if (c_.session.settings.unit == 1) {
      value = Wrap32((int64_t{a} * 4 + RoundToQuarters(b)) * kQuarterUnits);
      return Wrap16(read);
    }
    int64_t v = (int64_t{a} * 12 + b) * 4 * kQuarterUnits;
    if (current_ == kPointSeparator) {
      int16_t f = 0, digitsC = 0;
      if (!Accumulate(f, digitsC)) return -1;
      read += digitsC + 1;
      v += int64_t{RoundToQuarters(f)} * kQuarterUnits;
    }
    value = Wrap32(v);
    return Wrap16(read);
  }

  // The digits from the next word on and the word that ends them, which
  // becomes the current word; as the readers accumulate them, wrapping at
  // 16 bits. False when that word lies behind the words or is none the
  // stream gives as it is.
  bool Accumulate(int16_t& value, int16_t& count) {
    if (!complete_) return false;
    uint32_t v = 0;
    const uint8_t* const q = DigitsAt(p_, end_, v);
    const uint16_t w = q != end_ ? LoadBigEndian16(q) : 0;
    if (!CodeStream::TakenAsItIs(w)) {  // also at the end of the words
      complete_ = false;
      return false;
    }
    count = Wrap16(static_cast<int32_t>((q - p_) / 2));
    current_ = w;
    p_ = q + 2;
    value = Wrap16(static_cast<int32_t>(v));
    return true;
  }
  bool TakeOne() {
    if (!complete_ || p_ == end_ || !CodeStream::TakenAsItIs(LoadBigEndian16(p_))) {
      complete_ = false;
      return false;
    }
    current_ = LoadBigEndian16(p_);
    p_ += 2;
    return true;
  }

  Conversion& c_;
  const uint8_t* start_ = nullptr;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint16_t current_;
  bool complete_ = true;
};

// Runs `body(a)` over the block read and, when the block's words fell
// short, again over the stream. `body` reads all its arguments before it
// changes or writes anything, and returns kFail when a reader returned -1.
template <typename Body>
Flow WithArguments(Conversion& c, Body&& body) {
  {
    BlockArguments block(c);
    const Flow r = body(block);
    if (block.complete()) [[likely]] {
      block.Commit();
      return r;
    }
  }
  StreamArguments stream(c);
  return body(stream);
}

}  // namespace velkan
