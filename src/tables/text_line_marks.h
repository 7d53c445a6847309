// Which line of a text job the code words of the text pre-pass came from.
#pragma once

#include <deque>

namespace velkan {

// The text pre-pass adds a mark where the words of each new line of the
// text begin; the reader of the words asks for the line of a word at a byte
// offset of the words, at offsets that only grow. Marks behind the offsets
// asked for, and behind the words the reader took (see Delivered), are
// dropped, so memory stays small however long the text is.
class TextLineMarks {
 public:
  // `keepAll`: the marks stay until asked for, whatever was delivered (for
  // a reader that takes all the words before it asks).
  explicit TextLineMarks(bool keepAll = false) : keepAll_(keepAll) {}

  // The words from byte offset `offset` on came from line `line` (offsets
  // and lines grow from mark to mark).
  void Add(long long offset, long long line) { ahead_.push_back({offset, line}); }

  // The line of the word at byte offset `offset`: the line of the last mark
  // at or before it (1 before the first mark).
  long long LineAt(long long offset) {
    Settle(offset);
    return current_.line;
  }

  // The reader took the words before `offset`: no line before it will be
  // asked for (unless all marks are kept).
  void Delivered(long long offset) {
    if (!keepAll_) Settle(offset);
  }

 private:
  void Settle(long long offset) {
    while (!ahead_.empty() && ahead_.front().offset <= offset) {
      current_ = ahead_.front();
      ahead_.pop_front();
    }
  }

  struct Mark {
    long long offset;
    long long line;
  };
  bool keepAll_;
  Mark current_{0, 1};
  std::deque<Mark> ahead_;
};

}  // namespace velkan
