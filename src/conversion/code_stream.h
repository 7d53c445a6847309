// The code-word stream of one pass: 16-bit words stored high byte first,
// read in large blocks, with the fillers and skipped regions dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "io/byte_order.h"
#include "io/byte_streams.h"
#include "tables/command_words.h"

namespace velkan {

struct FormatStore;

// The words of a pass as the main loop, the handlers and the readers take
// them: the raw words of the input, the meaningful words (fillers and
// skipped regions dropped, a replayed format in place of the input while one
// plays), and the current word, the one last taken, which a stage either
// consumes or keeps pending for the next stage. Taking a word never changes
// whether the current word counts as pending: the stage that processes it
// says so with Consume or Keep.
class CodeStream {
 public:
  // Reads `source`; the words of a replayed format come from `store`. With
  // `spare`, the block the words are read into is taken from it and given
  // back to it at the end.
  CodeStream(ByteSource& source, FormatStore& store, SpareBlock* spare = nullptr);
  CodeStream(const CodeStream&) = delete;
  CodeStream& operator=(const CodeStream&) = delete;
  ~CodeStream();

  // --- The current word ---

  // The word last taken.
  uint16_t current() const { return currentWord; }
  // True while the current word waits to be processed by the next stage.
  bool pending() const { return wordPending != 0; }
  // The current word is processed: the next stage takes a new one.
  void Consume() { wordPending = 0; }
  // The current word is left for the next stage.
  void Keep() { wordPending = 1; }
  // `word` becomes the current word again and is left for the next stage:
  // for a handler that read on past the word it leaves to the main loop.
  void Keep(uint16_t word) {
    currentWord = word;
    wordPending = 1;
  }
  // The next meaningful word (see Next) becomes the current word. Returns 0,
  // or -1 when the source failed.
  int16_t Take() {
    if (TakePlainWord()) return 0;
    return Next(currentWord);
  }
  // True for the words Take gives as they are: none of the filler words
  // 0x0000 and 0xD000, nor the 0xD050 that opens a skipped region.
  static constexpr bool TakenAsItIs(uint16_t w) { return w != 0x0000 && w != kFillerWord && w != kSkipRegion; }
  // Take, unless the current word is pending: then it stays the current
  // word, still pending. Returns 0 or -1.
  int16_t TakeUnlessPending() { return pending() ? 0 : Take(); }

  // --- Meaningful words ---

  // Delivers the next meaningful word into `word` without touching the
  // current word: 0x0000 and 0xD000 are dropped, a region 0xD050 ... 0xD050
  // is skipped, and the end of the input gives 0xD056 at this and every later
  // call. Takes its words from the format replay while `replayActive` is set.
  // Returns 0, or -1 when the source failed.
  int16_t Next(uint16_t& word);

  // 1 while Next takes its words from a replayed stored format.
  int16_t replayActive = 0;

  // --- The words of the block read ---

  // Takes words from the block read into `out` (at most `max`) as long as
  // `accept(word)` holds and no replay runs; `accept` must refuse the words
  // Next gives meaning to (0x0000, 0xD000, 0xD050). The last word taken
  // becomes the current word. Returns the number taken; the
  // first word refused stays unread.
  template <typename Accept>
  size_t TakeWordsWhile(uint16_t* out, size_t max, Accept accept) {
    if (replayActive != 0) return 0;
    size_t avail = (end_ - pos_) / 2;
    if (max > avail) max = avail;
    const uint8_t* p = buf_.data() + pos_;
    size_t n = 0;
    while (n < max) {
      uint16_t w = LoadBigEndian16(p + 2 * n);
      if (!accept(w)) break;
      out[n++] = w;
    }
    if (n > 0) TakeWords(n);
    return n;
  }

