// A conversion over a word buffer held in memory, set up as a pass would be,
// so that the stream, the readers and the handlers can be driven one call at
// a time.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/conversion.h"
#include "conversion/session.h"
#include "engine/pass.h"
#include "io/byte_streams.h"
#include "support/test_support.h"

namespace velkan::test {

// Hands out the bytes of a buffer at most `chunk` bytes per read, and fails
// every read once `failAt` bytes have been handed out (never when negative).
class ChunkedSource final : public ByteSource {
 public:
  ChunkedSource(std::string data, size_t chunk, long long failAt = -1)
      : data_(std::move(data)), chunk_(chunk), failAt_(failAt) {}
  long Read(uint8_t* buf, size_t n) override {
    if (failAt_ >= 0 && static_cast<long long>(pos_) >= failAt_) return -1;
    size_t left = data_.size() - pos_;
    if (n > chunk_) n = chunk_;
    if (n > left) n = left;
    if (failAt_ >= 0 && static_cast<long long>(pos_ + n) > failAt_) n = static_cast<size_t>(failAt_) - pos_;
    for (size_t i = 0; i < n; ++i) buf[i] = static_cast<uint8_t>(data_[pos_ + i]);
    pos_ += n;
    ++reads;
    return static_cast<long>(n);
  }
  int reads = 0;

 private:
  std::string data_;
  size_t pos_ = 0;
  size_t chunk_;
  long long failAt_;
};

// Input given as raw bytes rather than words.
struct RawBytes {
  std::string bytes;
};

// A pass without tables over words in memory, started as a job starts it.
class WordConversion {
 public:
  explicit WordConversion(const std::vector<uint16_t>& words, int unit = 0, int warnings = 0)
      : WordConversion(RawBytes{WordBytes(words)}, unit, warnings) {}
  explicit WordConversion(RawBytes raw, int unit = 0, int warnings = 0)
      : bytes_(std::move(raw.bytes)), source_(bytes_), pass_(session, PassSettings{0, unit, warnings}, tables_, source_, sink) {}

  // The next word as the main loop would fetch it; fails the test on -1.
  uint16_t Next() {
    uint16_t w = 0;
    if (c.stream.Next(w) != 0) ADD_FAILURE() << "the stream failed";
    return w;
  }

  Session session;
  MemorySink sink;

 private:
  LoadedTables tables_;
  std::string bytes_;
  MemorySource source_;
  Pass pass_;

 public:
  Conversion& c = pass_.conversion();
};

}  // namespace velkan::test
