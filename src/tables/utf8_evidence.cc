#include "tables/utf8_evidence.h"

#include <cstring>

namespace velkan {

void Utf8Evidence::Take(const uint8_t* data, size_t n) {
  if (broken_) return;
  const uint8_t* p = data;
  const uint8_t* const end = data + n;
  while (p < end) {
    uint8_t c = *p++;
    if (need_ > 0) {
      if (c < low_ || c > high_) {
        broken_ = true;
        return;
      }
      low_ = 0x80;
      high_ = 0xBF;
      // A character of three or four bytes; one of two whose second byte is
      // no half-width katakana (0xA1-0xDF) of Shift_JIS.
      if (--need_ == 0 && (length_ > 2 || c <= 0xA0)) evidence_ = true;
      continue;
    }
    if (c < 0x80) {
      // ASCII stretches eight bytes at a time.
      uint64_t eight;
      while (end - p >= 8 && (std::memcpy(&eight, p, 8), (eight & 0x8080808080808080ull) == 0)) p += 8;
      continue;
    }
    // The lead byte: how many bytes follow, and the narrower range of the
    // first of them where overlong forms and surrogates are excluded.
    if (c >= 0xC2 && c <= 0xDF) {
      need_ = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      // Kana and kanji, whole, one after the other: at once.
      if (end - p >= 2 && p[0] >= (c == 0xE0 ? 0xA0 : 0x80) && p[0] <= (c == 0xED ? 0x9F : 0xBF) &&
          (p[1] & 0xC0) == 0x80) {
        p += 2;
        evidence_ = true;
        // Leads without a narrower range (not E0, ED), two continuations.
        while (end - p >= 3 && (p[0] & 0xF0) == 0xE0 && p[0] != 0xE0 && p[0] != 0xED && (p[1] & 0xC0) == 0x80 &&
               (p[2] & 0xC0) == 0x80) {
          p += 3;
        }
        continue;
      }
      need_ = 2;
      if (c == 0xE0) low_ = 0xA0;
      if (c == 0xED) high_ = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need_ = 3;
      if (c == 0xF0) low_ = 0x90;
      if (c == 0xF4) high_ = 0x8F;
    } else {
      broken_ = true;
      return;
    }
    length_ = need_ + 1;
  }
}

}  // namespace velkan