  // The words of the block read that are not yet taken, two bytes each,
  // high byte first: sets `count` and returns their start (count 0 while a
  // replay runs). Take them with TakeWords; nothing of Next applies to them,
  // so a caller takes only words Next gives no meaning to.
  const uint8_t* PeekWords(size_t& count) const {
    count = replayActive != 0 ? 0 : (end_ - pos_) / 2;
    return buf_.data() + pos_;
  }
  // True when the words PeekWords shows are all the bytes read, no lone
  // byte behind them: a word 0x0000 then follows them in memory (never a
  // character), so a loop over them that stops at such a word needs no bound.
  bool WordsEndTheBytes() const { return ((end_ - pos_) & 1) == 0; }
  // Takes `n` words of those PeekWords showed; the last of them becomes the
  // current word. Nothing changes for n = 0.
  void TakeWords(size_t n) {
    if (n == 0) return;
    pos_ += 2 * n;
    currentWord = LoadBigEndian16(buf_.data() + pos_ - 2);
  }
  // Takes `n` words (at least one) of those PeekWords showed, marking the
  // `marked`th of them (1 to n) as the command word handed to a handler (see
  // MarkDispatch); the last becomes the current word.
  void TakeWordsMarking(size_t marked, size_t n) {
    dispatchPos_ = static_cast<long long>(pos_ + 2 * marked);
    pos_ += 2 * n;
    currentWord = LoadBigEndian16(buf_.data() + pos_ - 2);
  }
  // Takes `n` words (at least one) of those PeekWords showed, the last of
  // them `last`, and leaves `last` pending as the current word: a command
  // met behind the characters taken with it.
  void TakeWordsKeepingLast(size_t n, uint16_t last) {
    pos_ += 2 * n;
    currentWord = last;
    wordPending = 1;
  }

  // --- Raw words and the input ---

  // Reads the next two bytes as one word (first byte high). Returns 1 with
  // the word, or 2 at the end of the data (a lone trailing byte, or a read
  // error, counts as the end) leaving `word` unchanged.
  int ReadRawWord(uint16_t& word) {
    if (end_ - pos_ >= 2) {
      word = LoadBigEndian16(buf_.data() + pos_);
      pos_ += 2;
      return 1;
    }
    return ReadRawWordSlow(word);
  }

  // Bytes consumed so far, and the total when the source knows it (-1 if not).
  long long consumed() const { return consumed_ - static_cast<long long>(end_ - pos_); }
  long long total() const { return source_.Size(); }
  // True once the input is used up: every further raw read gives the end.
  bool exhausted() const { return atEnd_ && end_ - pos_ < 2; }
  // True when a read of the source failed (the stream then ended early).
  bool readError() const { return readError_; }

  // Marks the word taken last as the command word handed to a handler: one
  // store, whatever else is asked.
  void MarkDispatch() { dispatchPos_ = static_cast<long long>(pos_); }
  // The byte offset in the input of the word marked last, -1 before any.
  long long dispatchOffset() const {
    return dispatchPos_ < kNoMark / 2 ? -1 : consumed_ - static_cast<long long>(end_) + dispatchPos_ - 2;
  }
  // The byte offset in the input of the first word equal to `word` among the
  // words of the block read already taken, from offset `from` on; -1 when
  // there is none (the block read holds only the input's latest words).
  long long FindTakenWord(uint16_t word, long long from) const;

 private:
  // Takes the next word as the current one straight from the block read
  // when that is possible and the word needs nothing of Next: no replay
  // runs, and the word is no filler and does not open a skipped region.
  // Returns false, taking nothing, otherwise (Next then decides).
  bool TakePlainWord() {
    if (replayActive != 0 || end_ - pos_ < 2) return false;
    uint16_t w = LoadBigEndian16(buf_.data() + pos_);
    if (!TakenAsItIs(w)) return false;
    pos_ += 2;
    currentWord = w;
    return true;
  }
  int ReadRawWordSlow(uint16_t& word);

  // The word last taken for the main loop, the handlers and the readers.
  uint16_t currentWord = 0;
  // 1: `currentWord` waits to be processed; 0: the next stage takes a word.
  int16_t wordPending = 0;

  ByteSource& source_;
  FormatStore& store_;
  // The block read; only the bytes read into it are looked at, so it is not
  // cleared when made (nor when it held an earlier stream's words).
  struct Block {
    std::unique_ptr<char[]> bytes;
    uint8_t* data() const { return reinterpret_cast<uint8_t*>(bytes.get()); }
  } buf_;
  SpareBlock* spare_;
  size_t pos_ = 0;
  size_t end_ = 0;
  // pos_ when the last command was marked, counted from the start of the
  // block read then: negative once later blocks were read; far below zero
  // before the first mark.
  static constexpr long long kNoMark = -(1LL << 62);
  long long dispatchPos_ = kNoMark;
  long long consumed_ = 0;
  bool atEnd_ = false;
  bool readError_ = false;
};

}  // namespace velkan
