// Whether a text job is UTF-8 rather than the Shift_JIS it must be, told
// from its first bytes as they are read.
//
// Shift_JIS text with kana, kanji or full-width signs breaks the rules of
// UTF-8 within its first few such characters (their lead bytes 0x81-0x9F
// cannot begin a UTF-8 sequence, and its second bytes rarely continue one),
// while a UTF-8 text never does. Pure ASCII is both and counts as neither.
// A text counts as UTF-8 when the bytes looked at keep every rule of UTF-8 and
// hold a sequence of three or four bytes (every kana and kanji is one), or
// several of two; a Shift_JIS text of a few half-width katakana can form
// one pair of two by chance, hardly three.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkan {

class Utf8Evidence {
 public:
  // At most this many bytes of a text are looked at.
  static constexpr size_t kLookedAtBytes = size_t{1} << 20;
  // This many characters beyond ASCII without a fault settle it earlier.
  static constexpr int kSettlingCharacters = 64;

  // Looks at the next n bytes of the text (nothing once settled()).
  void Take(const uint8_t* data, size_t n);
  // True when nothing further can change the answer.
  bool settled() const {
    return broken_ || looked_ >= kLookedAtBytes || twoByte_ + longer_ >= kSettlingCharacters;
  }
  // The answer for the bytes taken so far (a character cut off by the end of
  // what was taken counts for nothing).
  bool LooksLikeUtf8() const { return !broken_ && (longer_ > 0 || twoByte_ >= 3); }

 private:
  size_t looked_ = 0;
  bool broken_ = false;
  // The continuation bytes the character begun still needs, its length, and
  // the range its next byte must lie in.
  int need_ = 0;
  int length_ = 0;
  uint8_t low_ = 0x80;
  uint8_t high_ = 0xBF;
  // Characters of two bytes, and of three or four, seen whole.
  int twoByte_ = 0;
  int longer_ = 0;
};

}  // namespace velkan
