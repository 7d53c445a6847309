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
//
// While a stored format is replayed, its words are the block read: they are
// copied high byte first behind the input's block, a zero word behind them,
// and the block's position and end point at them, the input's own kept
// aside until the replay ends or gives way to the input again. So every
// path that takes words from the block read takes the replayed ones as it
// takes the input's, and asks nothing about the replay; what asks for the
// input's place (the bytes consumed, the command marked, its end) asks the
// input kept aside.
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
  // Gives the pending current word back to the block read, when the word
  // there before the next one to take is equal to it: it is then no longer
  // pending, and the words PeekWords shows begin with it. The words taken
  // from now on are the same either way (and what was taken before stays
  // taken). False, changing nothing, when no word is pending or that word
  // differs. TakeWordsKeepingLast(1, word) undoes it.
  bool PutBackPending() {
    if (wordPending == 0 || pos_ < 2 || LoadBigEndian16(buf_.data() + pos_ - 2) != currentWord) return false;
    pos_ -= 2;
    wordPending = 0;
    return true;
  }

  // --- Meaningful words ---

  // Delivers the next meaningful word into `word` without touching the
  // current word: 0x0000 and 0xD000 are dropped, a region 0xD050 ... 0xD050
  // is skipped, and the end of the input gives 0xD056 at this and every later
  // call. While a replay runs its words come first; after its last one
  // the replay stops, the input's block is the block read again and Next
  // gives the 0xD004 that closes the group of the call. A skipped region is
  // read from the input, also when a replayed word opens it. Returns 0, or
  // -1 when the source failed.
  int16_t Next(uint16_t& word);

  // --- The replay of a stored format ---

  // True while the words of a replayed stored format are the block read.
  bool replayRuns() const { return replayActive_ != 0; }
  // The replay the store holds (FormatStore::replaying, in its cache slot
  // `replaySlot`, from word `position` on, up to its first 0 word or its
  // 512th) becomes the block read: the input's block is kept aside, or
  // stays aside when a replay runs already, which this one replaces.
  void PlayStoredFormat();
  // Moves between the replay and the input (0xD0B3) while the store holds a
  // replay: from the replay, the input's block comes back and the store keeps
  // the replay's place (`position`); from the input, the replay goes on there
  // (PlayStoredFormat).
  void SwitchSource();
  // Stops a replay that runs where it stands: the input's block is the block
  // read again. Nothing changes when no replay runs.
  void StopReplay() {
    if (replayActive_ != 0) PutInputBack();
  }

  // --- The words of the block read ---

  // Takes words from the block read into `out` (at most `max`) as long as
  // `accept(word)` holds; `accept` must refuse the words
  // Next gives meaning to (0x0000, 0xD000, 0xD050). The last word taken
  // becomes the current word. Returns the number taken; the
  // first word refused stays unread.
  template <typename Accept>
  size_t TakeWordsWhile(uint16_t* out, size_t max, Accept accept) {
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
  // high byte first: sets `count` and returns their start. Take them with
  // TakeWords; nothing of Next applies to them, so a caller takes only words
  // Next gives no meaning to. (The end of a replay is no word of the block:
  // its 0xD004 comes from Next.)
  const uint8_t* PeekWords(size_t& count) const {
    count = (end_ - pos_) / 2;
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

  // Reads the next two bytes of the block read as one word (first byte
  // high), reading the input on when its block is used up. Returns 1 with
  // the word, or 2 at the end of the data (a lone trailing byte, or a read
  // error, counts as the end; while a replay runs, the end of the replayed
  // words) leaving `word` unchanged.
  int ReadRawWord(uint16_t& word) {
    if (end_ - pos_ >= 2) {
      word = LoadBigEndian16(buf_.data() + pos_);
      pos_ += 2;
      return 1;
    }
    return ReadRawWordSlow(word);
  }

  // Bytes consumed so far, and the total when the source knows it (-1 if not).
  long long consumed() const { return consumed_ - static_cast<long long>(InputEnd() - InputPos()); }
  long long total() const { return source_.Size(); }
  // True once the input is used up: every further raw read of it gives the
  // end (whatever a replay that runs still holds).
  bool exhausted() const { return atEnd_ && InputEnd() - InputPos() < 2; }
  // True when a read of the source failed (the stream then ended early).
  bool readError() const { return readError_; }

  // Marks the word taken last as the command word handed to a handler: one
  // store, whatever else is asked. A word of a replay counts as the input's
  // word taken last.
  void MarkDispatch() { dispatchPos_ = static_cast<long long>(pos_); }
  // The byte offset in the input of the word marked last, -1 before any.
  long long dispatchOffset() const {
    if (dispatchPos_ < kNoMark / 2) return -1;
    // Marked in the replay that runs: where the input stands.
    const long long mark = dispatchPos_ >= kReplayMark ? static_cast<long long>(inputPos_) : dispatchPos_;
    return consumed_ - static_cast<long long>(InputEnd()) + mark - 2;
  }
  // The byte offset in the input of the first word equal to `word` among the
  // words of the block read already taken, from offset `from` on; -1 when
  // there is none (the block read holds only the input's latest words).
  long long FindTakenWord(uint16_t word, long long from) const;

 private:
  // Takes the next word as the current one straight from the block read
  // when that is possible and the word needs nothing of Next: it is no
  // filler and does not open a skipped region. Returns false, taking
  // nothing, otherwise (Next then decides).
  bool TakePlainWord() {
    if (end_ - pos_ < 2) return false;
    uint16_t w = LoadBigEndian16(buf_.data() + pos_);
    if (!TakenAsItIs(w)) return false;
    pos_ += 2;
    currentWord = w;
    return true;
  }
  int ReadRawWordSlow(uint16_t& word);
  // The input's position and end in the block, kept aside while a replay
  // runs.
  size_t InputPos() const { return replayActive_ != 0 ? inputPos_ : pos_; }
  size_t InputEnd() const { return replayActive_ != 0 ? inputEnd_ : end_; }
  // Ends the replay's turn: the input's block is the block read again, and a
  // command marked in the replay counts as marked where the input stands.
  void PutInputBack();

  // The word last taken for the main loop, the handlers and the readers.
  uint16_t currentWord = 0;
  // 1: `currentWord` waits to be processed; 0: the next stage takes a word.
  int16_t wordPending = 0;

  ByteSource& source_;
  FormatStore& store_;
  // The block read: the input's bytes from its start, a replay's words from
  // kReplayAt on. Only the bytes put into it are looked at, so it is not
  // cleared when made (nor when it held an earlier stream's words).
  struct Block {
    std::unique_ptr<char[]> bytes;
    uint8_t* data() const { return reinterpret_cast<uint8_t*>(bytes.get()); }
  } buf_;
  SpareBlock* spare_;
  // The position and end of the block read: the input's, or the replay's
  // while one runs (then the input's are kept in inputPos_ and inputEnd_).
  size_t pos_ = 0;
  size_t end_ = 0;
  size_t inputPos_ = 0;
  size_t inputEnd_ = 0;
  // 1 while a replay's words are the block read.
  int16_t replayActive_ = 0;
  // The word of the format that the first word of the replay's block is.
  size_t replayFrom_ = 0;
  // pos_ when the last command was marked, counted from the start of the
  // block read then: negative once later blocks were read; far below zero
  // before the first mark; kReplayMark or more when marked in the replay
  // that runs (made the input's place when the input's block comes back).
  static constexpr long long kNoMark = -(1LL << 62);
  // Where a replay's words lie in the block read: behind the most the
  // input's block holds (64 KiB, a lone byte kept before them, the zero
  // word behind them).
  static constexpr size_t kReplayAt = 64 * 1024 + 4;
  static constexpr long long kReplayMark = static_cast<long long>(kReplayAt);
  // The bytes of the block read.
  static const size_t kBytes;
  long long dispatchPos_ = kNoMark;
  long long consumed_ = 0;
  bool atEnd_ = false;
  bool readError_ = false;
};

}  // namespace velkan
