// Whether a text job is UTF-8 rather than the Shift_JIS it must be, told
// from its bytes as they are read.
//
// Shift_JIS text with kana, kanji or full-width signs breaks the rules of
// UTF-8 within its first few such characters (their lead bytes 0x81-0x9F
// cannot begin a UTF-8 sequence, and its second bytes rarely continue one),
// while a UTF-8 text never does. Pure ASCII is both and counts as neither.
//
// A text counts as UTF-8 when every byte read keeps the rules of UTF-8 (a
// text of UTF-8 lines, then Shift_JIS ones, does not) and it holds a
// character Shift_JIS would not explain: one of three or four bytes (every
// kana and kanji is one), or one of two whose second byte is no half-width
// katakana. Two half-width katakana of Shift_JIS (bytes 0xA1-0xDF) can form
// a valid UTF-8 character of two bytes, as "ﾊｲ" (CA B2) does, which is no
// evidence at all.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkan {

class Utf8Evidence {
 public:
  // Looks at the next n bytes of the text (nothing once settled()). Runs of
  // ASCII are passed over eight bytes at a time.
  void Take(const uint8_t* data, size_t n);
  // True when nothing further can change the answer: a rule of UTF-8 was
  // broken.
  bool settled() const { return broken_; }
  // The answer for the bytes taken so far (a character cut off by the end of
  // what was taken counts for nothing).
  bool LooksLikeUtf8() const { return !broken_ && evidence_; }

 private:
  bool broken_ = false;
  bool evidence_ = false;
  // The continuation bytes the character begun still needs, its length, and
  // the range its next byte must lie in.
  int need_ = 0;
  int length_ = 0;
  uint8_t low_ = 0x80;
  uint8_t high_ = 0xBF;
};

}  // namespace velkan
