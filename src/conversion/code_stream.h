// The code-word stream of one pass: 16-bit words stored high byte first,
// read in large blocks, with the fillers and skipped regions dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/byte_streams.h"
#include "tables/command_words.h"

namespace velkan {

class Conversion;

class CodeStream {
 public:
  explicit CodeStream(ByteSource& source);
  CodeStream(const CodeStream&) = delete;
  CodeStream& operator=(const CodeStream&) = delete;

  // Reads the next two bytes as one word (first byte high). Returns 1 with
  // the word, or 2 at the end of the data (a lone trailing byte, or a read
  // error, counts as the end) leaving `word` unchanged.
  int ReadRawWord(uint16_t& word) {
    if (end_ - pos_ >= 2) {
      word = static_cast<uint16_t>(buf_[pos_] << 8 | buf_[pos_ + 1]);
      pos_ += 2;
      return 1;
    }
    return ReadRawWordSlow(word);
  }

  // Takes the next word straight from the block read when that is possible
  // and the word needs nothing of NextWord: no replay runs, and the word is
  // no filler and does not open a skipped region. Returns false, taking
  // nothing, otherwise (NextWord then decides).
  bool TakePlainWord(uint16_t& word) {
    if (replayActive != 0 || end_ - pos_ < 2) return false;
    uint16_t w = static_cast<uint16_t>(buf_[pos_] << 8 | buf_[pos_ + 1]);
    if (w == 0x0000 || w == kFillerWord || w == kSkipRegion) return false;
    pos_ += 2;
    word = w;
    return true;
  }

  // Takes words from the block read into `out` (at most `max`) as long as
  // `accept(word)` holds and no replay runs; `accept` must refuse the words
  // NextWord gives meaning to (0x0000, 0xD000, 0xD050). Returns the number
  // taken; the first word refused stays unread.
  template <typename Accept>
  size_t TakeWordsWhile(uint16_t* out, size_t max, Accept accept) {
    if (replayActive != 0) return 0;
    size_t avail = (end_ - pos_) / 2;
    if (max > avail) max = avail;
    const uint8_t* p = buf_.data() + pos_;
    size_t n = 0;
    while (n < max) {
      uint16_t w = static_cast<uint16_t>(p[2 * n] << 8 | p[2 * n + 1]);
      if (!accept(w)) break;
      out[n++] = w;
    }
    pos_ += 2 * n;
    return n;
  }

  // The words of the block read that are not yet taken, two bytes each,
  // high byte first: sets `count` and returns their start (count 0 while a
  // replay runs). Take them with SkipWords; nothing of NextWord applies to
  // them, so a caller takes only words NextWord gives no meaning to.
  const uint8_t* PeekWords(size_t& count) const {
    count = replayActive != 0 ? 0 : (end_ - pos_) / 2;
    return buf_.data() + pos_;
  }
  // Takes `n` words of those PeekWords showed.
  void SkipWords(size_t n) { pos_ += 2 * n; }

  // Bytes consumed so far, and the total when the source knows it (-1 if not).
  long long consumed() const { return consumed_ - static_cast<long long>(end_ - pos_); }
  long long total() const { return source_.Size(); }
  // True once the input is used up: every further raw read gives the end.
  bool exhausted() const { return atEnd_ && end_ - pos_ < 2; }
  // True when a read of the source failed (the stream then ended early).
  bool readError() const { return readError_; }

  // The word last fetched for the main loop, the handlers and the readers.
  uint16_t currentWord = 0;
  // 1: `currentWord` waits to be processed; 0: the next stage fetches.
  int16_t wordPending = 0;
  // 1 while NextWord takes its words from a replayed stored format.
  int16_t replayActive = 0;

 private:
  int ReadRawWordSlow(uint16_t& word);

  ByteSource& source_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0;
  size_t end_ = 0;
  long long consumed_ = 0;
  bool atEnd_ = false;
  bool readError_ = false;
};

// Delivers the next meaningful word: 0x0000 and 0xD000 are dropped, a region
// 0xD050 ... 0xD050 is skipped, and the end of the input gives 0xD056 at this
// and every later call. Takes its words from the format replay while
// `replayActive` is set. Returns 0, or -1 when the source failed.
int16_t NextWord(Conversion& c, uint16_t& word);

}  // namespace velkan
