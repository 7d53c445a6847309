// A sink in front of another that counts the line ends passing through, so
// that the line and column of the next byte written are known.
#pragma once

#include <cstddef>
#include <memory>

#include "io/byte_streams.h"

namespace velkan {

// Passes every byte on to `inner` unchanged and in the same order, through a
// buffer of its own (lent to writers as any sink's room), counting the line
// feeds of each piece once before it leaves. Only put in front of a sink
// when positions are asked for: the extra copy costs what it costs.
class LineCountingSink final : public ByteSink {
 public:
  explicit LineCountingSink(ByteSink& inner);
  LineCountingSink(const LineCountingSink&) = delete;
  LineCountingSink& operator=(const LineCountingSink&) = delete;

  // Passes on what is buffered and flushes `inner`. Returns false when
  // `inner` refused bytes, now or before.
  bool Flush() override;

  // Where the next byte written will stand: its line (1-based, counted by
  // line feeds) and its byte in that line (1-based).
  struct Position {
    long long line;
    long long column;
  };
  Position Next();

 protected:
  bool TakeBytes(const char* data, size_t n) override;

 private:
  // Counts the line feeds of [from, to), bytes that begin at output offset
  // `at`.
  void Count(const char* from, const char* to, long long at);
  // Counts and passes on what is buffered; the buffer is empty again.
  bool PassOn();

  ByteSink& inner_;
  std::unique_ptr<char[]> buf_;
  // [buf_, scanned_) is counted already.
  char* scanned_;
  // The output offset of buf_[0], the line of the next byte counted and the
  // output offset where that line begins.
  long long base_ = 0;
  long long line_ = 1;
  long long lineStart_ = 0;
  bool failed_ = false;
};

}  // namespace velkan
